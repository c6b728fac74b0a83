#include "preview/VideoPreviewWindow.h"

#include "catalogue/MediaNames.h"

#include "core/UiHandover.h"
#include "dialogs/Dialogs.h"
#include "playback/VideoScreen.h"
#include "preview/ButtonBar.h"
#include "preview/FrameTelemetry.h"
#include "preview/SeekBar.h"
#include "preview/VideoPreviewLogic.h"
#include "resources/Icons.h"
#include "services/AppPaths.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {
const QString kTitle = QStringLiteral("视频预览");
constexpr int kBarHeight = 62;
constexpr int kFrameSettleMs = 150; // time for the window system to frame a shown window
constexpr int kFrameLooks = 20;     // looks at the frame after a show, kFrameSettleMs apart
const QString kNoFlightLogNotice = QStringLiteral("截图失败：这一秒没有飞行记录，无法确定拍摄时间和位置");

// A light label over the picture, hidden until used.
QLabel* MakeNotice(QWidget* parent, const char* name, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::Box);
    label->setAutoFillBackground(true);
    label->setStyleSheet(QStringLiteral("background: #f4f4f0; color: black; border: 1px solid #808080;"));
    label->hide();
    return label;
}
} // namespace

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(kTitle);
    setWindowIcon(ProgramIcon());
    // Half the screen's width and 55 % of its height, at the top left of the desktop's free
    // area (its frame is brought inside that area once the window system has framed it).
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        resize(int(screen->size().width() * 0.5), int(screen->size().height() * 0.55));
        move(screen->availableGeometry().topLeft());
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new VideoScreen(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->SetPlaceholder(QStringLiteral("预览"));
    Panel1->setFocusPolicy(Qt::StrongFocus);
    Panel1->setMouseTracking(true);
    Panel1->installEventFilter(this);
    layout->addWidget(Panel1, 1);

    VideoShow = MakeNotice(Panel1, "VideoShow", QStringLiteral("TIME: 2015-12-12 12:12:12  H:100M "));
    movetimebar = MakeNotice(Panel1, "movetimebar", QStringLiteral("00:11:11"));
    movetimebar->setFixedSize(48, 17);

    SPpanelbutton = new QFrame(this);
    SPpanelbutton->setObjectName(QStringLiteral("SPpanelbutton"));
    SPpanelbutton->setFixedHeight(kBarHeight);
    auto* barLayout = new QVBoxLayout(SPpanelbutton);
    barLayout->setContentsMargins(0, 0, 0, 2);
    barLayout->setSpacing(2);
    TrackBar1 = new SeekBar(SPpanelbutton);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setFixedHeight(19);
    TrackBar1->setRange(0, 0);
    barLayout->addWidget(TrackBar1);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(4, 0, 4, 0);
    ButtonBar bar(SPpanelbutton, "SPcontrolpanl", QSize(496, 36), QMargins(4, 3, 4, 3), Panel1);
    SPcontrolpanl = bar.Panel();
    constexpr int kButtonWidth = 56;
    SPback = bar.AddButton("SPback", QStringLiteral("上个"), [this] { SPbackClick(); }, kButtonWidth);
    zhankai = bar.AddButton("zhankai", QStringLiteral("下个"), [this] { zhankaiClick(); }, kButtonWidth);
    Button1 = bar.AddButton("Button1", QStringLiteral("删除"), [this] { Button1Click(); }, kButtonWidth);
    Bevel1 = new QFrame(SPcontrolpanl);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::VLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    bar.AddWidget(Bevel1);
    Button5 = bar.AddButton("Button5", QStringLiteral("暂停"), [this] { Button5Click(); }, kButtonWidth);
    Button4 = bar.AddButton("Button4", QStringLiteral("逐帧"), [this] { Button4Click(); }, kButtonWidth);
    Button6 = bar.AddButton("Button6", QStringLiteral("停止"), [this] { Button6Click(); }, kButtonWidth);
    Button7 = bar.AddButton("Button7", QStringLiteral("截图"), [this] { Button7Click(); }, kButtonWidth);
    Zimuck = new QCheckBox(QStringLiteral("字幕"), SPcontrolpanl);
    Zimuck->setObjectName(QStringLiteral("Zimuck"));
    Zimuck->setChecked(true);
    Zimuck->setFocusPolicy(Qt::NoFocus);
    bar.AddWidget(Zimuck);
    connect(Zimuck, &QCheckBox::clicked, this, [this] {
        ZimuckClick();
        Panel1->setFocus();
    });

    timebar = new QLabel(QStringLiteral("00:00:00/00:00:00"), SPpanelbutton);
    timebar->setObjectName(QStringLiteral("timebar"));
    timebar->setFixedSize(112, 17);
    timebar->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The time on the right, the buttons in the middle of the bar.
    row->addSpacing(timebar->width());
    row->addStretch(1);
    row->addWidget(SPcontrolpanl);
    row->addStretch(1);
    row->addWidget(timebar);
    barLayout->addLayout(row);
    layout->addWidget(SPpanelbutton);

    Waittime = new QTimer(this);
    Waittime->setObjectName(QStringLiteral("Waittime"));
    Waittime->setInterval(2000);
    connect(Waittime, &QTimer::timeout, this, &TForm4::WaittimeTimer);
    hidevideshow = new QTimer(this);
    hidevideshow->setObjectName(QStringLiteral("hidevideshow"));
    hidevideshow->setInterval(2500);
    connect(hidevideshow, &QTimer::timeout, this, [this] {
        VideoShow->hide();
        hidevideshow->stop();
    });

    connect(TrackBar1, &SeekBar::pressedAt, this, &TForm4::TrackBar1MouseDown);
    connect(TrackBar1, &SeekBar::clicked, this, &TForm4::TrackBar1Click);
    connect(TrackBar1, &SeekBar::hoveredAt, this, &TForm4::TrackBar1MouseMove);
    connect(TrackBar1, &SeekBar::entered, movetimebar, &QWidget::show);
    connect(TrackBar1, &SeekBar::left, movetimebar, &QWidget::hide);

    // The player's events arrive on this window's thread; the hook runs on the video thread.
    FFPlayer.VideoHook = Zimuck->isChecked();
    FFPlayer.OnFileOpen = [this](TCustomPlayer*, int64_t duration, int, int, int& w, int& h) { FFPlayerFileOpen(duration, w, h); };
    FFPlayer.OnPosition = [this](TCustomPlayer*, int64_t pts) { FFPlayerPosition(pts); };
    FFPlayer.OnState = [this](TCustomPlayer*, TPlayState state) { FFPlayerState(state); };
    FFPlayer.OnOpenFailed = [this](TCustomPlayer*) { FFPlayerOpenFailed(); };
    // The line is drawn over each picture as it is shown, at the size it is shown, and over
    // CurrentFrame's full-size copy for captures: a 4K picture is never converted whole for it.
    FFPlayer.OnDrawOverlay = [this](TCustomPlayer*, QImage& picture, int64_t pts) {
        bool update = true;
        FFPlayerVideoHook(picture, pts, update);
    };
    // The input's events only read a file: they run on the engine's reader thread, which then
    // needs no round trip to this thread for each block.
    MAA.SetTriggerEventInMainThread(false);
    MAA.SetOnOpen([this](TCustomEventStream*, void*, const QString&, int) { return MAAOpen(); });
    MAA.SetOnRead([this](TCustomEventStream*, void* buffer, int count) { return MAARead(buffer, count); });
    MAA.SetOnWrite([](TCustomEventStream*, const void*, int) { return -1; }); // the input is read-only
    MAA.SetOnSeek([this](TCustomEventStream*, qint64 offset, TSeekOrigin origin) { return MAASeek(offset, origin); });
    MAA.SetOnClose([this](TCustomEventStream*) { MAAClose(); });

    // Space pauses and resumes whichever control has the focus; the key goes on to it too.
    qApp->installEventFilter(this);
}

TForm4::~TForm4()
{
    qApp->removeEventFilter(this);
    requests_.DropWaiting();
    StopPlayback();
    if (capture_)
        capture_->WaitUntilEnded(); // it reads the player and the table
    if (loader)
        loader->Stop();
}

// ---- opening --------------------------------------------------------------------------------

void TForm4::InitFile(int index)
{
    requests_.Ask(index, false); // the list already shows the row it opened
    OpenWaitingRequest();
}

void TForm4::OpenWaitingRequest()
{
    if (askingToDelete_ || Capturing() || !requests_.Waiting() || requests_.Opening())
        return; // served when the question is answered, the capture or the open under way ends
    if (FFPlayer.Opening()) { // the clip just shown is still starting its play thread
        QTimer::singleShot(10, this, &TForm4::OpenWaitingRequest);
        return;
    }
    const ClipRequests::Request request = *requests_.TakeNext();
    SetServedPath(catalogue.sourcePathOf ? catalogue.sourcePathOf(request.row) : QString());
    if (!preplay()) { // refused: the clip is shown with the reason
        ShowClip(requests_.Finish(), servedPath_);
        ShowUnplayable();
        OpenWaitingRequest();
    }
}

bool TForm4::preplay()
{
    if (!FFPlayer.AVLibLoaded()) {
        const QString folder = libraryFolder.isEmpty() ? QDir(ProgramDir()).filePath(QStringLiteral("LibAV")) : libraryFolder;
        if (!FFPlayer.LoadAVLib(folder, true)) {
            MsgBox(FFPlayer.LastErrMsg(), kMsgError);
            return false;
        }
        try {
            RegisterMemoryProtocol(false);
        } catch (const std::exception& error) {
            ShowStandardError(QString::fromUtf8(error.what()));
            return false;
        }
    }
    // The flight log of the clip leaving is neither read on nor drawn over the next one.
    if (loader)
        loader->Stop();
    SrtEntries.Clear();
    FFPlayer.VideoFilters = PictureFilterText(FBrightness, FSaturation, FHue);
    Panel1->Clear();
    Panel1->SetPlaceholder(QStringLiteral("预览"));
    Panel1->setToolTip(QString());
    return FFPlayer.TryOpen(MemoryInputAddress(MAA.Stream()->Identity()), Panel1, false);
}

void TForm4::ShowClip(const ClipRequests::Request& request, const QString& path)
{
    videofilename = path;
    itemindex = path.isEmpty() ? -1 : request.row;
    setWindowTitle(path.isEmpty() ? kTitle : path);
    if (request.selectInList && itemindex >= 0)
        catalogue.Select(itemindex);
}

void TForm4::StopPlayback()
{
    stoppingOpen_ = requests_.Opening();
    FFPlayer.Stop(true); // an open it ends reports its failure before this returns
    stoppingOpen_ = false;
    if (requests_.Opening()) // ended without a word: nothing of it is shown
        requests_.Finish();
}

void TForm4::startthread()
{
    RestartLoader(loader, videofilename, SrtEntries, placeLookup);
}

// ---- serving the input -----------------------------------------------------------------------

void TForm4::SetServedPath(const QString& path)
{
    std::lock_guard lock(streamMutex_);
    servedPath_ = path;
}

bool TForm4::MAAOpen()
{
    std::lock_guard lock(streamMutex_);
    FStream.reset();
    const QString videofilename = servedPath_;
    const QFileInfo info(videofilename);
    const int64_t size = info.exists() ? info.size() : -1;
    switch (ChooseInputSource(size)) {
    case InputSource::Unusable: {
        const QString message = QStringLiteral("file error") + videofilename;
        if (QThread::currentThread() == thread())
            MsgBox(message, kMsgInformation);
        else // from the reader thread: the box is the window's, and the open fails meanwhile
            QMetaObject::invokeMethod(this, [message] { MsgBox(message, kMsgInformation); }, Qt::QueuedConnection);
        return false;
    }
    case InputSource::Memory: {
        QFile file(videofilename);
        if (file.open(QIODevice::ReadOnly)) {
            auto buffer = std::make_unique<QBuffer>();
            buffer->setData(file.readAll());
            buffer->open(QIODevice::ReadOnly);
            FStream = std::move(buffer);
        }
        break;
    }
    case InputSource::File: {
        auto file = std::make_unique<QFile>(videofilename);
        if (file->open(QIODevice::ReadOnly))
            FStream = std::move(file);
        break;
    }
    }
    return FStream != nullptr;
}

int TForm4::MAARead(void* buffer, int count)
{
    std::lock_guard lock(streamMutex_);
    if (!FStream)
        return -1;
    return int(FStream->read(static_cast<char*>(buffer), count));
}

qint64 TForm4::MAASeek(qint64 offset, TSeekOrigin origin)
{
    std::lock_guard lock(streamMutex_);
    if (!FStream)
        return -1;
    const qint64 base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? FStream->pos() : FStream->size();
    return FStream->seek(base + offset) ? FStream->pos() : -1;
}

void TForm4::MAAClose()
{
    std::lock_guard lock(streamMutex_);
    FStream.reset();
}

bool TForm4::ServingFromMemory() const
{
    std::lock_guard lock(streamMutex_);
    return qobject_cast<QBuffer*>(FStream.get()) != nullptr;
}

// ---- player events ---------------------------------------------------------------------------

void TForm4::FFPlayerFileOpen(int64_t duration, int& screenWidth, int& screenHeight)
{
    // The clip is open: from now on the window shows it and acts on it.
    stoppingOpen_ = false;
    ShowClip(requests_.Finish(), servedPath_);
    screenWidth = Panel1->width();
    screenHeight = Panel1->height();
    FDuration = duration;
    totalText_ = QStringLiteral("/") + FormatPlayTime(duration < 0 ? 0 : duration);
    timebar->setText(QStringLiteral("00:00:00") + totalText_);
    TrackBar1->setRange(0, TrackBar1->width());
    TrackBar1->setValue(0);
    FTrackChanging = false;
    if (requests_.Waiting()) // asked for while this one opened: it follows
        QTimer::singleShot(0, this, &TForm4::OpenWaitingRequest);
}

void TForm4::FFPlayerPosition(int64_t pts)
{
    timebar->setText(FormatPlayTime(pts) + totalText_);
    if (FTrackChanging)
        return;
    const int position = SeekBarPosition(TrackBar1->maximum(), pts, FDuration);
    if (position >= 0)
        TrackBar1->setValue(position);
}

void TForm4::FFPlayerOpenFailed()
{
    const ClipRequests::Request failed = requests_.Finish();
    if (!stoppingOpen_) { // stopped by the window: nothing failed
        ShowClip(failed, servedPath_);
        ShowUnplayable();
    }
    pendingSeek_ = -1;
    if (requests_.Waiting())
        QTimer::singleShot(0, this, &TForm4::OpenWaitingRequest);
}

void TForm4::ShowUnplayable()
{
    // Say why in the panel, in the user's words (the engine's own text in the tooltip), and
    // leave no time of the previous video on the bar.
    const QFileInfo file(videofilename);
    const QString reason = UnplayableReason(file.exists(), file.exists() ? file.size() : -1, FFPlayer.LastErrMsg());
    Panel1->Clear();
    Panel1->SetPlaceholder(QStringLiteral("无法播放 %1\n%2").arg(file.fileName(), reason));
    Panel1->setToolTip(FFPlayer.LastErrMsg());
    FDuration = 0;
    totalText_ = QStringLiteral("/00:00:00");
    timebar->setText(QStringLiteral("00:00:00/00:00:00"));
    TrackBar1->setRange(0, 0);
}

void TForm4::FFPlayerState(TPlayState state)
{
    if (state == TPlayState::psPlay) {
        startthread();
        if (pendingSeek_ >= 0) { // a click on the seek bar while stopped: play from there
            FFPlayer.Seek(pendingSeek_, {}, false);
            pendingSeek_ = -1;
        }
    }
    // The pause button says what a press does now (at the end: play again).
    if (state == TPlayState::psPause || state == TPlayState::psStop || state == TPlayState::psEnd)
        Button5->setText(QStringLiteral("播放"));
    else if (state == TPlayState::psPlay || state == TPlayState::psResume)
        Button5->setText(QStringLiteral("暂停"));
}

bool TForm4::Stopped() const
{
    return FFPlayer.PlayState() == TPlayState::psStop && OpenSettled();
}

void TForm4::FFPlayerVideoHook(QImage& bitmap, int64_t pts, bool& update)
{
    update = true;
    DrawTelemetry(bitmap, SrtEntries, pts);
}

// ---- seek bar --------------------------------------------------------------------------------

void TForm4::TrackBar1MouseDown(int x)
{
    FMousePosition = x;
}

void TForm4::TrackBar1Click()
{
    const int64_t target = SeekTargetFromClick(FDuration, FMousePosition, TrackBar1->width());
    if (Stopped() && !videofilename.isEmpty()) {
        // Stopped: the video opens again and plays from the place clicked.
        pendingSeek_ = target;
        InitFile(itemindex);
        return;
    }
    FTrackChanging = true;
    FFPlayer.Seek(target, {}, false);
    FTrackChanging = false;
}

void TForm4::TrackBar1MouseMove(int x)
{
    movetimebar->move(x - movetimebar->width() / 2, Panel1->height() - movetimebar->height());
    movetimebar->setText(HoverTimeText(x, TrackBar1->width(), FDuration));
    movetimebar->raise();
}

// ---- buttons ---------------------------------------------------------------------------------

void TForm4::Step(int direction)
{
    if (askingToDelete_)
        return;
    // From the row last asked for, so that two quick clicks go two rows on; the list selects
    // the row once it is shown.
    const int from = requests_.StepOrigin(itemindex);
    const int next = from >= 0 && catalogue.nextRow ? catalogue.nextRow(kVideoExtensions, from, direction) : -1;
    if (next == -1)
        return;
    requests_.Ask(next, true);
    OpenWaitingRequest();
}

void TForm4::SPbackClick()
{
    Step(0);
}

void TForm4::zhankaiClick()
{
    Step(1);
}

void TForm4::Button1Click()
{
    // The video and row confirmed are the ones shown now, whatever happens during the waits.
    const QString path = videofilename;
    const int row = itemindex;
    if (row < 0 || path.isEmpty() || !OpenSettled())
        return; // nothing shown, or another clip is on its way
    askingToDelete_ = true;
    const bool confirmed = MsgBox(QStringLiteral("确定删除 %1?").arg(QFileInfo(path).fileName()), kMsgQuestion);
    askingToDelete_ = false;
    if (!confirmed) {
        OpenWaitingRequest();
        return;
    }
    // Rows asked for during the question are numbered before the removal: they are dropped.
    requests_.DropWaiting();
    StopPlayback();
    // The video with its flight log, as the list's delete does: a log left behind would never
    // be listed or exported again. A failure is ignored.
    CompanionFinder().RemoveWithCompanions(path);
    // The next video at or after the deleted row's place (wrapping round), so that neither a
    // photo row nor the end of the list is opened in the player.
    const int next = catalogue.RemoveAndFindNext(kVideoExtensions, row);
    if (next >= 0) {
        requests_.Ask(next, true);
        OpenWaitingRequest();
        return;
    }
    ShowClip({}, QString()); // a second 删除 has nothing to remove
    Panel1->Clear();
    Panel1->SetPlaceholder(QStringLiteral("列表中已没有视频"));
}

void TForm4::Button5Click()
{
    if (Stopped() && !videofilename.isEmpty()) {
        InitFile(itemindex); // after a stop: again from the start
    } else if (FFPlayer.PlayState() == TPlayState::psEnd && OpenSettled()) {
        FFPlayer.Seek(0); // at the end: again from the start
        if (FFPlayer.Paused())
            FFPlayer.Resume();
        Button5->setText(QStringLiteral("暂停"));
    } else {
        FFPlayer.TogglePause();
    }
}

void TForm4::Button4Click()
{
    FFPlayer.StepToNextFrame();
}

void TForm4::Button6Click()
{
    requests_.DropWaiting();
    StopPlayback();
}

void TForm4::ZimuckClick()
{
    FFPlayer.VideoHook = Zimuck->isChecked();
}

// ---- capture ---------------------------------------------------------------------------------

bool TForm4::Capturing() const
{
    return !Button7->isEnabled();
}

void TForm4::Button7Click()
{
    if (!OpenSettled() || Capturing())
        return; // the picture on screen belongs to no clip yet
    // Without a flight log for this second there is nothing to name and tag the picture with:
    // say so before asking for a folder (once the log has been read).
    const bool logRead = loader && loader->vfile == videofilename && loader->Finished();
    if (logRead && !PlanCapture(SrtEntries, FFPlayer.CurrentPTS(), QStringLiteral("."))) {
        ShowCaptureNotice(kNoFlightLogNotice);
        return;
    }
    QString folder = captureFolder ? captureFolder() : QString();
    if (folder.trimmed().isEmpty()) {
        // Without a folder the capture would land in the file system's root: ask for one, with
        // the picture held still, so that the one saved is the one on screen at the click.
        const bool wasPlaying = !FFPlayer.Paused()
                                && (FFPlayer.PlayState() == TPlayState::psPlay || FFPlayer.PlayState() == TPlayState::psResume);
        if (wasPlaying)
            FFPlayer.Pause();
        folder = ChooseFolder(this, QStringLiteral("请选择截图保存的文件夹"), QString());
        if (folder.isEmpty()) {
            if (wasPlaying)
                FFPlayer.Resume();
            return;
        }
        if (setCaptureFolder)
            setCaptureFolder(folder);
        resumeAfterCapture_ = wasPlaying;
    }
    Button7->setEnabled(false);
    const QPointer<QObject> self(this);
    capture_ = BackgroundTask::Start([this, self, folder](BackgroundTask&) { RunCapture(self, folder); });
}

void TForm4::RunCapture(const QPointer<QObject>& self, const QString& folder)
{
    int64_t pts = kNoPts;
    const QImage frame = FFPlayer.CurrentFrame(pts);
    if (pts == kNoPts || pts < 0)
        pts = FFPlayer.CurrentPTS();
    // What the notice says: where the frame went, or why there is none.
    QString notice;
    const std::optional<CapturePlan> plan = frame.isNull() ? std::nullopt : PlanCapture(SrtEntries, pts, folder);
    if (frame.isNull())
        notice = QStringLiteral("截图失败：没有可保存的画面，请先播放视频");
    else if (!plan)
        notice = kNoFlightLogNotice;
    else if (SaveFrameJpeg(frame, plan->path, plan->entry.GPSLAt, plan->recorded, plan->entry.GPSLNg))
        notice = plan->path + QStringLiteral("保存成功!");
    else
        notice = QStringLiteral("截图失败：无法写入 %1").arg(plan->path);
    UiHandover::Post(self, [this, notice] {
        ShowCaptureNotice(notice);
        Button7->setEnabled(true); // however the capture ended
        if (resumeAfterCapture_) {
            resumeAfterCapture_ = false;
            FFPlayer.Resume();
        }
        OpenWaitingRequest(); // a clip asked for during the capture
    });
}

void TForm4::ShowCaptureNotice(const QString& text)
{
    VideoShow->setText(text);
    VideoShow->adjustSize();
    VideoShow->resize(VideoShow->width() + 16, VideoShow->height() + 8);
    VideoShow->move(int(Panel1->width() / 2.0 - VideoShow->width() / 2.0),
                    int(Panel1->height() / 2.0 - VideoShow->height() / 2.0));
    VideoShow->show();
    VideoShow->raise();
    hidevideshow->start();
}

// ---- full screen -----------------------------------------------------------------------------

void TForm4::SetFullScreen(bool on)
{
    if (on == fullScreen_)
        return;
    fullScreen_ = on;
    switchingScreen_ = true; // a change of window flags hides the window for a moment
    if (on) {
        normalBounds_ = geometry();
        const QScreen* nearest = screen() ? screen() : QGuiApplication::primaryScreen();
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setGeometry(nearest ? nearest->geometry() : normalBounds_);
    } else {
        setWindowFlags(Qt::Window);
        setGeometry(normalBounds_);
    }
    show();
    switchingScreen_ = false;
}

void TForm4::Panel1DblClick()
{
    SetFullScreen(!fullScreen_);
    if (fullScreen_)
        Waittime->start();
    else
        Waittime->stop();
    SPpanelbutton->show();
    // The player follows the new output area once the window has taken it.
    QTimer::singleShot(10, this, [this] { FFPlayer.UpdateScreenPosition(); });
}

void TForm4::Panel1MouseMove(int y)
{
    if (!fullScreen_)
        return;
    if (SPpanelbutton->isHidden()) {
        if (y > Panel1->height() - kBarHeight)
            SPpanelbutton->show();
    } else if (!Waittime->isActive() && y < Panel1->height() - 10) {
        Waittime->start();
    }
}

void TForm4::WaittimeTimer()
{
    Waittime->stop();
    SPpanelbutton->hide();
}

// ---- events ----------------------------------------------------------------------------------

bool TForm4::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Panel1) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            Panel1DblClick();
            return true;
        }
        if (event->type() == QEvent::MouseMove)
            Panel1MouseMove(int(static_cast<QMouseEvent*>(event)->position().y()));
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) {
            if (fullScreen_)
                Panel1DblClick(); // Escape leaves full screen
            else
                close(); // and closes the window, as in the photo window
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        // A key a child ignores travels on to its parents: act once per key press.
        auto* widget = qobject_cast<QWidget*>(watched);
        const bool travelling = event == lastSpaceKey_ && lastSpaceReceiver_ && widget && widget->isAncestorOf(lastSpaceReceiver_);
        if (widget && widget->window() == this && !travelling) {
            Button5Click(); // not consumed: the focused control sees the key too
        }
        if (widget && widget->window() == this) {
            lastSpaceKey_ = event;
            lastSpaceReceiver_ = widget;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm4::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The frame's size is known only once the window system has framed the window, which takes
    // longer on a busy machine: look again until it is (or the window system draws none).
    if (!fullScreen_ && !switchingScreen_)
        QTimer::singleShot(kFrameSettleMs, this, [this] { KeepFrameOnScreen(kFrameLooks); });
}

void TForm4::KeepFrameOnScreen(int looksLeft)
{
    const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where || fullScreen_ || !isVisible())
        return;
    const QRect frame = windowHandle() ? windowHandle()->frameGeometry() : frameGeometry();
    // Framed: the frame holds the window with its borders. Before that the frame is the window
    // itself, or, while the window system has not yet configured it, a 1x1 placeholder.
    const bool framed = frame.contains(geometry()) && frame.size() != size();
    if (!framed && looksLeft > 1) {
        QTimer::singleShot(kFrameSettleMs, this, [this, looksLeft] { KeepFrameOnScreen(looksLeft - 1); });
        return;
    }
    if (!framed && frame != geometry())
        return; // still not configured: nothing true to go by
    const QPoint corner = FrameCornerInside(frame, where->availableGeometry());
    if (corner == frame.topLeft())
        return;
    // The window's own place, not its frame's: a frame's place goes to the window manager as a
    // request it may read as the window's own (seen with openbox), leaving the title bar above
    // the screen.
    const QPoint border = geometry().topLeft() - frame.topLeft();
    if (windowHandle())
        windowHandle()->setPosition(corner + border);
    else
        move(corner);
}

void TForm4::hideEvent(QHideEvent* event)
{
    // Closed or hidden by the program: playback stops and the next video opens in a normal
    // window. A minimise or a change of virtual desktop (a hide by the window system) changes
    // nothing: the video is where it was when the window comes back.
    if (!switchingScreen_ && !event->spontaneous()) {
        requests_.DropWaiting();
        StopPlayback();
        if (fullScreen_) {
            fullScreen_ = false;
            switchingScreen_ = true;
            setWindowFlags(Qt::Window); // stays hidden
            setGeometry(normalBounds_);
            switchingScreen_ = false;
            Waittime->stop();
            SPpanelbutton->show();
        }
    }
    QWidget::hideEvent(event);
}
