#include "core/UiHandover.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace {

TEST(UiHandover, TasksRunOnTheUiThreadWhileItWaitsForTheWorker)
{
    // The worker hands work over while the UI thread is waiting for the worker to end:
    // without serving hand-overs during the wait, both would wait for ever.
    std::atomic<bool> workerDone = false;
    int ranOnUiThread = 0;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            UiHandover::RunOnUiThread([&] { ranOnUiThread += UiHandover::OnUiThread() ? 1 : 0; });
        workerDone = true;
        UiHandover::WakeWaiter();
    });
    UiHandover::WaitServing([&] { return workerDone.load(); });
    worker.join();
    EXPECT_EQ(ranOnUiThread, 50);
}

TEST(UiHandover, TheEventLoopServesTasksOutsideAWait)
{
    int ran = 0;
    std::thread worker([&] {
        UiHandover::RunOnUiThread([&] { ++ran; });
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    worker.join();
    EXPECT_EQ(ran, 1);
}

TEST(UiHandover, AnExceptionReachesTheCallingThread)
{
    std::atomic<bool> workerDone = false;
    bool caught = false;
    std::thread worker([&] {
        try {
            UiHandover::RunOnUiThread([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
        workerDone = true;
    });
    UiHandover::WaitServing([&] { return workerDone.load(); });
    worker.join();
    EXPECT_TRUE(caught);
}

TEST(UiHandover, WaitingKeepsTimersAndEventsGoing)
{
    bool fired = false;
    QTimer::singleShot(5, [&] { fired = true; });
    UiHandover::WaitServing([&] { return fired; });
    EXPECT_TRUE(fired);
}

TEST(UiHandover, OnTheUiThreadATaskRunsAtOnce)
{
    bool ran = false;
    UiHandover::RunOnUiThread([&] { ran = true; });
    EXPECT_TRUE(ran);
}

} // namespace
