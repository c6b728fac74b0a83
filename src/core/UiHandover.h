#pragma once
// The blocking hand-over from another thread to the UI thread, and the UI thread's way of
// waiting for another thread while it keeps serving those hand-overs and window events.
// Without the second, a UI thread that waits for a worker which is itself waiting for a
// hand-over would hang both.

#include <QPointer>
#include <functional>

namespace UiHandover {

// From any thread: runs call on the UI thread when its event loop comes to it, without waiting.
// With a receiver, nothing happens when the receiver is gone by then (make the pointer where the
// receiver is known to live, e.g. on the UI thread before a task starts). Every call posted
// across threads goes through here: the hand-over is one a thread sanitizer can follow.
void Post(std::function<void()> call);
void Post(const QPointer<QObject>& receiver, std::function<void()> call);

// Runs task on the UI thread and returns once it has run. Called on the UI thread (or before
// any application object exists) it runs the task at once. An exception thrown by the task is
// rethrown to the caller.
void RunOnUiThread(const std::function<void()>& task);

// UI thread only: serves hand-overs, posted calls, timers and painting, but no user input,
// until done() returns true. done() is checked after every hand-over, after every wake-up and
// at least every 10 ms. User input that arrives meanwhile is delivered after the wait.
void WaitServing(const std::function<bool()>& done);

// Makes a waiting WaitServing check its condition now (call it when a thread has ended).
void WakeWaiter();

// Whether the calling thread is the UI thread (true before any application object exists).
bool OnUiThread();

} // namespace UiHandover
