#pragma once
// The main window: the catalogue list, its toolbar and menus, the tray icon, and the commands
// on the catalogue. What the program shares while it runs (the catalogue, the settings, the
// location pass, the worker) is the program state's; the window borrows it.

#include "catalogue/Catalogue.h"
#include "catalogue/FolderScan.h"
#include "catalogue/MainWindowState.h"
#include "catalogue/Worker.h"
#include "services/SettingsInfo.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class CatalogueListView;
class BackgroundTask;
class IniFile;
class LocationPass;
class PlaceEditor;
class QuitWatcher;
class TForm2;
class TForm5;
class TMyDlg;

struct ExportReport;
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kUpdateFirstIntervalMs = 5000;
    static constexpr int kLocationIntervalMs = 10;

    // Creates the window over the program's shared state, which must outlive it.
    explicit TForm1(const MainWindowState& state);
    ~TForm1() override; // saves the window state and the catalogue root

    // Windows created after this one that it opens or whose state it loads.
    void AttachWindows(TForm2* settingsDialog, TForm5* aboutWindow, TMyDlg* updateDialog);
    // The program is ending: the timers stop, so that no tick starts new work (an update check,
    // a place lookup) while the worker is stopped and the windows go.
    void StopTimers();

    IniFile& settingsFile();
    // The settings as they are now (SetInfo.FilePath is the catalogue root).
    TSetInfo SetInfo() const;
    void SetFilePath(const QString& root);
    Catalogue& catalogue();
    LocationPass& locationPass();

    // The persisted controls in the order in which they are saved and loaded.
    QList<QWidget*> persistedControls() const;

    // The full path of the file of a list row, or empty for a row that is not there.
    QString getSourpath(int row) const;
    // The current row: the first selected row in list order, -1 when none is selected.
    int ItemIndex() const;

    void CreateColumns();
    void SetColumnWidths();

    // Sorting by a click on a column header: the direction flips on every click.
    int SortCol = 0;
    int SortWay = 0;
    void goodslistviewColumnClick(int column);

    // A double-click opens the place editor over column 3, or a preview for other columns.
    int EditColumn = 0;
    void goodslistviewDblClick(const QPoint& viewportPoint);

    // The in-place editor of the place column.
    void DcolAndline(const QRect& rowRect, const QPoint& point, int width);
    void edtListviewChange(const QString& text);
    void edtListviewExit();
    // Up and Down inside the editor: commit, then edit the next or previous row.
    bool edtListviewKeyDown(int key);
    void TabtoFoucs(int direction);

    // Up and Down move the selection through the list, wrapping at both ends.
    bool FormKeyDown(int key);

    // Removal: from the list only, with the files (and their flight logs, and on request their
    // emptied folders), or the whole list. Refused while an export runs, so that the export
    // never finds its rows moved.
    void MenuItem1Click();
    void N5Click();
    void MenuItem2Click();
    void RemoveSelectItem(bool deleteFiles);
    static bool IsFolderEmpty(const QString& folder);

    // Row navigation for the preview windows.
    int getnexitem(const QString& extensions, int index, int direction) const;
    void ShowSelectItem(int row, bool select);
    // The selection rules of the list: the current row is the first selected one. Making a
    // row current selects it in addition; making no row current deselects only the first.
    void SetItemIndex(int row);
    // Deselects every row (the preview windows do before they select theirs).
    void ClearSelection();

    // How the list reaches the preview windows (set when they exist).
    struct PreviewHooks {
        std::function<void(int row)> openPhoto;           // image preview's InitFile, shown
        std::function<void(int row)> openVideo;           // video preview's InitFile, shown
        std::function<void(int row)> showPhotoRow;              // image preview's InitFile, shown
    } previews;

    // The export on the background worker: FileOutClick starts it, or cancels it while it runs;
    // RetryFailedExportClick exports again only the rows whose file failed in the last run.
    void FileOutClick();
    void RetryFailedExportClick();
    // Re-reads every file the export folder's hash list names and says what differs, on the
    // background worker with progress; a second click stops it.
    void VerifyExportFolderClick();
    void StartWorker(TMyThread::Task task, TMyThread::Body run);
    WorkerState CurrentWorkerState() const;
    // Waits (serving the window) until the worker's task has ended.
    void WaitForWorker();

    // The scan: FileFindClick checks the root and runs ScanFolder, which walks the root and
    // makes the entries with the scan mode of the settings on a background task, then starts
    // the location pass. Pressed again while the scan runs, it cancels the scan. Files dropped
    // on the list are made into entries without the scan mode.
    void FileFindClick();
    void ScanFolder();
    void ListDropped(const QStringList& paths);
    bool Scanning() const;
    // Waits (serving the window, no user input) until the scan has ended and its end shown.
    void WaitForScan();
    // The scan mode of the settings.
    ScanMode CurrentScanMode() const;

    // Handlers.
    void FormShow();
    void FloderOpenClick();
    void SettingMeClick();
    void PlaySongNClick();
    void MainMenu_T_1Click();
    void mnuShowHideClick();
    void mnuExitClick();
    // The user asks to end the program (the close button, "退出", "退出(&X)"). While an export
    // runs, asks whether to go on with it or to stop it and quit; true when the program may end
    // (the export is then asked to stop). The program ending otherwise (a termination signal,
    // the updater taking over) asks nothing.
    bool ConfirmExit();
    void GetUpdateInfoTmTimer();
    // The update check's dialog, on the UI thread while the worker waits. Stops the update
    // timer for the rest of the run.
    void ShowUpdateDlg(const TdlgAndMe& request);
    // The tray balloon (title "ORVEK-FILE", 20 s); without a tray the status bar shows the text.
    void ShowBalloon(const QString& text);
    // The update manifest's address from the settings file; empty: no background check.
    const QString& manifestUrl() const { return manifestUrl_; }
    void GetLocationTimerTimer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    CatalogueListModel* listModel; // the catalogue's rows, as the list shows them
    // The window's parts; each has its member's name as object name.
    QToolBar* ToolBar1;
    QAction* FloderOpen;
    QAction* FileFind;
    QAction* FileOut;
    QAction* SettingMe;
    QMenu* N1;
    QAction* MainMenu_F_1;
    QAction* MainMenu_F_2;
    QAction* MainMenu_F_3;
    QAction* MainMenu_F_4;
    QAction* RetryFailedExport;  // 重试失败的文件
    QAction* VerifyExportFolder; // 校验导出文件夹
    QMenu* N4;
    QAction* MainMenu_S_1;
    QMenu* N10;
    QAction* MainMenu_T_1;
    CatalogueListView* goodslistview;
    QLineEdit* edtListview;
    QMenu* MappicMenu;
    QAction* PlaySongN;
    QAction* MenuItem1;
    QAction* N5;
    QAction* MenuItem2;
    QSystemTrayIcon* TrayIcon1 = nullptr; // only where the desktop has a tray
    QMenu* PopupMenu1;
    QAction* mnuShowHide;
    QAction* mnuExit;
    QTimer* GetLocationTimer;
    QTimer* GetUpdateInfoTm;

    void BuildToolbarAndMenus();
    void BuildList();
    void BuildTray();
    // Makes entries from paths (folders among them are walked) on a background task, showing
    // progress; FinishScan reports what could not be read.
    void MakeEntries(const QStringList& paths, bool applyMode);
    void FinishScan(const ScanOutcome& outcome, bool applyMode);

    void StartExport(const QStringList& onlyKeys);
    void RunExportTask(TMyThread& worker, const QStringList& onlyKeys); // on the worker thread
    void RunVerifyTask(TMyThread& worker, const QString& folder);    // on the worker thread
    QStringList failedKeys_; // rows whose file failed in the last export, for a retry
    // What the end of an export says: the summary, then the failed files (the first few).
    static QString ExportEndText(const ExportReport& report, int files, const QStringList& failed);
    void RunUpdateCheck(TMyThread& worker); // on the worker thread
    bool ExportRunning() const;

    QLabel* StatusText;      // progress of long work, in the status bar
    QLabel* PlaceStatusText; // the location pass: rows still waiting, and what it told (placeNotes_)
    QStringList placeNotes_;
    void ShowPlaceStatus();
    // The end of the last scan as StatusText shows it, with the list's count; rows removed
    // later make the count follow (ShowListCount).
    struct ScanSummary {
        bool cancelled = false;
        int files = 0;
        int added = 0;
    };
    ScanSummary scanSummary_;
    QString scanSummaryShown_; // the text of it StatusText was given last
    static QString ScanSummaryText(const ScanSummary& summary, int listed);
    void ShowListCount();
    bool listCountPending_ = false; // a ShowListCount is queued
    QuitWatcher* quitWatcher_; // tells whether the application is ending: a close then asks nothing
    MainWindowState state_;
    bool scanning_ = false;
    std::shared_ptr<BackgroundTask> scan_; // while scanning_
    int scanMade_ = 0;                     // entries the scan under way has made
    QPointer<TForm2> settingsDialog_;
    QPointer<TForm5> aboutWindow_;
    QPointer<TMyDlg> updateDialog_;
    QString manifestUrl_;
    QTimer* resizeSettled_; // the end of a resize: column widths follow the new width
    bool shownOnce_ = false;
    std::unique_ptr<PlaceEditor> placeEditor_; // behind edtListview
};
