#include "playback/Player.h"

#include "playback/DisplayRect.h"
#include "playback/MediaLibraries.h"
#include "playback/MediaState.h"
#include "services/UiHandover.h"

#include <QCoreApplication>
#include <chrono>
#include <cmath>

namespace {
// A seek or pause waits this long at most for the picture at the new place.
constexpr int kSeekWaitMs = 10000;
constexpr int kPauseWaitMs = 250;
} // namespace

TCustomPlayer::TCustomPlayer() = default;

TCustomPlayer::~TCustomPlayer()
{
    Stop(true);
    EndEventThread();
    ReapFinishedOpen();
    if (failThread.joinable())
        failThread.join();
}

// ---- libraries -------------------------------------------------------------------------------

bool TCustomPlayer::LoadAVLib(const QString& path, bool autoLoadSDL)
{
    TFFLoader& loader = TFFLoader::Instance();
    loader.LibraryPath = path;
    if (!loader.Load(kEngineLibraries)) {
        SetLastError(loader.LastErrMsg);
        FFLogger().Log(this, TLogLevel::llError, loader.LastErrMsg);
        return false;
    }
    if (autoLoadSDL) {
        autoLoadedSDL = true;
        if (!LoadSDLLib(path, QStringLiteral("libSDL2-2.0.so.0")))
            return false;
    }
    // Time stretching is optional: without it playback runs at normal speed only.
    if (!loader.Load({TLibrary::libSoundTouch}))
        FFLogger().Log(this, TLogLevel::llWarning, loader.LastErrMsg);
    return true;
}

bool TCustomPlayer::AVLibLoaded() const
{
    return TFFLoader::Instance().Loaded(kEngineLibraries) && (!autoLoadedSDL || SDLLibLoaded());
}

void TCustomPlayer::UnloadAVLib()
{
    Stop(true);
    TFFLoader::Instance().Unload(kEngineLibraries);
    TFFLoader::Instance().Unload({TLibrary::libSoundTouch});
    if (autoLoadedSDL)
        TSDLLoader::Instance().Unload();
}

bool TCustomPlayer::LoadSDLLib(const QString& path, const QString& file)
{
    TSDLLoader& sdl = TSDLLoader::Instance();
    if (!sdl.Load(path, file)) {
        SetLastError(sdl.LastErrMsg);
        FFLogger().Log(this, TLogLevel::llError, sdl.LastErrMsg);
        return false;
    }
    return true;
}

bool TCustomPlayer::SDLLibLoaded() const
{
    return TSDLLoader::Instance().Loaded();
}

// ---- opening and stopping --------------------------------------------------------------------

void TCustomPlayer::Refuse(const QString& message)
{
    SetLastError(message);
    FFLogger().Log(this, TLogLevel::llError, message);
}

bool TCustomPlayer::TryOpen(const QString& address, VideoSink* screen, bool paused)
{
    if (openInProgress) {
        Refuse(QStringLiteral("Current trying open is not completed."));
        return false;
    }
    if (!TFFLoader::Instance().Loaded(kEngineLibraries)) {
        Refuse(QStringLiteral("FFmpeg libraries not loaded."));
        return false;
    }
    if (!SDLLibLoaded()) {
        Refuse(QStringLiteral("SDL not loaded."));
        return false;
    }
    Stop(true);
    EndEventThread();
    events.Clear();
    if (address.toUtf8().size() >= 2048) {
        Refuse(QStringLiteral("File name too long: %1").arg(address.left(64)));
        return false;
    }

    currentPTS = -1;
    currentPos = -1;
    frameWidth = 0;
    frameHeight = 0;
    openInProgress = true;
    stopped = false;
    MediaState* started = nullptr;
    {
        std::lock_guard guard(stateLock);
        fileName = address;
        screenHandle = screen;
        lastError.clear();
        media = std::make_unique<MediaState>(this, address, screen, paused);
        started = media.get();
    }
    if (screen)
        screen->SetResizeListener([this] { UpdateScreenPosition(); });
    started->StartReader();
    return true;
}

bool TCustomPlayer::Open(const QString& address, VideoSink* screen, bool paused)
{
    if (!TryOpen(address, screen, paused))
        return false;
    WaitOnUi([this] { return !openInProgress; });
    MediaState* m = Media();
    return m && m->OpenResult() == 1;
}

void TCustomPlayer::Stop(bool waitForStop)
{
    if (MediaState* m = Media()) {
        if (openInProgress)
            m->AbortOpen();
        m->RequestQuit();
    }
    if (!waitForStop)
        return;
    WaitOnUi([this] { return stopped.load(); });
    ReapFinishedOpen();
}

void TCustomPlayer::ReportOpenFailure()
{
    // Runs on the reader thread, which this thread joins before telling the host.
    std::lock_guard guard(stateLock);
    if (failThread.joinable())
        failThread.detach(); // cannot happen: the last one was joined before this open began
    MediaState* failed = media.get();
    failThread = std::thread([this, failed] {
        failed->JoinReader();
        if (OnOpenFailed)
            RunHostEvent([this] { OnOpenFailed(this); });
        openInProgress = false;
        stopped = true;
        UiHandover::WakeWaiter();
    });
}

void TCustomPlayer::ReapFinishedOpen()
{
    if (!stopped)
        return;
    if (failThread.joinable())
        failThread.join();
    std::unique_ptr<MediaState> finished;
    {
        std::lock_guard guard(stateLock);
        finished = std::move(media);
    }
    if (screenHandle)
        screenHandle->SetResizeListener({});
    finished.reset(); // joins what is left of its threads
}

MediaState* TCustomPlayer::Media() const
{
    std::lock_guard guard(stateLock);
    return media.get();
}

bool TCustomPlayer::WaitOnUi(const std::function<bool()>& done, int timeoutMs)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    auto finished = [&] { return done() || (timeoutMs >= 0 && steady_clock::now() >= deadline); };
    if (QCoreApplication::instance() && UiHandover::OnUiThread()) {
        UiHandover::WaitServing(finished);
    } else {
        while (!finished())
            std::this_thread::sleep_for(milliseconds(2));
    }
    return done();
}

// ---- events ----------------------------------------------------------------------------------

void TCustomPlayer::RunHostEvent(const std::function<void()>& call)
{
    try {
        if (TriggerEventInMainThread && QCoreApplication::instance())
            UiHandover::RunOnUiThread(call);
        else
            call();
    } catch (const std::exception& error) {
        FFLogger().Log(this, TLogLevel::llError, QStringLiteral("Error in event handler: %1").arg(QString::fromUtf8(error.what())));
    }
}

void TCustomPlayer::SetPlayState(TPlayState state)
{
    playState = state;
    if (OnState)
        PostEvent(PlayEventQueue::Kind::State, int64_t(state));
    else if (state == TPlayState::psStop)
        PostEvent(PlayEventQueue::Kind::Quit, 0);
}

void TCustomPlayer::PostEvent(PlayEventQueue::Kind kind, int64_t value)
{
    events.Post(kind, value);
}

void TCustomPlayer::StartEventThread()
{
    eventThreadEnd = false;
    eventThreadRunning = true;
    eventThread = std::thread([this] { RunEventThread(); });
}

void TCustomPlayer::RunEventThread()
{
    bool stateDelivered = false;
    while (!eventThreadEnd) {
        const auto entry = events.Take(100);
        if (!entry)
            continue;
        if (entry->kind == PlayEventQueue::Kind::Position) {
            if (OnPosition)
                RunHostEvent([&] { OnPosition(this, entry->value); });
        } else if (entry->kind == PlayEventQueue::Kind::State) {
            stateDelivered = true;
            const auto state = TPlayState(entry->value);
            if (OnState)
                RunHostEvent([&] { OnState(this, state); });
            if (state == TPlayState::psStop)
                break;
        } else {
            break;
        }
    }
    if (!stateDelivered && OnState)
        RunHostEvent([this] { OnState(this, TPlayState::psStop); });
    eventThreadRunning = false;
    UiHandover::WakeWaiter();
}

void TCustomPlayer::EndEventThread()
{
    if (!eventThread.joinable())
        return;
    eventThreadEnd = true;
    WaitOnUi([this] { return !eventThreadRunning; });
    eventThread.join();
}

// ---- transport -------------------------------------------------------------------------------

void TCustomPlayer::Pause()
{
    if (!Paused())
        TogglePause();
}

void TCustomPlayer::Resume()
{
    if (Paused())
        TogglePause();
}

void TCustomPlayer::TogglePause()
{
    MediaState* m = Media();
    if (!m || !m->PlayThreadLooping())
        return;
    WaitOnUi([m] { return m->SeekDone(); }, kPauseWaitMs);
    const bool pausing = !m->IsPaused();
    if (pausing && m->HasVideo())
        WaitOnUi([m] { return m->PictureSinceSeek(); }, kPauseWaitMs);
    {
        std::lock_guard guard(dataLock);
        m->TogglePause();
    }
    SetPlayState(pausing ? TPlayState::psPause : TPlayState::psResume);
}

void TCustomPlayer::StepToNextFrame()
{
    MediaState* m = Media();
    if (!m || !m->PlayThreadLooping())
        return;
    bool wasStepping = false;
    {
        std::lock_guard guard(dataLock);
        wasStepping = m->IsStepping();
        m->StepToNextFrame(true);
    }
    if (!wasStepping)
        SetPlayState(TPlayState::psStep);
}

void TCustomPlayer::Seek(int64_t pts, TSeekFlags flags, bool waitForSeekEnd)
{
    MediaState* m = Media();
    if (!m || m->OpenResult() != 1 || pts == kNoPts)
        return;
    int64_t target = pts;
    if (!flags.Has(TSeekFlag::sfByte)) {
        target += m->StartTimeUs();
        if (pts == 0) // half a frame early, so the first picture is reached
            target -= std::llround(m->FrameDuration() * 1e6 / 2);
    }
    if (!m->RequestSeek(target, 0, flags.bits))
        return;
    if (!waitForSeekEnd)
        return;
    WaitOnUi([m] { return m->SeekDone(); }, kSeekWaitMs);
    if (m->HasVideo())
        WaitOnUi([m] { return m->PictureSinceSeek(); }, kSeekWaitMs);
}

void TCustomPlayer::SeekRelative(double delta, TSeekFlags flags, bool waitForSeekEnd)
{
    MediaState* m = Media();
    if (!m || m->OpenResult() != 1)
        return;
    int64_t target = 0, relative = 0;
    if (flags.Has(TSeekFlag::sfByte)) {
        const int64_t base = std::max<int64_t>(CurrentPos(), 0);
        const double bytesPerUnit = 180000.0;
        relative = std::llround(delta * bytesPerUnit);
        target = base + relative;
    } else {
        double base = m->HasVideo() ? m->VideoClock() : m->MasterClockValue();
        if (std::isnan(base))
            base = (CurrentPTS() < 0 ? 0 : CurrentPTS() + m->StartTimeUs()) / 1e6;
        target = std::llround((base + delta) * 1e6);
        relative = std::llround(delta * 1e6);
    }
    if (!m->RequestSeek(target, relative, flags.bits))
        return;
    if (!waitForSeekEnd)
        return;
    WaitOnUi([m] { return m->SeekDone(); }, kSeekWaitMs);
    if (m->HasVideo())
        WaitOnUi([m] { return m->PictureSinceSeek(); }, kSeekWaitMs);
}

void TCustomPlayer::FlushQueue()
{
    if (MediaState* m = Media())
        m->RequestFlush();
}

// ---- pictures --------------------------------------------------------------------------------

QImage TCustomPlayer::CurrentFrame()
{
    int64_t pts = 0;
    return CurrentFrame(pts);
}

QImage TCustomPlayer::CurrentFrame(int64_t& pts)
{
    std::lock_guard guard(stateLock); // keeps the media state alive while its picture is read
    if (!media) {
        pts = -1;
        return {};
    }
    return media->ShownPicture(pts);
}

void TCustomPlayer::UpdateScreenPosition()
{
    if (MediaState* m = Media())
        m->RequestRefresh();
}

QRect TCustomPlayer::DisplayToActualRect(const QRect& displayRect) const
{
    std::lock_guard guard(stateLock);
    if (!media)
        return {};
    return DisplayToActual(displayRect, media->DisplayRect(), FrameWidth(), FrameHeight());
}

void TCustomPlayer::SetAspectRatio(float ratio)
{
    aspectRatio = ratio;
    UpdateScreenPosition();
}

void TCustomPlayer::SetBackColor(const QColor& color)
{
    {
        std::lock_guard guard(colorLock);
        backColor = color;
    }
    UpdateScreenPosition();
}

QColor TCustomPlayer::BackColor() const
{
    std::lock_guard guard(colorLock);
    return backColor;
}

// ---- state -----------------------------------------------------------------------------------

void TCustomPlayer::SetLastError(const QString& message)
{
    std::lock_guard guard(stateLock);
    lastError = message;
}

QString TCustomPlayer::LastErrMsg() const
{
    std::lock_guard guard(stateLock);
    return lastError;
}

QString TCustomPlayer::FileName() const
{
    std::lock_guard guard(stateLock);
    return fileName;
}

bool TCustomPlayer::Paused() const
{
    MediaState* m = Media();
    return m && m->IsPaused();
}

bool TCustomPlayer::Seeking() const
{
    MediaState* m = Media();
    return m && m->IsSeeking();
}

int TCustomPlayer::VideoStreamIndex() const
{
    MediaState* m = Media();
    return m && m->HasVideo() ? m->VideoIndex() : -1;
}

int TCustomPlayer::AudioStreamIndex() const
{
    MediaState* m = Media();
    return m && m->HasAudio() ? m->AudioIndex() : -1;
}

int64_t TCustomPlayer::FramesShown() const
{
    MediaState* m = Media();
    return m ? m->ShownCount() : 0;
}

int64_t TCustomPlayer::FramesDropped() const
{
    MediaState* m = Media();
    return m ? m->DropCount() : 0;
}

double TCustomPlayer::AudioVideoDrift() const
{
    MediaState* m = Media();
    return m ? m->AudioClock() - m->VideoClock() : NAN;
}
