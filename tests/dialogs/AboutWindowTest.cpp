// The about window: its layout and the manual update check against a local web site.

#include "core/Helpers.h"
#include "dialogs/AboutWindow.h"
#include "dialogs/Dialogs.h"

#include "EventWait.h"
#include "LocalHttpServer.h"
#include "MessageBoxes.h"
#include "UpdateManifests.h"
#include "WindowParts.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class AboutWindowTest : public testing::Test {
protected:
    // The window's parts, by name.
    QPushButton& CheckButton() { return Child<QPushButton>(about, "Button1"); }
    QPushButton& CloseButton() { return Child<QPushButton>(about, "Button2"); }
    QLabel& Label(const char* name) { return Child<QLabel>(about, name); }

    // The manual check runs in the background: press the button, then wait for its answer.
    void CheckAndWait()
    {
        about.Button1Click();
        ASSERT_TRUE(WaitFor([&] { return CheckButton().isEnabled(); }));
    }

    MessageBoxRecorder boxes; // "No" to the update question: the program goes on
    TForm5 about;
};

TEST_F(AboutWindowTest, TheControlsSitWhereTheWindowPutsThem)
{
    about.show();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于REZUVADEV"));
    EXPECT_EQ(about.size(), QSize(451, 331));
    EXPECT_EQ(Label("VersionLabel").text(), QStringLiteral("ORVEK-FILE  版本：%1").arg(GetAppVersion()));
    EXPECT_EQ(Child<QGroupBox>(about, "ContactBox").title(), QStringLiteral("联系我们   "));
    EXPECT_EQ(Label("IntroCaption").text(), QStringLiteral("软件介绍:"));
    const struct {
        QWidget* control;
        QRect where;
    } placed[] = {
        {&Child<QGroupBox>(about, "ContactBox"), {0, 48, 451, 81}},
        {&Child<QPlainTextEdit>(about, "IntroMemo"), {0, 154, 451, 119}},
        {&CheckButton(), {264, 296, 75, 25}},
        {&CloseButton(), {368, 296, 75, 25}},
    };
    for (const auto& p : placed)
        EXPECT_EQ(p.control->geometry(), p.where) << p.control->objectName().toStdString();
    EXPECT_EQ(CheckButton().text(), QStringLiteral("检查升级"));
    EXPECT_EQ(CloseButton().text(), QStringLiteral("关闭"));
    // Every label shows its whole text inside the window and clear of the next control.
    for (QLabel* label : {&Label("VersionLabel"), &Label("RightsLabel"), &Label("IntroCaption")}) {
        const QRect r = label->geometry();
        EXPECT_GE(r.width(), label->sizeHint().width()) << label->objectName().toStdString();
        EXPECT_LE(r.right(), 450);
    }
    EXPECT_LE(Label("RightsLabel").geometry().bottom(), 48);
    EXPECT_LE(Label("IntroCaption").geometry().bottom(), 154);
    CloseButton().click();
    EXPECT_FALSE(about.isVisible());
}

TEST_F(AboutWindowTest, ManualCheckSaysWhatTheManifestSays)
{
    ManifestServer server;
    about.manifestUrl = server.ManifestUrl();
    const QString running = GetAppVersion();
    const struct {
        const char* what;
        QString body;
        QString box;
    } cases[] = {
        {"same version", ManifestJson({.version = running}), "1:已是最新版本了"},
        {"newer", ManifestJson({.version = "1.0.0.2"}), "3:发现新的版本:1.0.0.2 是否立即更新"},
        {"older, still offered", ManifestJson({.version = "0.9.0.0"}), "3:发现新的版本:0.9.0.0 是否立即更新"},
        {"the notice and minimum are ignored", ManifestJson({.version = running, .minimum = "9.9.9.9", .timeout = "5"}),
         "1:已是最新版本了"},
        {"no files listed", QString(ManifestJson({})).replace(QRegularExpression(R"("File":\{.*\}\}$)"), R"("File":{}})"),
         "2:无法获取版本信息,请检查你的网络是否通畅.."},
    };
    for (const auto& c : cases) {
        boxes.shown.clear();
        server.Serve(c.body);
        CheckAndWait();
        EXPECT_EQ(boxes.shown, QStringList{c.box}) << c.what;
    }

    about.manifestUrl.clear();
    boxes.shown.clear();
    CheckButton().click();
    EXPECT_EQ(boxes.shown, QStringList{"0:没有设置升级地址：请在 Config.dyi 中加入 [UpdateUrl] 一节（见 README）。"})
        << "no update site in the settings: the network is not blamed";
    EXPECT_FALSE(about.Checking());
    EXPECT_TRUE(CheckButton().isEnabled());
}

TEST_F(AboutWindowTest, TheWindowStaysUsableDuringASlowCheckAndClosingEndsItQuietly)
{
    LocalHttpServer server;
    HeldAnswers held;
    server.Get("/rezuvadev/Json.txt", held.Handler(ToGbk(ManifestJson({})), "text/plain"));
    server.Start();
    about.manifestUrl = server.BaseUrl() + "/rezuvadev/Json.txt";
    about.show();

    about.Button1Click(); // returns at once
    EXPECT_TRUE(about.Checking());
    EXPECT_FALSE(CheckButton().isEnabled());
    about.Button1Click(); // a second press while the check runs does nothing
    ASSERT_TRUE(WaitFor([&] { return server.Targets().size() == 1; }));

    CloseButton().click(); // "关闭" while the server is silent
    EXPECT_FALSE(about.isVisible());
    EXPECT_FALSE(about.Checking());
    EXPECT_TRUE(CheckButton().isEnabled());
    held.Release();
    QTest::qWait(200);
    EXPECT_TRUE(boxes.shown.isEmpty()) << "a closed window shows no result";
    EXPECT_EQ(server.Targets().size(), 1);
}

} // namespace
