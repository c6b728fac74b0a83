#include "core/UiHandover.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>

namespace UiHandover {
namespace {

struct PendingTask {
    const std::function<void()>* task;
    std::promise<void> finished;
};

// Guards pendingTasks and wakeRequested; waiterWake is signalled when either changes.
std::mutex queueMutex;
std::condition_variable waiterWake;
std::deque<PendingTask*> pendingTasks;
bool wakeRequested = false;

// Runs every task handed over so far, on the UI thread.
void ServePendingTasks()
{
    for (;;) {
        PendingTask* next = nullptr;
        {
            std::lock_guard lock(queueMutex);
            if (pendingTasks.empty())
                return;
            next = pendingTasks.front();
            pendingTasks.pop_front();
        }
        try {
            (*next->task)();
            next->finished.set_value();
        } catch (...) {
            next->finished.set_exception(std::current_exception());
        }
    }
}

} // namespace

bool OnUiThread()
{
    const auto* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void RunOnUiThread(const std::function<void()>& task)
{
    if (OnUiThread()) {
        task();
        return;
    }
    PendingTask pending{&task, {}};
    auto finished = pending.finished.get_future();
    {
        std::lock_guard lock(queueMutex);
        pendingTasks.push_back(&pending);
    }
    waiterWake.notify_all();
    // The UI thread's own event loop serves the task when it is not inside WaitServing.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { ServePendingTasks(); }, Qt::QueuedConnection);
    finished.get(); // rethrows what the task threw
}

void WaitServing(const std::function<bool()>& done)
{
    using namespace std::chrono_literals;
    for (;;) {
        ServePendingTasks();
        if (done())
            return;
        // Posted calls, timers and painting go on; user input waits until the wait is over, so
        // no click can re-enter the operation that is waiting.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (done())
            return;
        std::unique_lock lock(queueMutex);
        waiterWake.wait_for(lock, 10ms, [] { return !pendingTasks.empty() || wakeRequested; });
        wakeRequested = false;
    }
}

void WakeWaiter()
{
    {
        std::lock_guard lock(queueMutex);
        wakeRequested = true;
    }
    waiterWake.notify_all();
}

} // namespace UiHandover
