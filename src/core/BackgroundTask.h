#pragma once
// The program's one way to run work off the UI thread: a task on a thread of its own with a
// stop token. It tells the UI thread what it has done through queued calls (UiHandover::Post),
// which never make it wait, and blocks on the UI thread only where it needs an answer
// (UiHandover::RunOnUiThread). Whoever starts a task holds it; the thread holds it too while it
// runs, so a holder may let go of a task that is still ending (a loader stuck in a web request)
// without waiting for it.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>

class BackgroundTask : public std::enable_shared_from_this<BackgroundTask> {
    struct Private {};

public:
    using Body = std::function<void(BackgroundTask& task)>;

    // Starts body on a thread of its own, at once.
    static std::shared_ptr<BackgroundTask> Start(Body body);
    // A task not started yet, for holders that must have it in hand before its body runs.
    static std::shared_ptr<BackgroundTask> Create();
    // Starts body (once per task).
    void Run(Body body);
    explicit BackgroundTask(Private) {}

    void RequestStop() { stop_.request_stop(); }
    bool StopRequested() const { return stop_.stop_requested(); }
    std::stop_token StopToken() const { return stop_.get_token(); }
    // Until the body has returned.
    bool Running() const { return running_.load(); }

    // Waits until the body has returned. On the UI thread it keeps serving hand-overs and
    // posted calls meanwhile, but no user input: no click can re-enter what is waiting.
    void WaitUntilEnded();

private:
    void Finish();

    std::stop_source stop_;
    std::atomic<bool> running_{true};
    std::mutex endMutex_;
    std::condition_variable ended_; // running_ became false (waiters off the UI thread)
};
