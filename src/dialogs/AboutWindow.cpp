#include "dialogs/AboutWindow.h"

#include "core/BackgroundTask.h"
#include "core/Helpers.h"
#include "core/UiHandover.h"
#include "dialogs/Dialogs.h"
#include "services/RunAndQuit.h"
#include "services/UpdateManifest.h"

#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace {

const QString kIntroduction = QStringLiteral(
    "ORVEK-FILE 为航拍飞手整理存储卡：列出每一张照片和每一段视频的拍摄时间与地点，"
    "把 GPS 位置解析成城市、区县和街道，预览照片，播放视频并在画面上叠加每一秒的飞行数据，"
    "截取带位置信息的 JPG 图片，再把整张卡按日期和地点导出到整齐的文件夹里。\n"
    "导出前会比较已有文件，重复导出不会再复制，也不会丢失任何文件。");

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint at)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(at);
    label->adjustSize();
    return label;
}

} // namespace

TForm5::TForm5(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("关于REZUVADEV"));
    setFixedSize(451, 331);
    QFont windowFont = font();
    windowFont.setPixelSize(12);
    setFont(windowFont);

    VersionLabel = MakeLabel(this, "VersionLabel", {}, {8, 0});
    VersionLabel->setFixedSize(435, 20);
    RightsLabel = MakeLabel(this, "RightsLabel", QStringLiteral("Copyright © REZUVADEV  保留所有权利。"), {8, 21});

    ContactBox = new QGroupBox(QStringLiteral("联系我们   "), this);
    ContactBox->setObjectName(QStringLiteral("ContactBox"));
    ContactBox->setGeometry(0, 48, 451, 81);
    HomePageLabel = MakeLabel(ContactBox, "HomePageLabel", QStringLiteral("官方网站：rezuvadev.example"), {16, 24});
    PhoneLabel = MakeLabel(ContactBox, "PhoneLabel", QStringLiteral("联系电话：400-000-0000"), {16, 48});
    for (QLabel* blue : {HomePageLabel, PhoneLabel}) {
        QPalette palette = blue->palette();
        palette.setColor(QPalette::WindowText, QColor(0x1f, 0x5f, 0xbf));
        blue->setPalette(palette);
    }

    IntroCaption = MakeLabel(this, "IntroCaption", QStringLiteral("软件介绍:"), {8, 135});
    IntroMemo = new QPlainTextEdit(kIntroduction, this);
    IntroMemo->setObjectName(QStringLiteral("IntroMemo"));
    IntroMemo->setGeometry(0, 154, 451, 119);
    IntroMemo->setReadOnly(true);
    IntroMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* bevel = new QFrame(this);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(0, 279, 451, 3);

    Button1 = new QPushButton(QStringLiteral("检查升级"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(264, 296, 75, 25);
    Button2 = new QPushButton(QStringLiteral("关闭"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(368, 296, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm5::Button2Click);
}

void TForm5::showEvent(QShowEvent* event)
{
    // FormShow: the version, and the window in the middle of the screen.
    VersionLabel->setText(QStringLiteral("ORVEK-FILE  版本：%1").arg(GetAppVersion()));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TForm5::hideEvent(QHideEvent* event)
{
    // Closing ends a check under way; its answer is not shown.
    if (check_)
        check_->RequestStop();
    check_.reset();
    Button1->setEnabled(true);
    QDialog::hideEvent(event);
}

bool TForm5::Checking() const
{
    return check_ && check_->Running();
}

void TForm5::Button1Click()
{
    if (check_)
        return;
    if (manifestUrl.isEmpty()) {
        // Nothing to ask: the settings file names no update site.
        MsgBox(QStringLiteral("没有设置升级地址：请在 Config.dyi 中加入 [UpdateUrl] 一节（见 README）。"), kMsgWarning);
        return;
    }
    // The manifest is fetched by a background task: the window stays usable and can be closed
    // while a slow server answers.
    Button1->setEnabled(false);
    const QPointer<QObject> self(this);
    check_ = BackgroundTask::Start([self, url = manifestUrl](BackgroundTask& task) {
        TUPdateInfo info;
        HttpOptions options;
        options.stop = task.StopToken();
        const bool readable = ReadUpdateInfo(info, url, options);
        if (!task.StopRequested())
            UiHandover::Post(self, [self, from = &task, readable, info] {
                static_cast<TForm5*>(self.data())->ShowCheckResult(from, readable, info);
            });
    });
}

void TForm5::ShowCheckResult(const BackgroundTask* from, bool readable, const TUPdateInfo& info)
{
    if (check_.get() != from)
        return; // the window was closed meanwhile (and perhaps another check begun)
    check_.reset();
    Button1->setEnabled(true);
    if (!readable) {
        MsgBox(QStringLiteral("无法获取版本信息,请检查你的网络是否通畅.."), kMsgError);
        return;
    }
    if (info.Version.NR != GetAppVersion()) {
        if (MsgBox(QStringLiteral("发现新的版本:") + info.Version.NR + QStringLiteral(" 是否立即更新"), kMsgQuestion))
            RunAndQuit(UpdaterFileName());
    } else {
        MsgBox(QStringLiteral("已是最新版本了"), kMsgInformation);
    }
}
