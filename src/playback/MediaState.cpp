// One open of the engine: its commands, and tearing it down.
#include "playback/MediaState.h"

#include "core/UiHandover.h"
#include "playback/EngineHost.h"
#include "playback/EngineLog.h"
#include "playback/MediaStateInternal.h"

#include <algorithm>
#include <cmath>

using namespace engine;

MediaState::MediaState(EngineHost& engineHost, LiveControls& liveControls, const QString& name, VideoSink* output,
                       bool startPaused, PlayerOptions playerOptions)
    : host(engineHost), controls(liveControls), fileName(name), screen(output), openPaused(startPaused),
      options(std::move(playerOptions)), sender(engineHost.Sender())
{
    infiniteBuffer = options.infinite_buffer;
    vidclk.Init(&videoq.serial);
    audclk.Init(&audioq.serial);
    extclk.Init(&extclk.serial, options.PlaybackSpeed);
    viddec.queue = &videoq;
    auddec.queue = &audioq;
}

MediaState::~MediaState()
{
    abortRequest = true;
    RequestQuit();
    if (playThread.joinable())
        playThread.join();
    JoinReader();
    if (failThread.joinable() && failThread.get_id() != std::this_thread::get_id())
        failThread.join();
    if (!playEnded) // the play thread never ran: release what the reader left
        Teardown();
    if (shownFrame)
        Av().av_frame_free(&shownFrame);
    if (shownScaler)
        Av().sws_freeContext(shownScaler);
}

void MediaState::JoinReader()
{
    if (readerThread.joinable() && readerThread.get_id() != std::this_thread::get_id())
        readerThread.join();
}

void MediaState::Log(int level, const QString& message) const
{
    FFLogger().Log(host.LogSender(), TLogLevel(level), message);
}

void MediaState::HostHookFailed(const char* name, const char* what) const
{
    const QString reason = what ? QString::fromUtf8(what) : QStringLiteral("unknown error");
    Log(int(TLogLevel::llError), QStringLiteral("Error occurs %1: %2").arg(QLatin1String(name), reason));
}

QString MediaState::ErrorText(int code) const
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (Av().av_strerror(code, text, sizeof text) < 0)
        return QStringLiteral("Error number %1 occurred").arg(code);
    return QString::fromUtf8(text);
}

// ---- commands --------------------------------------------------------------------------------

void MediaState::StartFailThread()
{
    failThread = std::thread([this] {
        failPublished.wait(false);
        JoinReader();
        opening = false; // the host may open something else from its handler
        if (options.OnOpenFailed)
            host.RunHostEvent([this] { options.OnOpenFailed(sender); });
        finished = true;
        UiHandover::WakeWaiter();
    });
    failPublished = true;
    failPublished.notify_all();
}

void MediaState::StartReader()
{
    readerThread = std::thread([this] {
        readerPublished.wait(false);
        ReaderMain();
    });
    readerPublished = true;
    readerPublished.notify_all();
}

void MediaState::RequestQuit()
{
    quitRequested = true;
    {
        std::lock_guard guard(cmdLock);
        quitRequest = true;
    }
    cmdWake.notify_all();
}

void MediaState::RequestRefresh()
{
    {
        std::lock_guard guard(cmdLock);
        refreshRequest = true;
    }
    cmdWake.notify_all();
}

void MediaState::AbortOpen()
{
    openAbort = true;
    readStartMs = 0;
}

void MediaState::TogglePauseLocked()
{
    if (paused) {
        frameTimer += NowSeconds() - vidclk.lastUpdated;
        // Read while still paused: the clock goes on from the time it stopped at. Unpaused
        // first, it would count the whole pause as time played, and the reported time would
        // lead the picture until the next picture set it again.
        vidclk.Set(vidclk.Get(), vidclk.serial);
    }
    extclk.Set(extclk.Get(), extclk.serial);
    const bool nowPaused = !paused;
    paused = nowPaused;
    audclk.paused = vidclk.paused = extclk.paused = nowPaused;
}

void MediaState::TogglePause()
{
    std::lock_guard data(dataLock);
    TogglePauseLocked();
    step = false;
}

bool MediaState::StepToNextFrame(bool& wasStepping)
{
    std::lock_guard data(dataLock);
    wasStepping = step;
    if (!videoStream)
        return false; // sound alone has no picture to step to
    if (paused)
        TogglePauseLocked();
    step = true;
    return true;
}

bool MediaState::RequestSeek(const SeekRequest& request)
{
    {
        std::lock_guard guard(seekLock);
        if (pendingSeek)
            return false;
        pendingSeek = request;
        seeking = true;
        seekDone = false;
        step = false;
        seekPausedPending = paused ? 1 : 0;
    }
    continueRead.notify_all();
    return true;
}

void MediaState::RequestFlush()
{
    {
        std::lock_guard guard(seekLock);
        flushReq = true;
    }
    continueRead.notify_all();
}

double MediaState::MasterClockValue() const
{
    switch (Master()) {
    case MasterClock::Video: return vidclk.Get();
    case MasterClock::Audio: return audclk.Get();
    case MasterClock::External: break;
    }
    return extclk.Get();
}

QRect MediaState::DisplayRect() const
{
    return displayRect;
}

void MediaState::Teardown()
{
    const AvApi& av = Av();
    fileOpened = -2; // no more seeks or pauses reach this open
    hasVideo = false;
    hasAudio = false;
    abortRequest = true;
    continueRead.notify_all();
    JoinReader();
    if (audioStream || auddec.thread.joinable()) {
        DecoderAbort(auddec, sampq);
        if (audioDevice) {
            Sdl().SDL_CloseAudioDevice(audioDevice);
            audioDevice = 0;
        }
        DecoderDestroy(auddec);
        av.swr_free(&swrCtx);
        av.av_freep(&audioBuf1);
        audioBuf1Size = 0;
        audioBuf = nullptr;
        av.av_channel_layout_uninit(&audioSrc.layout);
        av.av_channel_layout_uninit(&audioTgt.layout);
    } else if (audioDevice) {
        Sdl().SDL_CloseAudioDevice(audioDevice);
        audioDevice = 0;
    }
    if (videoStream || viddec.thread.joinable()) {
        DecoderAbort(viddec, pictq);
        DecoderDestroy(viddec);
    }
    {
        std::lock_guard guard(shownLock);
        codedWidth = codedHeight = 0;
    }
    DecoderDestroy(auddec);
    DecoderDestroy(viddec);
    if (sdlAudioInited) {
        std::lock_guard guard(TSDLLoader::InitLock());
        Sdl().SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sdlAudioInited = false;
    }
    CloseInput();
    if (displayScaler) {
        av.sws_freeContext(displayScaler);
        displayScaler = nullptr;
    }
    audioStream = nullptr;
    videoStream = nullptr;
}
