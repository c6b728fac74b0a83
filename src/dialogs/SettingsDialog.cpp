#include "dialogs/SettingsDialog.h"

#include "dialogs/Dialogs.h"
#include "dialogs/FormState.h"
#include "resources/Icons.h"
#include "services/IniFile.h"
#include "services/SettingsInfo.h"

#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

// Each help text's two halves are joined by a line feed followed by a carriage return.
const QString TForm2::kHelpDefaultPlace = QStringLiteral(
    "当无法识别图片或视频拍摄地时默认该视频或图片的拍摄地(格式:市/区县/街道)为这个,例如:\n\r"
    "遂宁市/船山区/灵泉街道");
const QString TForm2::kHelpNamingRule = QStringLiteral(
    "四种文件夹名称分别为 日期 城市 区县  街道 二种连接符号 +(连接) /(分级)  你可以自由组合这几种名称,例如:\n\r"
    " 日期/城市+区县/区县/街道  日期/城市 城市/日期 日期/街道 日期+街道  .....等多种组合命名(不需要按顺序)");

namespace {

template <class Control>
Control* Place(Control* control, const char* name, QRect at)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(at);
    return control;
}

// A control with a caption (or initial text) at a fixed place in its container.
template <class Control>
Control* Make(QWidget* parent, const char* name, const char* caption, QRect at)
{
    return Place(new Control(QString::fromUtf8(caption), parent), name, at);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect at)
{
    auto* button = Make<QPushButton>(parent, name, caption, at);
    button->setAutoDefault(false); // Enter presses no button
    return button;
}

QToolButton* MakeHelpButton(QWidget* parent, const char* name, int left, int top)
{
    auto* button = Place(new QToolButton(parent), name, {left, top, 21, 21});
    QIcon icon = ImageListIcon(kImgHelp);
    for (const QSize size : {QSize(16, 16), QSize(32, 32)})
        icon.addPixmap(ImageListIcon(kImgHelpDisabled).pixmap(size), QIcon::Disabled);
    button->setIcon(icon);
    button->setAutoRaise(true);
    return button;
}

void SetBase(QLineEdit* edit, QPalette::ColorRole from)
{
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(from));
    edit->setPalette(palette);
}

QStringList LocalPaths(const QMimeData* data)
{
    QStringList paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}

} // namespace

TForm2::TForm2(IniFile& settingsFile, SettingsStore& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , settingsFile_(settingsFile)
    , settings_(settings)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("设置"));
    setFixedSize(515, 358);
    QFont dialogFont = font();
    dialogFont.setPixelSize(12);
    setFont(dialogFont);
    // Group titles sit on the frame line, so the controls placed just below it stay clear of it.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 7px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px; padding: 0 3px; }"));

    GroupBox3 = Make<QGroupBox>(this, "GroupBox3", "输出", {0, 8, 513, 347});
    Outck1 = Make<QRadioButton>(GroupBox3, "Outck1", "修改源文件", {39, 12, 77, 17});
    Outck2 = Make<QRadioButton>(GroupBox3, "Outck2", "新建文件  路径:", {122, 12, 113, 17});
    OutPath = Make<QLineEdit>(GroupBox3, "OutPath", "", {236, 12, 190, 21});
    Button3 = MakeButton(GroupBox3, "Button3", "...", {432, 11, 21, 21});

    GroupBox4 = Make<QGroupBox>(GroupBox3, "GroupBox4", "扫描方式", {8, 46, 491, 61});
    Scan1 = Make<QRadioButton>(GroupBox4, "Scan1", "全部", {3, 24, 65, 17});
    Scan2 = Make<QRadioButton>(GroupBox4, "Scan2", "今天", {74, 24, 63, 17});
    Scan3 = Make<QRadioButton>(GroupBox4, "Scan3", "指定时间", {143, 24, 74, 17});
    ScanTime = Make<QLineEdit>(GroupBox4, "ScanTime", "", {223, 22, 160, 21});

    GroupBox1 = Make<QGroupBox>(GroupBox3, "GroupBox1", "导出文件命名规则", {11, 106, 488, 105});
    StaticText1 = Make<QLabel>(GroupBox1, "StaticText1", "文件夹命名:", {9, 28, 68, 17});
    CityText = Make<QLineEdit>(GroupBox1, "CityText", "", {83, 24, 365, 21});
    RzToolButton2 = MakeHelpButton(GroupBox1, "RzToolButton2", 454, 24);
    StaticText2 = Make<QLabel>(GroupBox1, "StaticText2", "未知城市/区县/街道：", {9, 70, 120, 17});
    MorenCity = Make<QLineEdit>(GroupBox1, "MorenCity", "", {122, 68, 327, 21});
    RzToolButton1 = MakeHelpButton(GroupBox1, "RzToolButton1", 455, 64);

    GroupBox2 = Make<QGroupBox>(GroupBox3, "GroupBox2", "视频", {11, 217, 488, 46});
    StaticText3 = Make<QLabel>(GroupBox2, "StaticText3", "截图文件存储路径:", {7, 22, 110, 17});
    CapImagePath = Make<QLineEdit>(GroupBox2, "CapImagePath", "", {120, 20, 303, 21});
    Button1 = MakeButton(GroupBox2, "Button1", "...", {428, 20, 21, 21});

    VerifyCopies = Make<QCheckBox>(GroupBox3, "VerifyCopies", "导出时校验：每个文件复制后从磁盘读回比对（关闭可加快导出）",
                                   {14, 270, 485, 19});

    HelpGroup = Place(new QFrame(GroupBox3), "HelpGroup", {18, 51, 455, 73});
    HelpGroup->setStyleSheet(QStringLiteral("#HelpGroup { border: 1px solid white; border-radius: 6px; }"));
    HelpLabel = new QLabel(HelpGroup);
    HelpLabel->setObjectName(QStringLiteral("HelpLabel"));
    HelpLabel->setWordWrap(true);
    QFont helpFont = dialogFont;
    helpFont.setPixelSize(11); // the longer help text needs four lines in the balloon
    HelpLabel->setFont(helpFont);
    HelpLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    HelpLabel->setStyleSheet(QStringLiteral(
        "#HelpLabel { color: black; padding: 1px 4px; border: 2px groove #7f9db9; border-radius: 5px;"
        " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #99b4d1, stop:1 #d7e4f2); }"));
    auto* helpLayout = new QVBoxLayout(HelpGroup);
    helpLayout->setContentsMargins(1, 1, 1, 1);
    helpLayout->addWidget(HelpLabel);
    HelpGroup->hide();
    HelpLabel->installEventFilter(this);

    // Each set of radio buttons is its own group: the scan-mode buttons lie inside the export
    // group box, and without explicit groups checking one export mode would clear the scan mode.
    auto* exportModes = new QButtonGroup(this);
    exportModes->addButton(Outck1);
    exportModes->addButton(Outck2);
    auto* scanModes = new QButtonGroup(this);
    for (QRadioButton* radio : {Scan1, Scan2, Scan3})
        scanModes->addButton(radio);

    btnsure = MakeButton(this, "btnsure", "确定", {76, 313, 75, 25});
    btnyy = MakeButton(this, "btnyy", "应用", {217, 313, 75, 25});
    btncancle = MakeButton(this, "btncancle", "取消", {353, 313, 75, 25});
    btnyy->setEnabled(false);

    for (QLineEdit* readOnly : {OutPath, CapImagePath})
        readOnly->setReadOnly(true);
    SetBase(OutPath, QPalette::ToolTipBase);
    SetBase(CapImagePath, QPalette::ToolTipBase);
    // The time is typed, or taken from a dropped file; the empty box shows the form it takes.
    ScanTime->setPlaceholderText(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    ScanTime->setToolTip(QStringLiteral("只扫描此时间以后的文件，例如 2017/05/03 14:00:00；也可以把文件拖到这里取它的时间"));
    connect(ScanTime, &QLineEdit::textEdited, this, &TForm2::EnableApply);

    // Drops on ScanTime go to the main window's drop handler.
    ScanTime->setAcceptDrops(true);
    ScanTime->installEventFilter(this);

    for (QLineEdit* edit : {CityText, MorenCity, OutPath, CapImagePath})
        connect(edit, &QLineEdit::textChanged, this, &TForm2::EnableApply);
    for (QRadioButton* radio : {Outck1, Outck2, Scan1, Scan2, Scan3})
        connect(radio, &QRadioButton::clicked, this, &TForm2::EnableApply);
    connect(VerifyCopies, &QCheckBox::clicked, this, &TForm2::EnableApply);
    connect(Button3, &QPushButton::clicked, this, &TForm2::Button3Click);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(RzToolButton1, &QToolButton::clicked, this, &TForm2::RzToolButton1Click);
    connect(RzToolButton2, &QToolButton::clicked, this, &TForm2::RzToolButton2Click);
    connect(btnyy, &QPushButton::clicked, this, &TForm2::btnyyClick);
    connect(btnsure, &QPushButton::clicked, this, &TForm2::btnsureClick);
    connect(btncancle, &QPushButton::clicked, this, &TForm2::btncancleClick);
    LoadSettings();
}

TForm2::~TForm2()
{
    if (!settings_.Snapshot()->saveOptions(settingsFile_))
        ReportWriteRefused(settingsFile_);
}

void TForm2::LoadSettings()
{
    const std::shared_ptr<const TSetInfo> value = settings_.Snapshot();
    const std::pair<QLineEdit*, QString> texts[] = {{OutPath, value->OutPath},     {CityText, value->CityText},
                                                    {MorenCity, value->MorenCity}, {CapImagePath, value->CapImagePath},
                                                    {ScanTime, value->ScanTime}};
    for (const auto& [edit, text] : texts)
        if (edit->text() != text)
            edit->setText(text);
    const std::pair<QRadioButton*, bool> choices[] = {{Outck1, value->Outck1}, {Outck2, value->Outck2},
                                                      {Scan1, value->Scan1},   {Scan2, value->Scan2},
                                                      {Scan3, value->Scan3}};
    for (const auto& [radio, checked] : choices)
        SetRadioChecked(radio, checked);
    VerifyCopies->setChecked(value->VerifyCopies);
    btnyy->setEnabled(false);
}

void TForm2::StoreSettings()
{
    settings_.Update([this](TSetInfo& value) {
        value.Outck1 = Outck1->isChecked();
        value.Outck2 = Outck2->isChecked();
        value.OutPath = OutPath->text();
        value.CityText = CityText->text();
        value.MorenCity = MorenCity->text();
        value.CapImagePath = CapImagePath->text();
        value.Scan1 = Scan1->isChecked();
        value.Scan2 = Scan2->isChecked();
        value.Scan3 = Scan3->isChecked();
        value.ScanTime = ScanTime->text();
        value.VerifyCopies = VerifyCopies->isChecked();
    });
}

void TForm2::EnableApply()
{
    btnyy->setEnabled(true);
}

void TForm2::Button3Click()
{
    const QString folder = ChooseFolder(this, QStringLiteral("选择导出目录"), OutPath->text());
    if (!folder.isEmpty())
        OutPath->setText(folder);
}

void TForm2::Button1Click()
{
    const QString folder = ChooseFolder(this, QStringLiteral("选择截图文件存储目录"), QString());
    if (!folder.isEmpty())
        CapImagePath->setText(folder);
}

void TForm2::ShowHelp(QToolButton* button, const QString& text)
{
    // The balloon's bottom edge lies on the top edge of the pressed button.
    HelpGroup->move(HelpGroup->x(), GroupBox1->y() + button->y() - HelpGroup->height());
    HelpGroup->raise();
    HelpGroup->show();
    HelpLabel->setText(text);
}

void TForm2::RzToolButton1Click() { ShowHelp(RzToolButton1, kHelpDefaultPlace); }
void TForm2::RzToolButton2Click() { ShowHelp(RzToolButton2, kHelpNamingRule); }
void TForm2::HelpLabelClick() { HelpGroup->hide(); }

void TForm2::btnyyClick()
{
    btnyy->setEnabled(false);
    StoreSettings();
    if (!settings_.Snapshot()->saveOptions(settingsFile_))
        ReportWriteRefused(settingsFile_);
}

void TForm2::btnsureClick()
{
    if (btnyy->isEnabled())
        btnyyClick();
    accept();
}

void TForm2::btncancleClick()
{
    reject(); // the edits stay in force; they are saved when the program ends
}

void TForm2::done(int result)
{
    StoreSettings();
    QDialog::done(result);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == HelpLabel && event->type() == QEvent::MouseButtonRelease) {
        HelpLabelClick();
        return true;
    }
    if (watched == ScanTime && event->type() == QEvent::DragEnter) {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        if (enter->mimeData()->hasUrls())
            enter->acceptProposedAction();
        return true;
    }
    if (watched == ScanTime && event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        DropOnScanTime(LocalPaths(drop->mimeData()));
        drop->acceptProposedAction();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm2::DropOnScanTime(const QStringList& paths)
{
    const QString time = scanTimeOfDrop ? scanTimeOfDrop(paths) : QString();
    if (!time.isEmpty())
        ScanTime->setText(time);
}

void TForm2::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape have no special meaning in this dialog.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
