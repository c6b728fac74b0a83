#include "catalogue/Worker.h"

TMyThread::TMyThread(Task kind, Body run)
    : task(kind)
    , Run(std::move(run))
{
    task_ = BackgroundTask::Create(); // in hand before the body asks for its stop token
    task_->Run([this](BackgroundTask&) {
        Run(*this);
        running = false;
    });
}

TMyThread::~TMyThread()
{
    RequestStop();
    WaitUntilEnded(); // the body uses this object to its end
}

WorkerState StateOf(const TMyThread* worker)
{
    if (!worker || !worker->running)
        return WorkerState::Idle;
    return worker->StopRequested() ? WorkerState::Stopping : WorkerState::Busy;
}
