// The background update check of the running program against a local web site: the timer,
// the worker, the dialog over the main window and what the answers do.

#include "app/ProgramWindows.h"

#include "catalogue/MainWindow.h"
#include "core/Helpers.h"
#include "dialogs/UpdateDialog.h"
#include "services/AppPaths.h"
#include "services/IniFile.h"
#include "services/LocationCache.h"

#include "EventWait.h"
#include "TestFiles.h"
#include "UpdateManifests.h"
#include "WindowParts.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <gtest/gtest.h>

namespace {

class UpdateCheckWindowTest : public testing::Test {
protected:
    // Starts the program with the update site of server; the checks come every few
    // milliseconds instead of seconds, and countdowns tick just as fast.
    void Start(const QString& site)
    {
        IniFile(folder.file("Config.dyi")).WriteString("UpdateUrl", "UpdateUrl", site);
        windows = std::make_unique<ProgramWindows>(folder.path());
        windows->show();
        OnEveryShow(&Dialog(), [this] {
            ++showings;
            QStringList buttons;
            for (const char* name : {"BtnUpdate", "BtnCancle", "BtnNextTip", "BtnOK"})
                if (Button(name).isVisible())
                    buttons << Button(name).text();
            seen << Dialog().windowTitle() + u':' + buttons.join(u'|');
        });
        LeaveTimer().setInterval(10);
        UpdateTimer().setInterval(20);
    }
    void TearDown() override { windows.reset(); }
    TForm1& Main() { return *windows->Form1(); }
    TMyDlg& Dialog() { return *windows->MyDlg(); }
    QPushButton& Button(const char* name) { return Child<QPushButton>(Dialog(), name); }
    QTimer& LeaveTimer() { return Child<QTimer>(Dialog(), "LeaveTimer"); }
    QTimer& UpdateTimer() { return Child<QTimer>(Main(), "GetUpdateInfoTm"); }
    // Runs one more check (as a tick would) and waits for it to end. A tick that finds the
    // worker busy lets itself pass, so it first waits for the previous check to wind down:
    // the worker still ends its task for a moment after the dialog it asked for has closed.
    void CheckNow()
    {
        ASSERT_TRUE(WaitFor([&] { return Main().CurrentWorkerState() == WorkerState::Idle; }));
        const int before = server.Requests();
        Main().GetUpdateInfoTmTimer();
        ASSERT_TRUE(WaitFor([&] { return server.Requests() > before && Main().CurrentWorkerState() == WorkerState::Idle; }));
    }
    static QString Stored(const QString& key)
    {
        QString value;
        QueryValue(key, "INFO", value);
        return value;
    }

    TempFolder folder;
    ManifestServer server;
    std::unique_ptr<ProgramWindows> windows;
    int showings = 0;
    QStringList seen; // "title:buttons" of every showing
};

TEST_F(UpdateCheckWindowTest, NothingNewShowsNothingAndTheChecksGoOn)
{
    server.Serve(ManifestFacts{.version = GetAppVersion()});
    Start(server.SiteUrl());
    ASSERT_TRUE(WaitFor([&] { return server.Requests() >= 3; }));
    EXPECT_EQ(showings, 0);
    EXPECT_TRUE(UpdateTimer().isActive());
    EXPECT_GE(UpdateTimer().interval(), 160) << "doubled on every tick";
}

TEST_F(UpdateCheckWindowTest, IgnoringAVersionRemembersItAndSaysSo)
{
    server.Serve(ManifestFacts{.version = "1.0.0.2", .minimum = "1.0.0.0"});
    Start(server.SiteUrl());
    WhenShown(&Dialog(), [&] { Button("BtnCancle").click(); });
    ASSERT_TRUE(WaitFor([&] { return showings == 1 && !Dialog().isVisible(); }));
    EXPECT_EQ(seen, QStringList{"发现新的版本:立即更新|不再提示|下次再说"});
    EXPECT_FALSE(UpdateTimer().isActive()) << "the first dialog ends the background checks";
    EXPECT_EQ(Stored("CancleVersion"), QStringLiteral("1.0.0.2"));
    // No tray on the test platform: the balloon's text goes to the status bar.
    EXPECT_EQ(Child<QLabel>(Main(), "StatusText").text(), QStringLiteral("你已忽略了版本1.0.0.2的更新,直到下个版本更新前都不再提醒你更新"));

    CheckNow(); // the next start's check
    EXPECT_EQ(showings, 1) << "the ignored version is not offered again";
}

TEST_F(UpdateCheckWindowTest, ForcedUpdateCountsDownAndStartsTheUpdaterBesideTheProgram)
{
    const QString updater = ProgramDir() + UpdaterFileName();
    ASSERT_FALSE(QFile::exists(updater)) << "a test's updater was left behind";
    const QString record = folder.file("updater-args.txt");
    WriteTextFile(updater, QStringLiteral("#!/bin/sh\nprintf '%s|' \"$@\" > '%1'\n").arg(record));
    QFile::setPermissions(updater, QFile::permissions(updater) | QFileDevice::ExeOwner);

    QStringList captions;
    server.Serve(ManifestFacts{.version = "1.0.0.3", .minimum = "1.0.0.2"});
    Start(server.SiteUrl());
    QObject::connect(&LeaveTimer(), &QTimer::timeout, &Dialog(), [&] {
        if (Dialog().isVisible())
            captions << Button("BtnUpdate").text();
    });
    const bool ran = WaitFor([&] { return !ReadTextFile(record).isEmpty(); });
    QFile::remove(updater);
    ASSERT_TRUE(ran);
    EXPECT_EQ(ReadTextFile(record), QStringLiteral("参数1|参数2|"));
    EXPECT_EQ(seen, QStringList{"          你的版本不再支持请立即升级到最新版!:立即更新"});
    ASSERT_EQ(captions.size(), 19);
    EXPECT_EQ(captions.front(), QStringLiteral("立即更新(19)"));
    EXPECT_EQ(captions.back(), QStringLiteral("立即更新(1)"));
}

TEST_F(UpdateCheckWindowTest, ANoticeThatTimesOutComesBackUntilConfirmed)
{
    server.Serve(ManifestFacts{.noticeId = "N9", .timeout = "2"}); // same version as running
    Start(server.SiteUrl());
    ASSERT_TRUE(WaitFor([&] { return showings == 1 && Main().CurrentWorkerState() == WorkerState::Idle; }));
    EXPECT_EQ(seen, QStringList{"通知信息:OK(2)"});
    EXPECT_EQ(Stored("AppNotice"), QString()) << "closed by its countdown: not confirmed";

    WhenShown(&Dialog(), [&] { Button("BtnOK").click(); });
    CheckNow();
    EXPECT_EQ(showings, 2);
    EXPECT_EQ(Stored("AppNotice"), QStringLiteral("N9"));

    CheckNow();
    EXPECT_EQ(showings, 2) << "a confirmed notice does not show again";
}

TEST_F(UpdateCheckWindowTest, ASilentServerNeitherBlocksTheWindowNorTheEnd)
{
    LocalHttpServer silent;
    HeldAnswers held;
    silent.Get("/rezuvadev/Json.txt", held.Handler("", "text/plain"));
    silent.Start();
    Start(silent.BaseUrl());
    ASSERT_TRUE(WaitFor([&] { return silent.Targets().size() == 1; }));

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    WaitFor([&] { return ticks >= 20; });
    EXPECT_GE(ticks, 20) << "the UI thread keeps serving while the check waits";
    EXPECT_EQ(silent.Targets().size(), 1) << "ticks while the worker is busy start no second check";
    EXPECT_EQ(Main().CurrentWorkerState(), WorkerState::Busy);

    windows.reset(); // the program ends: the waiting request is abandoned
    held.Release();
    EXPECT_EQ(showings, 0);
}

TEST_F(UpdateCheckWindowTest, ClosingWhileACheckWaitsForItsAnswerShowsNothingAndStartsNoOther)
{
    // An update offer that takes a little while to arrive.
    LocalHttpServer slow;
    std::atomic<int> asked = 0;
    slow.Get("/rezuvadev/Json.txt", [&](const httplib::Request&, httplib::Response& response) {
        ++asked;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        response.set_content(ToGbk(ManifestJson(ManifestFacts{.version = "1.0.0.2", .minimum = "1.0.0.0"})), "text/plain");
    });
    slow.Start();
    Start(slow.BaseUrl());
    UpdateTimer().setInterval(1); // ticks all the time
    ASSERT_TRUE(WaitFor([&] { return asked == 1; }));
    windows.reset(); // the answer arrives while the program ends
    EXPECT_EQ(showings, 0) << "no dialog while the program ends";
    EXPECT_EQ(asked, 1) << "no tick starts a second check while the worker is stopped";
}

} // namespace
