#pragma once
// The video preview window: plays one video of the catalogue at a time with its flight
// telemetry over the picture, a seek bar that shows the time under the mouse, transport
// buttons, full screen with a control bar that hides itself, and frame capture. The player
// reads the video through the window's memory adapter: small files from a copy in memory,
// large ones from the file.

#include "core/BackgroundTask.h"
#include "playback/MemoryInput.h"
#include "playback/Player.h"
#include "preview/CatalogueAccess.h"
#include "preview/FlightLogTable.h"
#include "preview/VideoPreviewLogic.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>

class QCheckBox;
class QFrame;
class QIODevice;
class QLabel;
class QPushButton;
class QTimer;
class SeekBar;
class VideoScreen;

class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
    ~TForm4() override;

    CatalogueAccess catalogue;
    // The capture folder setting, and a way to store one the user chose when it is empty.
    std::function<QString()> captureFolder;
    std::function<void(const QString& folder)> setCaptureFolder;
    // Where the playback libraries are looked for first.
    QString libraryFolder;

    // Asks for catalogue row index. The window goes on showing its clip until the player has
    // opened the new one; then title, row, flight log, capture and delete all change together.
    // A row asked for while another opens waits, and the last one asked for wins.
    void InitFile(int index);
    // Starts reading the shown video's flight log (when playback starts).
    void startthread();
    // No open under way and none waiting: what is on screen is videofilename's.
    bool OpenSettled() const { return !requests_.Opening() && !requests_.Waiting(); }

    // The clip shown (the delete and capture target) and its row.
    QString videofilename;
    int itemindex = -1;
    int64_t FDuration = 0;
    int FMousePosition = 0;
    bool FTrackChanging = false;
    float FBrightness = 0;
    float FSaturation = 1;
    float FHue = 0;

    TFFPlayer FFPlayer;
    TMemoryAccessAdapter MAA;
    SrtTable SrtEntries;
    std::shared_ptr<TLoadThread> loader; // the current flight-log loader

    // Handlers (public so tests can drive them as the controls do).
    void SPbackClick();
    void zhankaiClick();
    void Button1Click();
    void Button5Click();
    void Button4Click();
    void Button6Click();
    void Button7Click();
    void ZimuckClick();
    void TrackBar1MouseDown(int x);
    void TrackBar1Click();
    void TrackBar1MouseMove(int x);
    void Panel1DblClick();
    void Panel1MouseMove(int y);
    void WaittimeTimer();
    void SetFullScreen(bool on);
    bool IsFullScreen() const { return fullScreen_; }
    // True while a capture runs (the "截图" button is disabled meanwhile).
    bool Capturing() const;

    // The memory adapter's events: the window serves the open video's bytes (on the engine's
    // reader thread while playing; tests call them directly).
    bool MAAOpen();
    int MAARead(void* buffer, int count);
    qint64 MAASeek(qint64 offset, TSeekOrigin origin);
    void MAAClose();
    // Whether the bytes come from a copy in memory (false: from the file, or none held).
    bool ServingFromMemory() const;
    // The file the memory input serves: the clip being opened, then the one shown.
    void SetServedPath(const QString& path);

    // How the flight log's positions become place names (the cache, then the web service).
    PlaceLookup placeLookup = CachedPlaceLookup();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The window's parts; each has its member's name as object name.
    VideoScreen* Panel1;
    QLabel* VideoShow;
    QLabel* movetimebar;
    QFrame* SPpanelbutton;
    SeekBar* TrackBar1;
    QFrame* SPcontrolpanl;
    QPushButton* SPback;
    QPushButton* zhankai;
    QPushButton* Button1;
    QFrame* Bevel1;
    QPushButton* Button5;
    QPushButton* Button4;
    QPushButton* Button6;
    QPushButton* Button7;
    QCheckBox* Zimuck;
    QLabel* timebar;
    QTimer* Waittime;
    QTimer* hidevideshow;

    void FFPlayerFileOpen(int64_t duration, int& screenWidth, int& screenHeight);
    void FFPlayerPosition(int64_t pts);
    void FFPlayerState(TPlayState state);
    void FFPlayerOpenFailed();
    void FFPlayerVideoHook(QImage& bitmap, int64_t pts, bool& update);
    void Step(int direction);
    // Opens the row waiting, if any, once nothing else is opening, asking or capturing.
    void OpenWaitingRequest();
    // Starts the player on servedPath_; false when it refused (libraries missing, busy).
    bool preplay();
    // The window now shows the request's clip: name, row, title (and the list's selection when
    // the window chose the row).
    void ShowClip(const ClipRequests::Request& request, const QString& path);
    void ShowUnplayable();
    // Stops the player; an open it stops is not reported as failed.
    void StopPlayback();
    // Moves the window so that its frame, title bar included, lies in the screen's free area;
    // while the window is not framed yet, looks again later, up to looksLeft times in all.
    void KeepFrameOnScreen(int looksLeft = 1);
    void ShowCaptureNotice(const QString& text);
    void RunCapture(const QPointer<QObject>& self, const QString& folder); // on the capture task

    // The bytes behind the memory input; its events run on the engine's reader thread.
    mutable std::mutex streamMutex_;      // guards FStream and servedPath_
    std::unique_ptr<QIODevice> FStream;   // guarded by streamMutex_
    QString servedPath_;                  // guarded by streamMutex_
    QString totalText_;                  // "/" and the length of the open video
    QRect normalBounds_;                 // the window's bounds before full screen
    bool fullScreen_ = false;
    bool switchingScreen_ = false;
    ClipRequests requests_;
    bool stoppingOpen_ = false;    // the window stops an open under way: its failure is no failure
    bool askingToDelete_ = false;  // the delete question is up: no other clip opens meanwhile
    bool resumeAfterCapture_ = false; // paused while a capture folder was asked for
    int64_t pendingSeek_ = -1; // where to go once the reopened video plays
    bool Stopped() const;     // no video open (stopped, or never played)
    // The space press acted on and the widget it reached: it travels on to that widget's parents.
    const QEvent* lastSpaceKey_ = nullptr;
    QPointer<QWidget> lastSpaceReceiver_;
    std::shared_ptr<BackgroundTask> capture_; // at most one runs: its button is disabled meanwhile
};
