#include "playback/Player.h"

#include "playback/DisplayRect.h"
#include "playback/MediaLibraries.h"
#include "playback/MediaState.h"
#include "core/UiHandover.h"

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
    // Opens retired inside handlers end on their own; wait for them before going.
    WaitOnUi([this] {
        std::lock_guard guard(stateLock);
        for (const auto& m : retiredMedia)
            if (!m->Finished())
                return false;
        for (const auto& t : retiredEventThreads)
            if (*t.running)
                return false;
        return true;
    });
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

OpenSettings TCustomPlayer::SnapshotSettings() const
{
    OpenSettings s;
    s.videoFilters = VideoFilters;
    s.audioFilters = AudioFilters;
    s.onVideoHook = OnVideoHook;
    s.onDrawOverlay = OnDrawOverlay;
    s.onFrameHook = OnFrameHook;
    s.onAudioHook = OnAudioHook;
    s.frameHook = FrameHook;
    s.audioHook = AudioHook;
    s.disableAudio = DisableAudio;
    s.disableVideo = DisableVideo;
    s.disableDisplay = DisableDisplay;
    s.genpts = genpts;
    s.framedrop = framedrop;
    s.decoderReorderPts = decoder_reorder_pts;
    s.infiniteBuffer = infinite_buffer;
    s.readTimeoutMs = ReadTimeout;
    s.positionInterval = PositionInterval;
    s.playbackSpeed = PlaybackSpeed;
    s.syncType = SyncType;
    return s;
}

bool TCustomPlayer::TryOpen(const QString& address, VideoSink* screen, bool paused)
{
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
    std::shared_ptr<MediaState> started = std::make_shared<MediaState>(this, address, screen, paused, SnapshotSettings());
    std::shared_ptr<MediaState> previous;
    {
        std::lock_guard guard(stateLock);
        previous = std::move(media);
        fileName = address;
        screenHandle = screen;
        lastError.clear();
        media = started;
    }
    if (previous) {
        // Still running only when asked to stop from inside one of its own handlers: it ends
        // once the handler returns, and is joined later.
        previous->RequestQuit();
        std::lock_guard guard(stateLock);
        retiredMedia.push_back(std::move(previous));
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
}

void TCustomPlayer::ReapFinishedOpen()
{
    std::vector<std::shared_ptr<MediaState>> finished;
    {
        std::lock_guard guard(stateLock);
        if (media && media->Finished()) {
            finished.push_back(std::move(media));
            media.reset();
        }
        for (auto it = retiredMedia.begin(); it != retiredMedia.end();) {
            if ((*it)->Finished()) {
                finished.push_back(std::move(*it));
                it = retiredMedia.erase(it);
            } else {
                ++it;
            }
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
    EventThread next;
    next.running->store(true);
    next.thread = std::thread([this, end = next.end, running = next.running] { RunEventThread(end, running); });
    std::lock_guard guard(stateLock);
    eventThread = std::move(next);
}

void TCustomPlayer::RunEventThread(std::shared_ptr<std::atomic<bool>> end, std::shared_ptr<std::atomic<bool>> running)
{
    bool stateDelivered = false;
    bool stopDelivered = false;
    const auto deliver = [&](const PlayEventQueue::Entry& entry) {
        if (entry.kind == PlayEventQueue::Kind::Position) {
            if (OnPosition)
                RunHostEvent([&] { OnPosition(this, entry.value); }, HostEventKind::EventThread);
            return true;
        }
        if (entry.kind == PlayEventQueue::Kind::State) {
            stateDelivered = true;
            const auto state = TPlayState(entry.value);
            if (OnState)
                RunHostEvent([&] { OnState(this, state); }, HostEventKind::EventThread);
            stopDelivered = state == TPlayState::psStop;
            return !stopDelivered;
        }
        return false; // quit
    };
    while (!*end) {
        const auto entry = events.Take(100);
        if (entry && !deliver(*entry))
            break;
    }
    // Told to end before the stop arrived: the host still hears the states already posted.
    if (*end && !stopDelivered) {
        while (const auto entry = events.Take(0)) {
            if (entry->kind != PlayEventQueue::Kind::Position && !deliver(*entry))
                break;
        }
    }
    if (!stateDelivered && OnState)
        RunHostEvent([this] { OnState(this, TPlayState::psStop); }, HostEventKind::EventThread);
    *running = false;
    UiHandover::WakeWaiter();
}

void TCustomPlayer::EndEventThread()
{
    EventThread ending;
    {
        std::lock_guard guard(stateLock);
        ending = std::move(eventThread);
        eventThread = EventThread{};
    }
    if (ending.thread.joinable()) {
        *ending.end = true;
        if (hostEvents > 0) {
            // Called from a handler that this very thread may be running: it ends after the
            // handler returns and is joined later.
            std::lock_guard guard(stateLock);
            retiredEventThreads.push_back(std::move(ending));
        } else {
            WaitOnUi([running = ending.running] { return !*running; });
            ending.thread.join();
        }
    }
    // Join the retired ones that have ended meanwhile.
    std::vector<EventThread> ended;
    {
        std::lock_guard guard(stateLock);
        for (auto it = retiredEventThreads.begin(); it != retiredEventThreads.end();) {
            if (!*it->running) {
                ended.push_back(std::move(*it));
                it = retiredEventThreads.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (EventThread& t : ended)
        t.thread.join();
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
    {
        std::lock_guard guard(dataLock);
        m->TogglePause();
    }
    SetPlayState(pausing ? TPlayState::psPause : TPlayState::psResume);
}

void TCustomPlayer::StepToNextFrame()
{
    const auto m = Media();
    if (!m || !m->PlayThreadLooping())
        return;
    bool wasStepping = false;
    {
        std::lock_guard guard(dataLock);
        wasStepping = m->IsStepping();
        if (!m->StepToNextFrame())
            return;
    }
    if (!wasStepping)
        SetPlayState(TPlayState::psStep);
}

void TCustomPlayer::StartSeek(const std::shared_ptr<MediaState>& m, int64_t target, int64_t relative, TSeekFlags flags,
                              bool waitForSeekEnd)
{
    if (!m->RequestSeek(target, relative, flags.bits) || !waitForSeekEnd)
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
    const auto m = Media();
    return m && m->IsPaused();
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
