#include "core/BackgroundTask.h"

#include "core/UiHandover.h"

#include <QCoreApplication>
#include <thread>

std::shared_ptr<BackgroundTask> BackgroundTask::Start(Body body)
{
    auto task = Create();
    task->Run(std::move(body));
    return task;
}

std::shared_ptr<BackgroundTask> BackgroundTask::Create()
{
    return std::make_shared<BackgroundTask>(Private{});
}

void BackgroundTask::Run(Body body)
{
    // The thread's own reference keeps the task alive until the body has returned.
    std::thread([task = shared_from_this(), body = std::move(body)] {
        body(*task);
        task->Finish();
    }).detach();
}

void BackgroundTask::Finish()
{
    {
        std::lock_guard lock(endMutex_);
        running_ = false;
    }
    ended_.notify_all();
    UiHandover::WakeWaiter();
}

void BackgroundTask::WaitUntilEnded()
{
    if (UiHandover::OnUiThread()) {
        UiHandover::WaitServing([this] { return !running_.load(); });
        return;
    }
    std::unique_lock lock(endMutex_);
    ended_.wait(lock, [this] { return !running_.load(); });
}
