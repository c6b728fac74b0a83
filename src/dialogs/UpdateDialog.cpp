#include "dialogs/UpdateDialog.h"

#include "core/Helpers.h"
#include "resources/Icons.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <cmath>

namespace {

constexpr int kClientWidth = 367;
constexpr int kClientHeight = 174;
constexpr int kPanelHeight = 41;
constexpr int kMemoWidth = 309;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 25;
constexpr int kButtonTop = 8;

const QString kHyphensBefore(27, u'-');
const QString kHyphensAfter(32, u'-');

QPushButton* MakeButton(QWidget* panel, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, panel);
    button->setObjectName(QString::fromLatin1(name));
    button->resize(kButtonWidth, kButtonHeight);
    button->setAutoDefault(false);
    return button;
}

QLabel* MakePicture(QWidget* parent, const char* name, const QIcon& icon, QSize size)
{
    auto* picture = new QLabel(parent);
    picture->setObjectName(QString::fromLatin1(name));
    picture->setGeometry(QRect(QPoint(8, 40), size));
    picture->setPixmap(icon.pixmap(std::min(size.width(), size.height())));
    picture->setAlignment(Qt::AlignCenter);
    return picture;
}

} // namespace

TMyDlg::TMyDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("MyDlg"));
    setWindowTitle(QStringLiteral("提示"));
    setFixedSize(kClientWidth, kClientHeight);
    // Tahoma where it is installed, else its narrow metric neighbour, so that the version's
    // hyphen line fits the memo's width; Chinese falls back to the CJK font.
    QFont dialogFont = font();
    dialogFont.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans")});
    dialogFont.setPixelSize(12);
    setFont(dialogFont);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Base, Qt::white);
    setPalette(white);

    Image1 = MakePicture(this, "Image1", UpdateIcon(), {47, 44});
    Image2 = MakePicture(this, "Image2", NoticeIcon(), {44, 47});

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(kClientWidth - kMemoWidth, 0, kMemoWidth, kClientHeight - kPanelHeight);
    Memo1->setReadOnly(true);
    Memo1->setFocusPolicy(Qt::NoFocus);
    Memo1->setFrameShape(QFrame::NoFrame);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, kClientHeight - kPanelHeight, kClientWidth, kPanelHeight);
    BtnUpdate = MakeButton(Panel1, "BtnUpdate", QStringLiteral("立即更新"));
    BtnCancle = MakeButton(Panel1, "BtnCancle", QStringLiteral("不再提示"));
    BtnNextTip = MakeButton(Panel1, "BtnNextTip", QStringLiteral("下次再说"));
    BtnOK = MakeButton(Panel1, "BtnOK", QStringLiteral("OK(5)"));
    connect(BtnUpdate, &QPushButton::clicked, this, &TMyDlg::BtnUpdateClick);
    connect(BtnCancle, &QPushButton::clicked, this, &TMyDlg::BtnCancleClick);
    connect(BtnNextTip, &QPushButton::clicked, this, &TMyDlg::BtnNextTipClick);
    connect(BtnOK, &QPushButton::clicked, this, &TMyDlg::BtnOKClick);

    LeaveTimer = new QTimer(this);
    LeaveTimer->setObjectName(QStringLiteral("LeaveTimer"));
    LeaveTimer->setInterval(1000);
    connect(LeaveTimer, &QTimer::timeout, this, &TMyDlg::LeaveTimerTimer);
}

int TMyDlg::ButtonLeft(int panelWidth, int buttonWidth, int quarter)
{
    return static_cast<int>(std::trunc(panelWidth * quarter / 4.0 - buttonWidth / 2.0));
}

void TMyDlg::InitDlg(TfrmdlgType type, const TIdandNr& content, AnswerCallback onAnswer)
{
    if (type != ctUpdate && type != ctTip)
        return;
    // Everything that can fail is worked out before the dialog changes.
    const bool forced = type == ctUpdate && VersionToInt(GetAppVersion()) < VersionToInt(content.NR2);
    int count = 0;
    if (type == ctTip) {
        const auto seconds = ParseInt32(content.NR);
        if (!seconds)
            throw ConversionError("'" + content.NR.toStdString() + "' is not a valid integer value");
        count = *seconds;
    }

    onAnswer_ = std::move(onAnswer);
    content_ = content;
    type_ = type;
    LeaveTimer->stop();
    Memo1->clear();
    const int panelWidth = Panel1->width();
    if (type == ctUpdate) {
        setWindowTitle(QStringLiteral("发现新的版本"));
        Memo1->appendPlainText(kHyphensBefore + u'(' + content.ID + u')' + kHyphensAfter);
        FillMemo(content.NR, Memo1);
        BtnOK->hide();
        Image2->hide();
        BtnUpdate->setText(QStringLiteral("立即更新"));
        for (QWidget* shown : {static_cast<QWidget*>(BtnUpdate), static_cast<QWidget*>(BtnCancle),
                               static_cast<QWidget*>(BtnNextTip), static_cast<QWidget*>(Image1)})
            shown->show();
        int quarter = 1;
        for (QPushButton* button : {BtnUpdate, BtnCancle, BtnNextTip})
            button->move(ButtonLeft(panelWidth, button->width(), quarter++), kButtonTop);
        if (forced) {
            BtnCancle->hide();
            BtnNextTip->hide();
            BtnUpdate->move(ButtonLeft(panelWidth, BtnUpdate->width(), 2), kButtonTop);
            leaveCount_ = kForcedUpdateSeconds;
            LeaveTimer->start();
            setWindowTitle(QStringLiteral("          你的版本不再支持请立即升级到最新版!"));
        }
    } else {
        leaveCount_ = count;
        LeaveTimer->start();
        setWindowTitle(QStringLiteral("通知信息"));
        FillMemo(content.NR2, Memo1);
        BtnOK->setText(QStringLiteral("OK(%1)").arg(leaveCount_));
        BtnOK->show();
        Image2->show();
        for (QWidget* hidden : {static_cast<QWidget*>(BtnUpdate), static_cast<QWidget*>(BtnCancle),
                                static_cast<QWidget*>(BtnNextTip), static_cast<QWidget*>(Image1)})
            hidden->hide();
        BtnOK->move(ButtonLeft(panelWidth, BtnOK->width(), 2), kButtonTop);
    }
    Memo1->moveCursor(QTextCursor::Start);
    exec();
}

void TMyDlg::FillMemo(const QString& text, QPlainTextEdit* memo)
{
    for (const QString& line : MemoLines(text))
        memo->appendPlainText(line);
}

void TMyDlg::LeaveTimerTimer()
{
    --leaveCount_;
    if (type_ == ctUpdate) {
        if (leaveCount_ <= 0) {
            LeaveTimer->stop();
            BtnUpdate->click();
        } else {
            BtnUpdate->setText(QStringLiteral("立即更新(%1)").arg(leaveCount_));
        }
    } else if (type_ == ctTip) {
        if (leaveCount_ <= 0) {
            LeaveTimer->stop();
            accept(); // closes without an answer
        } else {
            BtnOK->setText(QStringLiteral("OK(%1)").arg(leaveCount_));
        }
    }
}

void TMyDlg::BtnOKClick()
{
    LeaveTimer->stop();
    Answer(ctKOk);
}

void TMyDlg::Answer(FrmDlgRet answer)
{
    if (onAnswer_)
        onAnswer_(answer, content_);
    accept();
}

void TMyDlg::done(int result)
{
    // A countdown never outlives its showing (a forced update answered by hand would
    // otherwise press the button again when the count ran out).
    LeaveTimer->stop();
    QDialog::done(result);
}

void TMyDlg::closeEvent(QCloseEvent* event)
{
    // The window manager's close is refused like Escape.
    if (event->spontaneous())
        event->ignore();
    else
        QDialog::closeEvent(event);
}
