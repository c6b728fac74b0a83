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
    reader.infiniteBuffer = options.infinite_buffer;
    video.clock.Init(&video.packets.serial);
    audio.clock.Init(&audio.packets.serial);
    extclk.Init(&extclk.serial, options.PlaybackSpeed);
    video.decoder.queue = &video.packets;
    audio.decoder.queue = &audio.packets;
}

MediaState::~MediaState()
{
    reader.abortRequest = true;
    RequestQuit();
    if (playThread.joinable())
        playThread.join();
    JoinReader();
    if (failThread.joinable() && failThread.get_id() != std::this_thread::get_id())
        failThread.join();
    if (!play.ended) // the play thread never ran: release what the reader left
        Teardown();
    if (shown.frame)
        Av().av_frame_free(&shown.frame);
    if (shown.scaler)
        Av().sws_freeContext(shown.scaler);
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
    reader.openAbort = true;
    reader.readStartMs = 0;
}

void MediaState::TogglePauseLocked()
{
    if (play.paused) {
        play.frameTimer += NowSeconds() - video.clock.lastUpdated;
        // Read while still paused: the clock goes on from the time it stopped at. Unpaused
        // first, it would count the whole pause as time played, and the reported time would
        // lead the picture until the next picture set it again.
        video.clock.Set(video.clock.Get(), video.clock.serial);
    }
    extclk.Set(extclk.Get(), extclk.serial);
    const bool nowPaused = !play.paused;
    play.paused = nowPaused;
    audio.clock.paused = video.clock.paused = extclk.paused = nowPaused;
}

void MediaState::TogglePause()
{
    std::lock_guard data(dataLock);
    TogglePauseLocked();
    play.step = false;
}

bool MediaState::StepToNextFrame(bool& wasStepping)
{
    std::lock_guard data(dataLock);
    wasStepping = play.step;
    if (!video.stream)
        return false; // sound alone has no picture to step to
    if (play.paused)
        TogglePauseLocked();
    play.step = true;
    return true;
}

bool MediaState::RequestSeek(const SeekRequest& request)
{
    {
        std::lock_guard guard(seek.lock);
        if (seek.pending)
            return false;
        seek.pending = request;
        seek.seeking = true;
        seek.done = false;
        play.step = false;
    }
    reader.continueRead.notify_all();
    return true;
}

void MediaState::RequestFlush()
{
    {
        std::lock_guard guard(seek.lock);
        seek.flush = true;
    }
    reader.continueRead.notify_all();
}

double MediaState::MasterClockValue() const
{
    switch (Master()) {
    case MasterClock::Video: return video.clock.Get();
    case MasterClock::Audio: return audio.clock.Get();
    case MasterClock::External: break;
    }
    return extclk.Get();
}

QRect MediaState::DisplayRect() const
{
    return play.displayRect;
}

void MediaState::Teardown()
{
    const AvApi& av = Av();
    reader.fileOpened = -2; // no more seeks or pauses reach this open
    video.present = false;
    audio.present = false;
    reader.abortRequest = true;
    reader.continueRead.notify_all();
    JoinReader();
    if (audio.stream || audio.decoder.thread.joinable()) {
        DecoderAbort(audio.decoder, audio.samples);
        if (audio.device) {
            Sdl().SDL_CloseAudioDevice(audio.device);
            audio.device = 0;
        }
        DecoderDestroy(audio.decoder);
        av.swr_free(&audio.swr);
        av.av_freep(&audio.buf1);
        audio.buf1Size = 0;
        audio.buf = nullptr;
        av.av_channel_layout_uninit(&audio.src.layout);
        av.av_channel_layout_uninit(&audio.tgt.layout);
    } else if (audio.device) {
        Sdl().SDL_CloseAudioDevice(audio.device);
        audio.device = 0;
    }
    if (video.stream || video.decoder.thread.joinable()) {
        DecoderAbort(video.decoder, video.pictures);
        DecoderDestroy(video.decoder);
    }
    {
        std::lock_guard guard(shown.lock);
        shown.codedWidth = shown.codedHeight = 0;
    }
    DecoderDestroy(audio.decoder);
    DecoderDestroy(video.decoder);
    if (audio.sdlInited) {
        std::lock_guard guard(TSDLLoader::InitLock());
        Sdl().SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audio.sdlInited = false;
    }
    CloseInput();
    if (play.displayScaler) {
        av.sws_freeContext(play.displayScaler);
        play.displayScaler = nullptr;
    }
    audio.stream = nullptr;
    video.stream = nullptr;
}
