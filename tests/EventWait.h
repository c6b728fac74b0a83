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

#include <QTimer>
#include <QWidget>

// Runs step from the event loop as soon as window is visible: the way a test acts inside a
// modal window whose exec() has not returned yet. The step runs once; the watch ends with
// the window.
inline void WhenShown(QWidget* window, std::function<void()> step)
{
    auto* poll = new QTimer(window);
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, [poll, window, step = std::move(step)] {
        if (!window->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        step();
    });
    poll->start();
}

#include <QEvent>

// Runs look inside each show event of window, before any timer or input can change what the
// window shows; look stays installed until the window goes.
inline void OnEveryShow(QWidget* window, std::function<void()> look)
{
    struct ShowWatch : QObject {
        std::function<void()> look;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Show)
                look();
            return false;
        }
    };
    auto* watch = new ShowWatch;
    watch->setParent(window);
    watch->look = std::move(look);
    window->installEventFilter(watch);
}
