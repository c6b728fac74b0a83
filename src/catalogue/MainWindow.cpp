#include "catalogue/MainWindow.h"

#include "catalogue/MediaNames.h"

#include "catalogue/CatalogueListView.h"
#include "catalogue/DropFilter.h"
#include "catalogue/ExportTask.h"
#include "catalogue/ListNavigation.h"
#include "catalogue/LocationPass.h"
#include "catalogue/PlaceEditor.h"
#include "catalogue/WindowExportHost.h"
#include "core/BackgroundTask.h"
#include "core/Helpers.h"
#include "core/UiHandover.h"
#include "dialogs/AboutWindow.h"
#include "dialogs/Dialogs.h"
#include "dialogs/FormState.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/UpdateDialog.h"
#include "export/ExportVerify.h"
#include "resources/Icons.h"
#include "services/Geocoder.h"
#include "services/LocationCache.h"
#include "services/PlaceResolver.h"
#include "services/UpdateCheck.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QMimeData>
#include <QStatusBar>
#include <QDesktopServices>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

namespace {

constexpr int kToolButtonWidth = 27;
constexpr int kResizeSettleMs = 150;

void QuitAfterCurrentEvent()
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

QAction* MakeAction(QObject* owner, const char* name, const QString& text, int picture = -1)
{
    auto* action = new QAction(text, owner);
    action->setObjectName(QString::fromLatin1(name));
    if (picture >= 0)
        action->setIcon(ImageListIcon(picture));
    return action;
}

} // namespace

// Tells when the application is asked to end (QCoreApplication::quit, which closes every
// window): such a close is the program's, not the user's, and asks nothing.
class QuitWatcher : public QObject {
public:
    explicit QuitWatcher(QObject* parent)
        : QObject(parent)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    bool Quitting() const { return quitting_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
            quitting_ = true;
            // The windows are closed while the quit is handled; should the program go on after
            // all (a window refused), a later close is the user's again.
            QMetaObject::invokeMethod(this, [this] { quitting_ = false; }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool quitting_ = false;
};

TForm1::TForm1(const MainWindowState& state)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                               | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , state_(state)
{
    setObjectName(QStringLiteral("Form1"));
    // FormCreate, in its order (the catalogue, settings file and settings value are the
    // program state's): caption, columns, drops, location timer, update timer.
    setWindowTitle(QStringLiteral("ORVEK-FILE(%1)").arg(GetAppVersion()));
    setWindowIcon(ProgramIcon());

    BuildToolbarAndMenus();
    BuildList();
    BuildTray();
    CreateColumns();

    GetLocationTimer = new QTimer(this);
    GetLocationTimer->setObjectName(QStringLiteral("GetLocationTimer"));
    GetLocationTimer->setInterval(kLocationIntervalMs);
    connect(GetLocationTimer, &QTimer::timeout, this, &TForm1::GetLocationTimerTimer);
    connect(&locationPass(), &LocationPass::statusMessage, this, [this](const QString& text) {
        placeNotes_ << text;
        ShowPlaceStatus();
    });
    connect(&locationPass(), &LocationPass::progress, this, &TForm1::ShowPlaceStatus);
    // A place emptied in the list is looked up again: the pass's timer runs until it is found.
    connect(&locationPass(), &LocationPass::placesWanted, this, [this] {
        if (!GetLocationTimer->isActive())
            GetLocationTimer->start();
    });

    quitWatcher_ = new QuitWatcher(this);
    // Rows removed (from the list, with their files, the whole list, in a preview window): the
    // status bar's count follows, once for a run of removals.
    const auto countChanged = [this] {
        if (listCountPending_)
            return;
        listCountPending_ = true;
        QMetaObject::invokeMethod(this, &TForm1::ShowListCount, Qt::QueuedConnection);
    };
    connect(listModel, &QAbstractItemModel::rowsRemoved, this, countChanged);
    connect(listModel, &QAbstractItemModel::modelReset, this, countChanged);

    resizeSettled_ = new QTimer(this);
    resizeSettled_->setSingleShot(true);
    resizeSettled_->setInterval(kResizeSettleMs);
    connect(resizeSettled_, &QTimer::timeout, this, &TForm1::SetColumnWidths);

    GetUpdateInfoTm = new QTimer(this);
    GetUpdateInfoTm->setObjectName(QStringLiteral("GetUpdateInfoTm"));
    GetUpdateInfoTm->setInterval(kUpdateFirstIntervalMs);
    connect(GetUpdateInfoTm, &QTimer::timeout, this, &TForm1::GetUpdateInfoTmTimer);

    // The cache database; a file that is there but cannot be used ends the creation steps, so
    // the update timer stays off.
    const CacheOpenResult& cache = state_.cacheOpened;
    if (cache.outcome == CacheOpenOutcome::CreateFailed)
        ShowInformation(QStringLiteral("提示"), QStringLiteral("数据库创建失败"));
    manifestUrl_ = ManifestUrl(settingsFile());
    if (cache.outcome == CacheOpenOutcome::OpenFailed)
        ShowStandardError(cache.error);
    else
        GetUpdateInfoTm->start();

    // Client area 790 x 605 below the menu bar, centred on the screen.
    resize(790, 605 + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TForm1::~TForm1()
{
    // A scan under way ends on its own: it only reads files, and what it posts finds no window.
    if (scan_)
        scan_->RequestStop();
    // FormDestroy, in its order: window state, the catalogue root; the list lets go of the rows.
    SaveFormState(settingsFile(), persistedControls());
    if (!SetInfo().save(settingsFile()))
        ReportWriteRefused(settingsFile());
    goodslistview->setModel(nullptr);
}

IniFile& TForm1::settingsFile()
{
    return state_.settingsFile;
}

TSetInfo TForm1::SetInfo() const
{
    return *state_.settings.Snapshot();
}

void TForm1::SetFilePath(const QString& root)
{
    state_.settings.Update([&](TSetInfo& value) { value.FilePath = root; });
}

Catalogue& TForm1::catalogue()
{
    return state_.catalogue;
}

LocationPass& TForm1::locationPass()
{
    return state_.locationPass;
}

void TForm1::AttachWindows(TForm2* settingsDialog, TForm5* aboutWindow, TMyDlg* updateDialog)
{
    settingsDialog_ = settingsDialog;
    aboutWindow_ = aboutWindow;
    updateDialog_ = updateDialog;
    settingsDialog_->scanTimeOfDrop = ScanTimeOfDrop;
}

void TForm1::BuildToolbarAndMenus()
{
    FloderOpen = MakeAction(this, "FloderOpen", QStringLiteral("打开文件夹"), kImgOpenFolder);
    FileFind = MakeAction(this, "FileFind", QStringLiteral("扫描ORVEK文件"), kImgScan);
    FileOut = MakeAction(this, "FileOut", QStringLiteral("导出文件"), kImgExport);
    SettingMe = MakeAction(this, "SettingMe", QStringLiteral("软件参数"), kImgSettings);
    connect(FloderOpen, &QAction::triggered, this, &TForm1::FloderOpenClick);
    connect(FileFind, &QAction::triggered, this, &TForm1::FileFindClick);
    connect(FileOut, &QAction::triggered, this, &TForm1::FileOutClick);
    connect(SettingMe, &QAction::triggered, this, &TForm1::SettingMeClick);

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    const QList<QAction*> buttons = {FloderOpen, FileFind, FileOut, SettingMe};
    for (QAction* button : buttons) {
        if (button != buttons.front())
            ToolBar1->addSeparator();
        ToolBar1->addAction(button);
        ToolBar1->widgetForAction(button)->setFixedWidth(kToolButtonWidth);
    }

    // Menu entries that stand for a toolbar button click that button.
    auto clicks = [this](QAction* entry, QAction* button) {
        connect(entry, &QAction::triggered, button, &QAction::trigger);
    };
    N1 = menuBar()->addMenu(QStringLiteral("文件"));
    N1->setObjectName(QStringLiteral("N1"));
    MainMenu_F_1 = MakeAction(this, "MainMenu_F_1", QStringLiteral("打开文件夹"), kImgOpenFolder);
    MainMenu_F_2 = MakeAction(this, "MainMenu_F_2", QStringLiteral("扫描ORVEK文件"), kImgScan);
    MainMenu_F_3 = MakeAction(this, "MainMenu_F_3", QStringLiteral("导出文件"), kImgExport);
    MainMenu_F_4 = MakeAction(this, "MainMenu_F_4", QStringLiteral("退出"), kImgExit);
    RetryFailedExport = MakeAction(this, "RetryFailedExport", QStringLiteral("重试失败的文件"), kImgExport);
    RetryFailedExport->setEnabled(false); // until an export leaves failed files
    VerifyExportFolder = MakeAction(this, "VerifyExportFolder", QStringLiteral("校验导出文件夹"), kImgScan);
    N1->addActions({MainMenu_F_1, MainMenu_F_2, MainMenu_F_3, RetryFailedExport, VerifyExportFolder});
    N1->addSeparator();
    N1->addAction(MainMenu_F_4);
    connect(RetryFailedExport, &QAction::triggered, this, &TForm1::RetryFailedExportClick);
    connect(VerifyExportFolder, &QAction::triggered, this, &TForm1::VerifyExportFolderClick);
    clicks(MainMenu_F_1, FloderOpen);
    clicks(MainMenu_F_2, FileFind);
    clicks(MainMenu_F_3, FileOut);
    connect(MainMenu_F_4, &QAction::triggered, this, &TForm1::mnuExitClick);

    N4 = menuBar()->addMenu(QStringLiteral("设置"));
    N4->setObjectName(QStringLiteral("N4"));
    MainMenu_S_1 = MakeAction(this, "MainMenu_S_1", QStringLiteral("软件参数"), kImgSettings);
    N4->addAction(MainMenu_S_1);
    clicks(MainMenu_S_1, SettingMe);

    N10 = menuBar()->addMenu(QStringLiteral("帮助"));
    N10->setObjectName(QStringLiteral("N10"));
    MainMenu_T_1 = MakeAction(this, "MainMenu_T_1", QStringLiteral("关于"));
    N10->addAction(MainMenu_T_1);
    connect(MainMenu_T_1, &QAction::triggered, this, &TForm1::MainMenu_T_1Click);
}

void TForm1::BuildList()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    listModel = &catalogue().rows();
    listModel->pictureForImage = [](int imageIndex) { return QVariant(ImageListIcon(imageIndex)); };

    goodslistview = new CatalogueListView(central);
    goodslistview->setProgressColumn(kColStatus);
    goodslistview->setObjectName(QStringLiteral("goodslistview"));
    goodslistview->setModel(listModel);
    goodslistview->setRootIsDecorated(false);
    goodslistview->setItemsExpandable(false);
    goodslistview->setUniformRowHeights(true);
    goodslistview->setAllColumnsShowFocus(true);
    goodslistview->setSelectionBehavior(QAbstractItemView::SelectRows);
    goodslistview->setSelectionMode(QAbstractItemView::ExtendedSelection);
    goodslistview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    goodslistview->setIconSize(QSize(16, 16));
    goodslistview->header()->setStretchLastSection(false);
    goodslistview->header()->setSectionsMovable(false);
    goodslistview->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    goodslistview->header()->setSectionsClickable(true);
    goodslistview->setExpandsOnDoubleClick(false);
    // The header shows the column the list is sorted by and the direction (none before the
    // first click: the rows are then in the order of their paths).
    goodslistview->header()->setSortIndicatorShown(true);
    goodslistview->header()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(goodslistview->header(), &QHeaderView::sectionClicked, this, &TForm1::goodslistviewColumnClick);
    goodslistview->installEventFilter(this);
    layout->addWidget(goodslistview);
    setCentralWidget(central);

    // Files dropped on the list become entries.
    goodslistview->viewport()->setAcceptDrops(true);
    goodslistview->viewport()->installEventFilter(this);

    // The strip along the bottom edge shows the progress of long work.
    StatusText = new QLabel(this);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(StatusText, 1);
    PlaceStatusText = new QLabel(this);
    PlaceStatusText->setObjectName(QStringLiteral("PlaceStatusText"));
    PlaceStatusText->setContentsMargins(0, 0, 6, 0); // clear of the window's edge
    statusBar()->addPermanentWidget(PlaceStatusText);

    edtListview = new QLineEdit(QStringLiteral("edtListview"), goodslistview->viewport());
    edtListview->setObjectName(QStringLiteral("edtListview"));
    edtListview->hide();
    edtListview->installEventFilter(this);
    connect(edtListview, &QLineEdit::textChanged, this, &TForm1::edtListviewChange);
    placeEditor_ = std::make_unique<PlaceEditor>(*edtListview, catalogue());

    MappicMenu = new QMenu(this);
    MappicMenu->setObjectName(QStringLiteral("MappicMenu"));
    PlaySongN = MakeAction(this, "PlaySongN", QStringLiteral("以默认程序打开"));
    MenuItem1 = MakeAction(this, "MenuItem1", QStringLiteral("从列表删除"));
    N5 = MakeAction(this, "N5", QStringLiteral("从文件删除"));
    MenuItem2 = MakeAction(this, "MenuItem2", QStringLiteral("清空所有列表"));
    MappicMenu->addActions({PlaySongN, MenuItem1, N5, MenuItem2});
    connect(PlaySongN, &QAction::triggered, this, &TForm1::PlaySongNClick);
    connect(MenuItem1, &QAction::triggered, this, &TForm1::MenuItem1Click);
    connect(N5, &QAction::triggered, this, &TForm1::N5Click);
    connect(MenuItem2, &QAction::triggered, this, &TForm1::MenuItem2Click);
    goodslistview->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(goodslistview, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { MappicMenu->popup(goodslistview->viewport()->mapToGlobal(at)); });
}

void TForm1::BuildTray()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->setLayoutDirection(Qt::RightToLeft); // right-aligned entries
    mnuShowHide = MakeAction(this, "mnuShowHide", QStringLiteral("显示"));
    mnuExit = MakeAction(this, "mnuExit", QStringLiteral("退出(&X)"));
    PopupMenu1->addActions({mnuShowHide, mnuExit});
    connect(mnuShowHide, &QAction::triggered, this, &TForm1::mnuShowHideClick);
    connect(mnuExit, &QAction::triggered, this, &TForm1::mnuExitClick);

    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    TrayIcon1 = new QSystemTrayIcon(ProgramIcon(), this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setToolTip(QStringLiteral("ORVEK-FILE"));
    TrayIcon1->setContextMenu(PopupMenu1);
    TrayIcon1->show();
}

void TForm1::CreateColumns()
{
    // The model supplies the six headers; the widths follow the list's width.
    SetColumnWidths();
}

void TForm1::SetColumnWidths()
{
    const auto widths = CatalogueColumnWidths(goodslistview->width());
    for (int column = 0; column < kColumnCount; ++column)
        goodslistview->header()->resizeSection(column, widths[static_cast<size_t>(column)]);
}

QList<QWidget*> TForm1::persistedControls() const
{
    return {edtListview};
}

QString TForm1::getSourpath(int row) const
{
    return state_.catalogue.SourcePath(row);
}

int TForm1::ItemIndex() const
{
    const QModelIndexList selected = goodslistview->selectionModel()->selectedRows();
    int first = -1;
    for (const QModelIndex& index : selected)
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

void TForm1::FormShow()
{
    TSetInfo saved;
    saved.read(settingsFile());
    state_.settings.Replace(saved);
    if (settingsDialog_)
        settingsDialog_->LoadSettings();
    LoadFormState(settingsFile(), persistedControls());
}

void TForm1::FloderOpenClick()
{
    const QString folder = ChooseFolder(this, QStringLiteral("选择存储卡文件夹"), SetInfo().FilePath);
    if (!folder.isEmpty())
        SetFilePath(folder);
}

void TForm1::SettingMeClick()
{
    if (!settingsDialog_)
        return;
    settingsDialog_->LoadSettings(); // shows the settings in force; Apply starts disabled
    settingsDialog_->exec();
}

void TForm1::PlaySongNClick()
{
    const int row = ItemIndex();
    if (row < 0)
        return; // no current row: nothing to open
    QDesktopServices::openUrl(QUrl::fromLocalFile(getSourpath(row)));
}

void TForm1::MainMenu_T_1Click()
{
    if (aboutWindow_)
        aboutWindow_->exec();
}

void TForm1::mnuShowHideClick()
{
    showNormal();
    raise();
    activateWindow();
}

void TForm1::mnuExitClick()
{
    if (ConfirmExit())
        QuitAfterCurrentEvent();
}

bool TForm1::ConfirmExit()
{
    TMyThread* worker = state_.worker.get();
    if (!worker || worker->task != TMyThread::Task::Export || StateOf(worker) != WorkerState::Busy)
        return true; // no export, or one that is being stopped already
    const int answer = AskQuestion(QStringLiteral("正在导出，还有文件没有复制。现在退出的话，这次备份不完整（已复制的文件会保留）。"),
                                   {QStringLiteral("继续导出"), QStringLiteral("停止并退出")});
    if (answer != 1)
        return false;
    // Stopped as at every exit: the file under way is not left half-written.
    worker->RequestStop();
    FileOut->setEnabled(false);
    StatusText->setText(QStringLiteral("正在停止导出……"));
    return true;
}

void TForm1::GetUpdateInfoTmTimer()
{
    // Each tick doubles the wait before the next one: 5 s, 10 s, 20 s, ...
    // (capped where the timer's range ends, about 24 days).
    GetUpdateInfoTm->setInterval(static_cast<int>(std::min<qint64>(2LL * GetUpdateInfoTm->interval(), INT_MAX)));
    // A busy worker (an export) lets this tick pass; without an update site in the settings
    // there is nothing to check.
    if (!manifestUrl_.isEmpty() && CurrentWorkerState() == WorkerState::Idle)
        StartWorker(TMyThread::Task::UpdateCheck, [this](TMyThread& worker) { RunUpdateCheck(worker); });
}

void TForm1::RunUpdateCheck(TMyThread& worker)
{
    CheckUpdateTask(manifestUrl_, worker.StopToken(), [&](const TdlgAndMe& request) {
        worker.Fparam = request;
        UiHandover::RunOnUiThread([&] {
            if (!worker.StopRequested()) // the program is ending: no dialog any more
                ShowUpdateDlg(worker.Fparam);
        });
    });
}

void TForm1::StopTimers()
{
    GetUpdateInfoTm->stop();
    GetLocationTimer->stop();
}

void TForm1::ShowUpdateDlg(const TdlgAndMe& request)
{
    GetUpdateInfoTm->stop();
    if (!updateDialog_)
        return;
    try {
        updateDialog_->InitDlg(request.TType, request.HH, [this](FrmDlgRet answer, const TIdandNr& content) {
            OnDlgAnswer(answer, content, [this](const QString& text) { ShowBalloon(text); });
        });
    } catch (const ConversionError& error) {
        // A version or time-out that is not a number: nothing is shown, and with the timer
        // stopped no further check runs until the next start.
        qWarning("update dialog not shown: %s", error.what());
    }
}

void TForm1::ShowBalloon(const QString& text)
{
    if (TrayIcon1 && TrayIcon1->isVisible() && QSystemTrayIcon::supportsMessages())
        TrayIcon1->showMessage(QStringLiteral("ORVEK-FILE"), text, QSystemTrayIcon::Information, 20000);
    else
        StatusText->setText(text);
}

void TForm1::ShowPlaceStatus()
{
    PlaceStatusText->setText(PlaceStatusLine(locationPass().Remaining(), placeNotes_));
}

void TForm1::GetLocationTimerTimer()
{
    if (!locationPass().Tick())
        GetLocationTimer->stop();
}



ScanMode TForm1::CurrentScanMode() const
{
    const TSetInfo settings = SetInfo();
    ScanMode mode;
    if (settings.Scan2) {
        mode.kind = ScanMode::Today;
    } else if (settings.Scan3) {
        mode.kind = ScanMode::Since;
        mode.scanTimeText = settings.ScanTime;
    }
    return mode;
}


void TForm1::StartWorker(TMyThread::Task task, TMyThread::Body run)
{
    state_.worker.Start(task, std::move(run));
}

WorkerState TForm1::CurrentWorkerState() const
{
    return state_.worker.State();
}

void TForm1::WaitForWorker()
{
    if (TMyThread* worker = state_.worker.get())
        worker->WaitUntilEnded();
}

void TForm1::FileOutClick()
{
    StartExport({});
}

void TForm1::RetryFailedExportClick()
{
    if (ExportRunning() || failedKeys_.isEmpty())
        return;
    StartExport(failedKeys_);
}

void TForm1::StartExport(const QStringList& onlyKeys)
{
    switch (CurrentWorkerState()) {
    case WorkerState::Busy:
        if (state_.worker.get()->task == TMyThread::Task::Export) {
            state_.worker.get()->RequestStop(); // the task ends at its next check and enables the button
            FileOut->setIcon(ImageListIcon(kImgExport));
            FileOut->setEnabled(false);
            return;
        }
        if (state_.worker.get()->task == TMyThread::Task::VerifyExport) {
            MsgBox(QStringLiteral("正在校验导出文件夹，请在校验结束后再导出。"), kMsgWarning);
            return;
        }
        // An update check gives way to the export: it is stopped and waited for.
        state_.worker.get()->RequestStop();
        WaitForWorker();
        break;
    case WorkerState::Stopping:
        MsgBox(QStringLiteral("上一个线程还未结束.请稍等"), kMsgWarning);
        return;
    case WorkerState::Idle:
        break;
    }
    const TSetInfo settings = SetInfo();
    if (!settings.Outck2) {
        // Nothing would be copied: say what to choose, and open the settings where it is chosen.
        MsgBox(settings.Outck1 ? QStringLiteral("「修改源文件」方式不复制任何文件。要导出，请在「软件参数」里选择「新建文件」和存放路径。")
                               : QStringLiteral("还没有选择导出方式：请在「软件参数」里选择「新建文件」和存放路径。"),
               kMsgWarning);
        SettingMeClick();
        return;
    }
    {
        const QString out = settings.OutPath;
        if (!TrimLowChars(out).startsWith(u'/')) {
            MsgBox(QStringLiteral("请先选择路径"), kMsgWarning);
            return;
        }
        if (!QFileInfo(out).isDir()) {
            MsgBox(QStringLiteral("(%1)不存在").arg(out), kMsgError);
            return;
        }
    }
    StartWorker(TMyThread::Task::Export, [this, onlyKeys](TMyThread& worker) { RunExportTask(worker, onlyKeys); });
    FileOut->setIcon(ImageListIcon(kImgExportRunning));
    RetryFailedExport->setEnabled(false);
    StatusText->setText(QStringLiteral("正在导出……"));
}

void TForm1::RunExportTask(TMyThread& worker, const QStringList& onlyKeys)
{
    WindowExportHost host(
        catalogue(), state_.settings, [this](int row) { ShowSelectItem(row, false); },
        [this] { return GetLocationTimer->isActive() || locationPass().LookupUnderWay(); }, onlyKeys);
    const ExportReport report = RunExport(host, worker.StopToken());
    // The end steps, on the UI thread; what the run did is shown once the task has ended.
    UiHandover::RunOnUiThread([&] {
        FileOut->setEnabled(true);
        FileOut->setIcon(ImageListIcon(kImgExport));
        SetItemIndex(-1);
        failedKeys_ = report.failedKeys;
        RetryFailedExport->setEnabled(!failedKeys_.isEmpty());
        QString status = report.cancelled ? QStringLiteral("导出已取消：复制 %1 个文件").arg(report.Copies())
                                          : QStringLiteral("导出完成：复制 %1 个文件，%2 个已存在")
                                                .arg(report.Copies())
                                                .arg(report.Count(ExportOutcome::AlreadyThere));
        if (!report.failedKeys.isEmpty())
            status += QStringLiteral("，%1 个失败").arg(report.failedKeys.size());
        StatusText->setText(status);
        if (report.cancelled && report.failedKeys.isEmpty())
            return;
        QStringList failed;
        for (const ExportLine& line : report.lines)
            if (line.outcome == ExportOutcome::Failed)
                failed << line.error;
        QMetaObject::invokeMethod(
            this,
            [this, text = ExportEndText(report, int(report.lines.size()), failed), failures = !report.failedKeys.isEmpty(),
             ok = report.AllVerified()] {
                if (!failures) {
                    MsgBox(text, ok ? kMsgInformation : kMsgWarning);
                    return;
                }
                if (AskQuestion(text, {QStringLiteral("关闭"), QStringLiteral("重试失败的文件")}) == 1)
                    RetryFailedExportClick();
            },
            Qt::QueuedConnection);
    });
}

QString TForm1::ExportEndText(const ExportReport& report, int files, const QStringList& failed)
{
    constexpr int kShown = 10;
    QString text = ExportSummary(report, files);
    if (!failed.isEmpty()) {
        text += QStringLiteral("\n\n失败的文件：\n") + QStringList(failed.mid(0, kShown)).join(u'\n');
        if (failed.size() > kShown)
            text += QStringLiteral("\n……还有 %1 个").arg(failed.size() - kShown);
    }
    return text;
}

void TForm1::VerifyExportFolderClick()
{
    if (CurrentWorkerState() != WorkerState::Idle) {
        TMyThread* worker = state_.worker.get();
        if (worker && worker->task == TMyThread::Task::VerifyExport) {
            worker->RequestStop(); // a second click stops the check
            StatusText->setText(QStringLiteral("正在停止校验……"));
            return;
        }
        MsgBox(QStringLiteral("上一个线程还未结束.请稍等"), kMsgWarning);
        return;
    }
    const QString out = TrimLowChars(SetInfo().OutPath);
    if (!out.startsWith(u'/') || !QFileInfo(out).isDir()) {
        MsgBox(QStringLiteral("请先在「软件参数」里选择导出的存放路径。"), kMsgWarning);
        return;
    }
    if (!QFileInfo(out + QStringLiteral("/ascmhl")).isDir()) {
        MsgBox(QStringLiteral("(%1)里没有校验记录（ascmhl 文件夹），请先导出。").arg(out), kMsgWarning);
        return;
    }
    StartWorker(TMyThread::Task::VerifyExport, [this, out](TMyThread& worker) { RunVerifyTask(worker, out); });
    StatusText->setText(QStringLiteral("正在校验导出文件夹……"));
}

void TForm1::RunVerifyTask(TMyThread& worker, const QString& folder)
{
    int shown = -1;
    const VerifyReport report = VerifyExport(folder, worker.StopToken(), [&](qint64 done, qint64 total) {
        const int percent = total > 0 ? int(done * 100 / total) : 100;
        if (percent == shown)
            return;
        shown = percent;
        UiHandover::Post(this, [this, percent] { StatusText->setText(QStringLiteral("正在校验导出文件夹…… %1%").arg(percent)); });
    });
    UiHandover::RunOnUiThread([&] {
        QStringList wrong;
        for (const VerifyLine& line : report.lines)
            if (line.result != VerifyLine::Result::Correct)
                wrong << QString::fromUtf8(VerifyResultText(line.result)) + QStringLiteral("：") + line.path;
        QString text;
        if (report.cancelled)
            text = QStringLiteral("校验已停止。");
        else if (!report.error.isEmpty())
            text = report.error;
        else if (report.AllRight())
            text = QStringLiteral("导出文件夹里记录的 %1 个文件全部校验正确。").arg(report.lines.size());
        else
            text = QStringLiteral("导出文件夹里有 %1 个文件与记录不符：\n").arg(wrong.size()) + QStringList(wrong.mid(0, 10)).join(u'\n')
                + (wrong.size() > 10 ? QStringLiteral("\n……还有 %1 个").arg(wrong.size() - 10) : QString());
        StatusText->setText(report.cancelled ? text : QStringLiteral("校验完成：%1 个文件，%2 个不符").arg(report.lines.size()).arg(wrong.size()));
        if (!report.cancelled)
            QMetaObject::invokeMethod(
                this, [text, ok = report.AllRight()] { MsgBox(text, ok ? kMsgInformation : kMsgWarning); }, Qt::QueuedConnection);
    });
}

bool TForm1::ExportRunning() const
{
    const TMyThread* worker = state_.worker.get();
    return worker && worker->task == TMyThread::Task::Export && worker->running;
}

void TForm1::MenuItem1Click() { RemoveSelectItem(false); }
void TForm1::N5Click() { RemoveSelectItem(true); }

void TForm1::MenuItem2Click()
{
    if (ExportRunning()) {
        MsgBox(QStringLiteral("正在导出，请在导出结束或取消后再删除。"), kMsgWarning);
        return;
    }
    catalogue().Clear();
}

bool TForm1::IsFolderEmpty(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty();
}

void TForm1::RemoveSelectItem(bool deleteFiles)
{
    if (ExportRunning()) {
        MsgBox(QStringLiteral("正在导出，请在导出结束或取消后再删除。"), kMsgWarning);
        return;
    }
    if (deleteFiles && !MsgBox(QStringLiteral("确定删除?"), kMsgQuestion))
        return;
    QList<int> selected;
    for (const QModelIndex& index : goodslistview->selectionModel()->selectedRows())
        selected << index.row();
    std::sort(selected.begin(), selected.end());
    CompanionFinder companions;
    for (int row : selected) {
        if (!deleteFiles)
            continue;
        const QString path = getSourpath(row);
        // With a video's flight log and a photo's RAW twin. A file that cannot be deleted stays;
        // its row goes all the same.
        companions.RemoveWithCompanions(path);
        const QString folder = QFileInfo(path).path();
        if (IsFolderEmpty(folder) && MsgBox(QStringLiteral("该组目录下没有任何文件了是否删除该目录?"), kMsgQuestion))
            QDir().rmdir(folder);
    }
    // From the last row up, so that the positions of the rows still to go stay put.
    for (auto row = selected.rbegin(); row != selected.rend(); ++row)
        catalogue().RemoveEntry(*row);
}

void TForm1::FileFindClick()
{
    if (scanning_) {
        // A second press cancels the scan under way: what it listed stays.
        if (scan_)
            scan_->RequestStop();
        StatusText->setText(QStringLiteral("正在取消扫描……"));
        return;
    }
    const QString root = SetInfo().FilePath;
    if (!QFileInfo(root).isDir()) {
        MsgBox(QStringLiteral("(%1)不存在").arg(root), kMsgError);
        return;
    }
    ScanFolder();
}

void TForm1::ScanFolder()
{
    MakeEntries({TrimLowChars(SetInfo().FilePath)}, true);
}

void TForm1::ListDropped(const QStringList& paths)
{
    const QStringList kept = KeepDroppedNames(paths);
    if (!kept.isEmpty() && !scanning_)
        MakeEntries(kept, false);
}

bool TForm1::Scanning() const
{
    return scanning_;
}

void TForm1::WaitForScan()
{
    UiHandover::WaitServing([this] { return !scanning_; });
}

void TForm1::MakeEntries(const QStringList& paths, bool applyMode)
{
    scanning_ = true;
    scanMade_ = 0;
    FileFind->setText(QStringLiteral("取消扫描"));
    MainMenu_F_2->setText(QStringLiteral("取消扫描"));
    BuildOptions options;
    options.applyMode = applyMode;
    options.mode = CurrentScanMode();
    options.rootText = SetInfo().FilePath;
    const QPointer<QObject> self(this);
    // The files are walked and read on a background task; the list takes each batch of entries
    // as it comes, so the window stays usable, shows how far the scan has come, and can cancel it.
    scan_ = BackgroundTask::Start([this, self, paths, options, applyMode](BackgroundTask& task) {
        ScanSteps steps;
        steps.walking = [&](int found) {
            UiHandover::Post(self, [this, found] { StatusText->setText(QStringLiteral("正在查找文件：已找到 %1 个").arg(found)); });
        };
        steps.batch = [&](std::vector<NewEntry> batch, int examined, int total) {
            UiHandover::Post(self, [this, batch = std::move(batch), examined, total, rootText = options.rootText] {
                scanMade_ += AddNewEntries(catalogue(), batch, rootText);
                StatusText->setText(QStringLiteral("正在读取文件：%1 / %2（再按扫描按钮可取消）").arg(examined).arg(total));
            });
        };
        const ScanOutcome outcome = ScanInBatches(paths, options, task.StopToken(), steps);
        UiHandover::Post(self, [this, outcome, applyMode] { FinishScan(outcome, applyMode); });
    });
}

void TForm1::FinishScan(const ScanOutcome& outcome, bool applyMode)
{
    scanning_ = false;
    scan_.reset();
    FileFind->setText(QStringLiteral("扫描ORVEK文件"));
    MainMenu_F_2->setText(QStringLiteral("扫描ORVEK文件"));
    scanSummary_ = {outcome.cancelled, outcome.files, scanMade_};
    scanSummaryShown_ = ScanSummaryText(scanSummary_, listModel->rowCount());
    StatusText->setText(scanSummaryShown_);
    // A scan starts a new location pass at its end; a drop starts one unless one is running
    // (which takes the new rows as they come).
    if (applyMode || !GetLocationTimer->isActive()) {
        placeNotes_.clear();
        locationPass().BeginPass();
        ShowPlaceStatus();
        GetLocationTimer->start();
    }
    // New rows came at the end: a list sorted by a column is sorted again, so that the
    // header's indicator keeps telling the truth (rows that compare equal keep their order).
    if (SortWay != 0 && scanMade_ > 0)
        listModel->sortRows(SortCol, SortWay);
    if (outcome.badScanTime)
        MsgBox(QStringLiteral("错误的时间格式"), kMsgWarning);
    if (!outcome.unreadable.isEmpty()) {
        constexpr int kNamed = 5;
        QString text = QStringLiteral("有 %1 个图片文件无法读取，已按文件时间列出，没有位置：").arg(outcome.unreadable.size());
        for (const QString& line : outcome.unreadable.mid(0, kNamed))
            text += u'\n' + line;
        if (outcome.unreadable.size() > kNamed)
            text += QStringLiteral("\n……");
        MsgBox(text, kMsgWarning);
    }
}

QString TForm1::ScanSummaryText(const ScanSummary& summary, int listed)
{
    return (summary.cancelled ? QStringLiteral("扫描已取消：找到 %1 个文件，新增 %2 个，列表共 %3 个")
                              : QStringLiteral("共找到 %1 个文件，新增 %2 个，列表共 %3 个"))
        .arg(summary.files)
        .arg(summary.added)
        .arg(listed);
}

void TForm1::ShowListCount()
{
    listCountPending_ = false;
    // A scan or an export under way keeps its progress in view; its end tells the count.
    if (scanning_ || ExportRunning())
        return;
    const int listed = listModel->rowCount();
    if (!scanSummaryShown_.isEmpty() && StatusText->text() == scanSummaryShown_) {
        scanSummaryShown_ = ScanSummaryText(scanSummary_, listed);
        StatusText->setText(scanSummaryShown_);
    } else {
        StatusText->setText(QStringLiteral("列表共 %1 个").arg(listed));
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    // The window sees key presses before its controls: Up and Down move the selection unless
    // the place editor has them; the list itself handles no keys at all.
    if (event->type() == QEvent::KeyPress && (watched == goodslistview || watched == edtListview)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (watched == edtListview)
            return edtListviewKeyDown(key);
        FormKeyDown(key);
        return true;
    }
    if (watched == edtListview && event->type() == QEvent::FocusOut) {
        if (edtListview->isVisible())
            edtListviewExit();
        return false;
    }
    if (watched == goodslistview->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        goodslistviewDblClick(static_cast<QMouseEvent*>(event)->position().toPoint());
        return true;
    }
    if (watched == goodslistview->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            if (drag->mimeData()->hasUrls()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            QStringList paths;
            for (const QUrl& url : drop->mimeData()->urls())
                if (url.isLocalFile())
                    paths << url.toLocalFile();
            drop->acceptProposedAction();
            ListDropped(paths);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::goodslistviewColumnClick(int column)
{
    SortCol = column;
    SortWay = SortWay == 1 ? -1 : 1;
    listModel->sortRows(SortCol, SortWay);
    // Qt's style draws Qt::AscendingOrder as a downward arrow; users read an upward arrow as
    // "A to Z, small to large", so the indicator is given the order whose arrow says that.
    goodslistview->header()->setSortIndicator(SortCol, SortWay == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

namespace {
std::vector<int> ColumnWidths(const QTreeView* view)
{
    std::vector<int> widths;
    for (int column = 0; column < view->header()->count(); ++column)
        widths.push_back(view->columnWidth(column));
    return widths;
}
} // namespace

void TForm1::goodslistviewDblClick(const QPoint& viewportPoint)
{
    if (ItemIndex() < 0)
        return;
    const std::vector<int> widths = ColumnWidths(goodslistview);
    const int scroll = goodslistview->horizontalScrollBar()->value();
    const int column = ColumnUnderPointer(viewportPoint.x(), scroll, widths);
    EditColumn = column;
    if (column >= int(widths.size()))
        return;
    if (column == kColLocation) {
        int left = -scroll;
        for (int i = 0; i < column; ++i)
            left += widths[size_t(i)];
        const QRect row = goodslistview->rowBounds(ItemIndex());
        const int width = left < 0 ? widths[size_t(column)] + left : widths[size_t(column)];
        DcolAndline(row, QPoint(std::max(left, 0), row.top()), width);
        return;
    }
    const int current = ItemIndex();
    const bool photo = IsPhotoName(getSourpath(current));
    const auto& open = photo ? previews.openPhoto : previews.openVideo;
    if (open)
        open(current);
}

void TForm1::DcolAndline(const QRect& rowRect, const QPoint& point, int width)
{
    const int current = ItemIndex();
    if (current < 0)
        return;
    placeEditor_->Open(current, EditColumn, point.x(), width,
                       QRect(rowRect.left(), goodslistview->rowBounds(current).top(), rowRect.width(), rowRect.height()));
}

void TForm1::edtListviewChange(const QString& text)
{
    placeEditor_->FollowTyping(text);
}

void TForm1::edtListviewExit()
{
    placeEditor_->Close();
    goodslistview->setFocus();
}

bool TForm1::edtListviewKeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        edtListviewExit(); // commits
        return true;
    }
    if (key == Qt::Key_Escape) {
        placeEditor_->Cancel();
        goodslistview->setFocus();
        return true;
    }
    if (key != Qt::Key_Down && key != Qt::Key_Up)
        return false; // every other key edits as usual
    const int direction = key == Qt::Key_Down ? 1 : -1;
    edtListviewExit();
    TabtoFoucs(direction);
    return true;
}

void TForm1::TabtoFoucs(int direction)
{
    // The editor moves from the row it was on to the next or previous row, which becomes the
    // only selected row; at either end of the list it stays closed.
    const int from = ItemIndex();
    const int to = from + direction;
    if (from < 0 || to < 0 || to >= listModel->rowCount())
        return;
    goodslistview->selectionModel()->clearSelection();
    SetItemIndex(to);
    const std::vector<int> widths = ColumnWidths(goodslistview);
    int left = -goodslistview->horizontalScrollBar()->value();
    for (int i = 0; i < EditColumn && i < int(widths.size()); ++i)
        left += widths[size_t(i)];
    goodslistview->scrollTo(listModel->index(to, 0));
    const QRect row = goodslistview->rowBounds(to);
    DcolAndline(row, QPoint(left, row.top()), widths[size_t(EditColumn)]);
}

bool TForm1::FormKeyDown(int key)
{
    if (key != Qt::Key_Down && key != Qt::Key_Up)
        return false;
    const int target = ArrowKeyTarget(ItemIndex(), listModel->rowCount(), key == Qt::Key_Down ? 1 : -1);
    if (target < 0)
        return true; // an empty list
    SetItemIndex(-1);
    SetItemIndex(target);
    goodslistview->scrollTo(listModel->index(target, 0), QAbstractItemView::EnsureVisible);
    const QString path = getSourpath(ItemIndex());
    if (IsPhotoName(path) && previews.showPhotoRow)
        previews.showPhotoRow(ItemIndex());
    return true;
}

void TForm1::SetItemIndex(int row)
{
    QItemSelectionModel* selection = goodslistview->selectionModel();
    if (row < 0) {
        const int first = ItemIndex();
        if (first >= 0)
            selection->select(listModel->index(first, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        return;
    }
    selection->setCurrentIndex(listModel->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TForm1::ClearSelection()
{
    goodslistview->selectionModel()->clearSelection();
}

int TForm1::getnexitem(const QString& extensions, int index, int direction) const
{
    return NextMatchingRow(listModel->rowCount(), [this](int row) { return getSourpath(row); }, extensions, index,
                           direction);
}

void TForm1::ShowSelectItem(int row, bool select)
{
    SetItemIndex(-1);
    const int half = goodslistview->viewport()->height() / 20 / 2;
    if (select)
        SetItemIndex(row);
    const int shown = (row + half >= 0 && row + half < listModel->rowCount()) ? row + half : row;
    if (shown >= 0 && shown < listModel->rowCount())
        goodslistview->scrollTo(listModel->index(shown, 0), QAbstractItemView::EnsureVisible);
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shownOnce_)
        return;
    shownOnce_ = true;
    FormShow();
    SetColumnWidths();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // The close button ends the program, like "退出"; a close of the program's own (it is
    // ending) asks nothing.
    if (!quitWatcher_->Quitting() && !ConfirmExit()) {
        event->ignore();
        return;
    }
    event->accept();
    QuitAfterCurrentEvent();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    resizeSettled_->start();
}
