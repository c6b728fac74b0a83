// The update/notice dialog: what each showing looks like, its countdowns and its answers.

#include "core/Helpers.h"
#include "dialogs/UpdateDialog.h"

#include "EventWait.h"
#include "WindowParts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct Answer {
    FrmDlgRet answer;
    TIdandNr content;
};

class UpdateDialogTest : public testing::Test {
protected:
    // What each showing looks like when it appears, before its countdown can change it.
    void SetUp() override
    {
        OnEveryShow(&dialog, [this] {
            buttons = ShownButtons();
            lines = MemoLines();
            title = dialog.windowTitle();
            timerRan = Countdown().isActive();
            offerIcon = Child<QLabel>(dialog, "Image1").isVisible();
            noticeIcon = Child<QLabel>(dialog, "Image2").isVisible();
        });
    }
    // Shows the dialog; step runs while it is up. Returns the answers it gave.
    QList<Answer> Show(TfrmdlgType type, const TIdandNr& content, std::function<void()> step)
    {
        QList<Answer> answers;
        if (step)
            WhenShown(&dialog, std::move(step));
        dialog.InitDlg(type, content, [&](FrmDlgRet answer, const TIdandNr& shown) { answers << Answer{answer, shown}; });
        EXPECT_FALSE(dialog.isVisible());
        return answers;
    }
    // The dialog's parts, by name.
    QPushButton& Button(const char* name) const { return Child<QPushButton>(dialog, name); }
    QTimer& Countdown() const { return Child<QTimer>(dialog, "LeaveTimer"); }

    QStringList MemoLines() const { return Child<QPlainTextEdit>(dialog, "Memo1").toPlainText().split(u'\n'); }
    QStringList ShownButtons() const
    {
        QStringList shown;
        for (const char* name : {"BtnUpdate", "BtnCancle", "BtnNextTip", "BtnOK"})
            if (const QPushButton& b = Button(name); b.isVisible())
                shown << QStringLiteral("%1@%2,%3").arg(b.text()).arg(b.x()).arg(b.y());
        return shown;
    }
    // Captions of button after each tick of the countdown, until it stops.
    void RecordCountdown(const char* name)
    {
        QPushButton* button = &Button(name);
        Countdown().setInterval(20); // the same steps, faster than once a second
        QObject::connect(&Countdown(), &QTimer::timeout, &dialog, [this, button] {
            if (dialog.isVisible())
                captions << button->text();
        });
    }
    TMyDlg dialog;
    QStringList captions;
    // Seen at the last showing.
    QStringList buttons, lines;
    QString title;
    bool timerRan = false, offerIcon = false, noticeIcon = false;
};

TEST_F(UpdateDialogTest, UpdateOfferWithThreeButtonsAnswersWithThePressedOne)
{
    const TIdandNr offer{"1.0.0.2", "全新的界面#更快的导出", "1.0.0.0", {}};
    const struct {
        const char* button;
        FrmDlgRet answer;
    } cases[] = {{"BtnUpdate", ctKUpdate}, {"BtnCancle", ctKCancle}, {"BtnNextTip", ctKNextTip}};
    for (const auto& c : cases) {
        const QList<Answer> answers = Show(ctUpdate, offer, [&] {
            Button(c.button).click();
        });
        EXPECT_EQ(title, QStringLiteral("发现新的版本"));
        EXPECT_EQ(buttons, (QStringList{"立即更新@51,8", "不再提示@143,8", "下次再说@235,8"}));
        EXPECT_EQ(lines, (QStringList{"---------------------------(1.0.0.2)--------------------------------",
                                      "全新的界面", "更快的导出"}));
        EXPECT_FALSE(timerRan);
        EXPECT_TRUE(offerIcon);
        EXPECT_FALSE(noticeIcon);
        ASSERT_EQ(answers.size(), 1);
        EXPECT_EQ(answers[0].answer, c.answer);
        EXPECT_EQ(answers[0].content, offer);
    }
}

TEST_F(UpdateDialogTest, ForcedUpdateCountsDownFromTwentyThenUpdates)
{
    RecordCountdown("BtnUpdate");
    const QList<Answer> answers = Show(ctUpdate, {"1.0.0.3", "必须升级", "1.0.0.2", {}}, {});
    EXPECT_EQ(GetAppVersion(), QStringLiteral("1.0.0.1")) << "the case assumes this running version";
    EXPECT_EQ(title, QStringLiteral("          你的版本不再支持请立即升级到最新版!"));
    EXPECT_EQ(buttons, QStringList{"立即更新@143,8"});
    QStringList expected;
    for (int n = 19; n >= 1; --n)
        expected << QStringLiteral("立即更新(%1)").arg(n);
    EXPECT_EQ(captions, expected);
    ASSERT_EQ(answers.size(), 1) << "the update is pressed once, by the countdown";
    EXPECT_EQ(answers[0].answer, ctKUpdate);
    EXPECT_FALSE(Countdown().isActive());

    // Pressed by hand before the count runs out: one answer, and the countdown ends with the showing.
    Countdown().setInterval(1000);
    const QList<Answer> early = Show(ctUpdate, {"1.0.0.3", "", "1.0.0.2", {}}, [&] { Button("BtnUpdate").click(); });
    EXPECT_EQ(early.size(), 1);
    EXPECT_FALSE(Countdown().isActive());
}

TEST_F(UpdateDialogTest, NoticeCountsDownAndClosesWithoutAnswerOrIsConfirmedWithOk)
{
    const TIdandNr notice{"N7", "3", "第一行#第二行##  第三行 ", {}};
    RecordCountdown("BtnOK");
    QList<Answer> answers = Show(ctTip, notice, {});
    EXPECT_EQ(title, QStringLiteral("通知信息"));
    EXPECT_EQ(buttons, QStringList{"OK(3)@143,8"});
    EXPECT_EQ(lines, (QStringList{"第一行", "第二行", "第三行"}));
    EXPECT_TRUE(noticeIcon);
    EXPECT_FALSE(offerIcon);
    EXPECT_EQ(captions, (QStringList{"OK(2)", "OK(1)"})) << "the third tick closes the dialog";
    EXPECT_TRUE(answers.isEmpty()) << "a notice that times out is not confirmed";

    Countdown().setInterval(1000);
    answers = Show(ctTip, notice, [&] { Button("BtnOK").click(); });
    ASSERT_EQ(answers.size(), 1);
    EXPECT_EQ(answers[0].answer, ctKOk);
    EXPECT_EQ(answers[0].content, notice);
    EXPECT_FALSE(Countdown().isActive());

    // The next showing, an update offer, resets what the notice showed.
    answers = Show(ctUpdate, {"1.0.0.2", "", "1.0.0.0", {}}, [&] { Button("BtnNextTip").click(); });
    EXPECT_EQ(buttons, (QStringList{"立即更新@51,8", "不再提示@143,8", "下次再说@235,8"}));
    EXPECT_FALSE(noticeIcon);
}

TEST_F(UpdateDialogTest, EscapeDoesNotCloseIt)
{
    bool stillShown = false;
    const QList<Answer> answers = Show(ctUpdate, {"1.0.0.2", "", "1.0.0.0", {}}, [&] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&dialog, &escape);
        stillShown = dialog.isVisible();
        Button("BtnNextTip").click();
    });
    EXPECT_TRUE(stillShown);
    EXPECT_EQ(answers.size(), 1);
}

TEST_F(UpdateDialogTest, NumbersThatAreNotNumbersShowNothing)
{
    const struct {
        TfrmdlgType type;
        TIdandNr content;
    } cases[] = {
        {ctUpdate, {"1.0.0.2", "", "", {}}},
        {ctUpdate, {"1.0.0.2", "", "1.0.0.x", {}}},
        {ctTip, {"N1", "soon", "text", {}}},
        {ctTip, {"N1", "", "text", {}}},
    };
    for (const auto& c : cases) {
        bool shown = false;
        WhenShown(&dialog, [&] {
            shown = true;
            dialog.done(0);
        });
        EXPECT_THROW(dialog.InitDlg(c.type, c.content, {}), ConversionError) << c.content.NR.toStdString();
        WaitFor([] { return false; }, 30);
        EXPECT_FALSE(shown);
    }
}

} // namespace
