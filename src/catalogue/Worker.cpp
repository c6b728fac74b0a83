#include "catalogue/Worker.h"

#include "core/UiHandover.h"

TMyThread::TMyThread(Task kind, Body run)
    : task(kind)
    , Run(std::move(run))
{
    thread_ = std::jthread([this](std::stop_token) {
        Run(*this);
        running = false;
        UiHandover::WakeWaiter();
    });
}

TMyThread::~TMyThread()
{
    RequestStop();
    WaitUntilEnded();
}

void TMyThread::WaitUntilEnded()
{
    UiHandover::WaitServing([this] { return !running.load(); });
    if (thread_.joinable())
        thread_.join();
}

WorkerState StateOf(const TMyThread* worker)
{
    if (!worker || !worker->running)
        return WorkerState::Idle;
    return worker->StopRequested() ? WorkerState::Stopping : WorkerState::Busy;
}
