#include "playback/Player.h"

#include "core/UiHandover.h"
#include "playback/DisplayRect.h"
#include "playback/MediaLibraries.h"
#include "playback/MediaState.h"

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
    // From here on no handler may start an open: the waits below serve the host's handlers,
    // and an open started inside one would outlive the player.
    closing = true;
    Stop(true);
    EndEventThread();
    // Opens and event threads retired inside handlers end on their own; wait for them before going.
    WaitOnUi([this] { return retired.AllFinished() && !events.SetAsideRunning(); });
    ReapFinishedOpen();
    EndEventThread();
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

namespace {
// Host handlers running on this thread, and those among them whose raising thread the engine's
// stop waits for: inside such a handler a stop cannot wait without waiting for itself.
thread_local int hostEvents = 0;
thread_local int blockingHostEvents = 0;

struct HostEventScope {
    bool blocking;
    explicit HostEventScope(bool blocks) : blocking(blocks)
    {
        ++hostEvents;
        blockingHostEvents += blocking;
    }
    ~HostEventScope()
    {
        --hostEvents;
        blockingHostEvents -= blocking;
    }
};
} // namespace

void TCustomPlayer::Refuse(const QString& message)
{
    SetLastError(message);
    FFLogger().Log(this, TLogLevel::llError, message);
}

bool TCustomPlayer::TryOpen(const QString& address, VideoSink* screen, bool paused)
{
    if (closing) {
        Refuse(QStringLiteral("The player is closing."));
        return false;
    }
    if (const auto m = Media(); m && m->Opening()) {
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
    if (address.toUtf8().size() >= 2048) {
        Refuse(QStringLiteral("File name too long: %1").arg(address.left(64)));
        return false;
    }
    Stop(true);
    EndEventThread();
    events.Clear();

    currentPTS = -1;
    currentPos = -1;
    frameWidth = 0;
    frameHeight = 0;
    std::shared_ptr<MediaState> started =
        std::make_shared<MediaState>(host, *this, address, screen, paused, Options());
    std::shared_ptr<MediaState> previous;
    {
        std::lock_guard guard(stateLock);
        previous = std::move(media);
        fileName = address;
        screenHandle = screen;
        lastError = QString();
        media = started;
    }
    if (previous) {
        // Still running only when asked to stop from inside one of its own handlers: it ends
        // once the handler returns, and is joined later.
        previous->RequestQuit();
        retired.Add(std::move(previous));
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
    const auto m = Media();
    if (blockingHostEvents > 0)
        return true; // the open cannot complete while this handler runs
    WaitOnUi([m] { return !m->Opening(); });
    return m->OpenResult() == 1;
}

void TCustomPlayer::Stop(bool waitForStop)
{
    const auto m = Media();
    if (m) {
        if (m->Opening())
            m->AbortOpen();
        m->RequestQuit();
    }
    // Inside a handler of the reader or the fail thread, those threads wait for this one: the
    // stop completes once the handler has returned.
    if (!waitForStop || blockingHostEvents > 0)
        return;
    if (m)
        WaitOnUi([m] { return m->Finished(); });
    ReapFinishedOpen();
    // The host hears the states still on their way before the stop returns, and nothing of this
    // open afterwards: a window may go right after its stop.
    EndEventThread();
}

void TCustomPlayer::ReapFinishedOpen()
{
    std::vector<std::shared_ptr<MediaState>> finished = retired.TakeFinished();
    {
        std::lock_guard guard(stateLock);
        if (media && media->Finished()) {
            finished.push_back(std::move(media));
            media.reset();
        }
        if (!media && !finished.empty() && screenHandle) {
            screenHandle->SetResizeListener({});
            screenHandle = nullptr;
        }
    }
    finished.clear(); // joins what is left of their threads, outside the lock
}

std::shared_ptr<MediaState> TCustomPlayer::Media() const
{
    std::lock_guard guard(stateLock);
    return media;
}

bool TCustomPlayer::WaitOnUi(const std::function<bool()>& done, int timeoutMs)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    auto over = [&] { return done() || (timeoutMs >= 0 && steady_clock::now() >= deadline); };
    if (QCoreApplication::instance() && UiHandover::OnUiThread()) {
        UiHandover::WaitServing(over);
    } else {
        while (!over())
            std::this_thread::sleep_for(milliseconds(2));
    }
    return done();
}

// ---- events ----------------------------------------------------------------------------------

void TCustomPlayer::RunHostEvent(const std::function<void()>& call, HostEventKind kind)
{
    const auto scoped = [&] {
        HostEventScope scope(kind == HostEventKind::BlocksStop);
        call();
    };
    try {
        if (TriggerEventInMainThread && QCoreApplication::instance())
            UiHandover::RunOnUiThread(scoped);
        else
            scoped();
    } catch (const std::exception& error) {
        FFLogger().Log(this, TLogLevel::llError, QStringLiteral("Error in event handler: %1").arg(QString::fromUtf8(error.what())));
    }
}

void TCustomPlayer::SetPlayState(TPlayState state)
{
    playState = state;
    events.Post(PlayEventQueue::Kind::State, int64_t(state));
}

void TCustomPlayer::OpenReady(TPositionEvent onPosition, TPlayStateEvent onState)
{
    EventDelivery::Handlers handlers;
    handlers.position = [this, onPosition = std::move(onPosition)](int64_t pts) {
        if (onPosition)
            RunHostEvent([&] { onPosition(this, pts); }, HostEventKind::EventThread);
    };
    handlers.state = [this, onState = std::move(onState)](TPlayState state) {
        if (onState)
            RunHostEvent([&] { onState(this, state); }, HostEventKind::EventThread);
    };
    events.Start(std::move(handlers));
}

void TCustomPlayer::EndEventThread()
{
    // Called from a handler, the event thread may be the caller itself.
    events.End(hostEvents > 0, [this](const std::function<bool()>& done) { WaitOnUi(done); });
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
    const auto m = Media();
    if (!m || !m->PlayThreadLooping())
        return;
    WaitOnUi([m] { return m->SeekDone(); }, kPauseWaitMs);
    const bool pausing = !m->IsPaused();
    if (pausing && m->HasVideo())
        WaitOnUi([m] { return m->PictureSinceSeek(); }, kPauseWaitMs);
    m->TogglePause();
    SetPlayState(pausing ? TPlayState::psPause : TPlayState::psResume);
}

void TCustomPlayer::StepToNextFrame()
{
    const auto m = Media();
    if (!m || !m->PlayThreadLooping())
        return;
    bool wasStepping = false;
    if (!m->StepToNextFrame(wasStepping))
        return;
    if (!wasStepping)
        SetPlayState(TPlayState::psStep);
}

void TCustomPlayer::StartSeek(const std::shared_ptr<MediaState>& m, int64_t target, int64_t relative, TSeekFlags flags,
                              bool waitForSeekEnd)
{
    if (!m->RequestSeek({target, relative, flags.bits}) || !waitForSeekEnd)
        return; // another seek is pending, or the caller does not wait
    WaitOnUi([m] { return m->SeekDone(); }, kSeekWaitMs);
    if (m->HasVideo())
        WaitOnUi([m] { return m->PictureSinceSeek(); }, kSeekWaitMs);
}

void TCustomPlayer::Seek(int64_t pts, TSeekFlags flags, bool waitForSeekEnd)
{
    const auto m = Media();
    if (!m || m->OpenResult() != 1 || pts == kNoPts)
        return;
    int64_t target = pts;
    if (!flags.Has(TSeekFlag::sfByte)) {
        target += m->StartTimeUs();
        if (pts == 0) // half a frame early, so the first picture is reached
            target -= std::llround(m->FrameDuration() * 1e6 / 2);
    }
    StartSeek(m, target, 0, flags, waitForSeekEnd);
}

void TCustomPlayer::SeekRelative(double delta, TSeekFlags flags, bool waitForSeekEnd)
{
    const auto m = Media();
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
    StartSeek(m, target, relative, flags, waitForSeekEnd);
}

void TCustomPlayer::FlushQueue()
{
    if (const auto m = Media())
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
    const auto m = Media();
    if (!m || m->Finished()) {
        pts = -1;
        return {};
    }
    return m->ShownPicture(pts);
}

void TCustomPlayer::UpdateScreenPosition()
{
    if (const auto m = Media())
        m->RequestRefresh();
}

QRect TCustomPlayer::DisplayToActualRect(const QRect& displayRect) const
{
    const auto m = Media();
    if (!m)
        return {};
    return DisplayToActual(displayRect, m->DisplayRect(), FrameWidth(), FrameHeight());
}

void TCustomPlayer::SetAspectRatio(float ratio)
{
    StoreAspectRatio(ratio);
    UpdateScreenPosition();
}

void TCustomPlayer::SetBackColor(const QColor& color)
{
    StoreBackColor(color);
    UpdateScreenPosition();
}

void TCustomPlayer::PublishFrame(int width, int height, int64_t bytePos)
{
    frameWidth.store(width, std::memory_order_relaxed);
    frameHeight.store(height, std::memory_order_relaxed);
    if (bytePos >= 0)
        currentPos.store(bytePos, std::memory_order_relaxed);
}

// ---- state -----------------------------------------------------------------------------------

void TCustomPlayer::SetLastError(const QString& message)
{
    lastError = message;
}

QString TCustomPlayer::LastErrMsg() const
{
    return lastError;
}

QString TCustomPlayer::FileName() const
{
    std::lock_guard guard(stateLock);
    return fileName;
}

bool TCustomPlayer::Paused() const
{
    const auto m = Media();
    return m && m->IsPaused();
}

bool TCustomPlayer::Opening() const
{
    const auto m = Media();
    return m && m->Opening();
}

bool TCustomPlayer::Seeking() const
{
    const auto m = Media();
    return m && m->IsSeeking();
}

int TCustomPlayer::VideoStreamIndex() const
{
    const auto m = Media();
    return m && m->HasVideo() ? m->VideoIndex() : -1;
}

int TCustomPlayer::AudioStreamIndex() const
{
    const auto m = Media();
    return m && m->HasAudio() ? m->AudioIndex() : -1;
}

int64_t TCustomPlayer::FramesShown() const
{
    const auto m = Media();
    return m ? m->ShownCount() : 0;
}

int64_t TCustomPlayer::FramesDropped() const
{
    const auto m = Media();
    return m ? m->DropCount() : 0;
}

double TCustomPlayer::AudioVideoDrift() const
{
    const auto m = Media();
    return m ? m->AudioClock() - m->VideoClock() : NAN;
}
