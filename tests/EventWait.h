#pragma once
// Waiting in tests while the UI thread keeps serving its events and the engine's hand-overs.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

// Serves the UI thread's events until cond holds or the time is up; returns cond().
inline bool WaitFor(const std::function<bool()>& cond, int ms = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (!cond() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return cond();
}
