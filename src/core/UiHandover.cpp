#include "core/UiHandover.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace UiHandover {
namespace {

// A task handed over, with what became of it. A plain mutex and condition variable rather than a
// promise: a thread sanitizer sees through them, and they cost the same.
struct PendingTask {
    const std::function<void()>* task;
    bool finished = false;    // guarded by queueMutex
    std::exception_ptr error; // what the task threw
};

// Guards pendingTasks, wakeRequested and the tasks' ends; waiterWake is signalled when the first
// two change, taskFinished when a task has run.
std::mutex queueMutex;
std::condition_variable waiterWake;
std::condition_variable taskFinished;
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
        std::exception_ptr error;
        try {
            (*next->task)();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(queueMutex);
            next->error = error;
            next->finished = true;
        }
        taskFinished.notify_all();
    }
}

// Qt's queue of posted events is guarded by locks inside Qt, which a thread sanitizer does not
// see; the posting thread releases this token and the UI thread acquires it before the call.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
char postedToken;
void ReleasePosted() { __tsan_release(&postedToken); }
void AcquirePosted() { __tsan_acquire(&postedToken); }
#else
void ReleasePosted() {}
void AcquirePosted() {}
#endif

// One posted call; made (and its receiver pointer copied) before the release.
class PostedCall : public QEvent {
public:
    static QEvent::Type Type()
    {
        static const auto type = QEvent::Type(QEvent::registerEventType());
        return type;
    }
    PostedCall(const QPointer<QObject>& target, bool needsTarget, std::function<void()> what)
        : QEvent(Type()), receiver(target), hasReceiver(needsTarget), call(std::move(what))
    {
    }
    QPointer<QObject> receiver;
    bool hasReceiver;
    std::function<void()> call;
};

// Runs the posted calls on the UI thread. Made on first use and moved to the UI thread; it lives
// as long as the process, so a call posted late finds it.
class PostedCallRunner : public QObject {
public:
    bool event(QEvent* event) override
    {
        AcquirePosted(); // before the event is read: the posting thread made it
        if (event->type() != PostedCall::Type())
            return QObject::event(event);
        auto* posted = static_cast<PostedCall*>(event);
        if (!posted->hasReceiver || posted->receiver)
            posted->call();
        return true;
    }
};

PostedCallRunner* Runner()
{
    static PostedCallRunner* runner = [] {
        auto* made = new PostedCallRunner;
        if (QCoreApplication* app = QCoreApplication::instance())
            made->moveToThread(app->thread());
        return made;
    }();
    return runner;
}

void PostCall(const QPointer<QObject>& receiver, bool hasReceiver, std::function<void()> call)
{
    if (!QCoreApplication::instance())
        return; // no event loop will ever run it
    auto* event = new PostedCall(receiver, hasReceiver, std::move(call));
    ReleasePosted();
    QCoreApplication::postEvent(Runner(), event);
}

} // namespace

void Post(std::function<void()> call)
{
    PostCall({}, false, std::move(call));
}

void Post(const QPointer<QObject>& receiver, std::function<void()> call)
{
    PostCall(receiver, true, std::move(call));
}

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
    PendingTask pending{&task, false, {}};
    {
        std::lock_guard lock(queueMutex);
        pendingTasks.push_back(&pending);
    }
    waiterWake.notify_all();
    // The UI thread's own event loop serves the task when it is not inside WaitServing.
    Post([] { ServePendingTasks(); });
    std::unique_lock lock(queueMutex);
    taskFinished.wait(lock, [&] { return pending.finished; });
    if (pending.error)
        std::rethrow_exception(pending.error);
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
