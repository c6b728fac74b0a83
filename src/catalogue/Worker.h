#pragma once
// The program's single background worker: one task at a time (the export, the check of an
// export folder or the update check) on a background task, a stop request the task looks at,
// and a running flag it clears as its last act.

#include "core/BackgroundTask.h"
#include "services/UpdateManifest.h"

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>

class TMyThread {
public:
    enum class Task { Export, UpdateCheck, VerifyExport };
    using Body = std::function<void(TMyThread&)>;

    // Starts at once with running set.
    TMyThread(Task task, Body run);
    // Requests a stop and waits for the task to end, serving the task's hand-overs to the UI
    // thread meanwhile.
    ~TMyThread();

    TMyThread(const TMyThread&) = delete;
    TMyThread& operator=(const TMyThread&) = delete;

    const Task task;
    Body Run;
    std::atomic<bool> running{true};
    TdlgAndMe Fparam; // the update check's dialog request, handed to the UI thread

    void RequestStop() { task_->RequestStop(); }
    bool StopRequested() const { return task_->StopRequested(); }
    std::stop_token StopToken() const { return task_->StopToken(); }
    // Waits (serving hand-overs, no user input) until the task has ended.
    void WaitUntilEnded() { task_->WaitUntilEnded(); }

private:
    std::shared_ptr<BackgroundTask> task_;
};

enum class WorkerState { Idle, Busy, Stopping };
WorkerState StateOf(const TMyThread* worker);

// The place of the single worker: a new task replaces a finished one; a running one is stopped
// first and waited for.
class WorkerSlot {
public:
    ~WorkerSlot() { Stop(); }
    void Start(TMyThread::Task task, TMyThread::Body run)
    {
        worker_.reset();
        worker_ = std::make_unique<TMyThread>(task, std::move(run));
    }
    TMyThread* get() const { return worker_.get(); }
    WorkerState State() const { return StateOf(worker_.get()); }
    // Asks the worker to stop and waits for it (serving its hand-overs).
    void Stop() { worker_.reset(); }

private:
    std::unique_ptr<TMyThread> worker_;
};
