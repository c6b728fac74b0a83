// The play thread: shows each picture when the master clock says it is due, scales it to its
// display rectangle and reports the position.
#include "playback/MediaState.h"

#include "core/UiHandover.h"
#include "playback/EngineHost.h"
#include "playback/EngineLog.h"
#include "playback/MediaStateInternal.h"

#include "playback/DisplayRect.h"

#include <algorithm>
#include <cmath>

using namespace engine;

void MediaState::PlayMain()
{
    play.looping = true;
    playStarted = true;
    opening = false; // the open is complete: a host hearing psPlay may open the next one
    host.PostState(TPlayState::psPlay);
    if (openPaused) {
        // Opened paused: with pictures, show the first one and stay there.
        std::lock_guard data(dataLock);
        if (video.stream)
            play.step = true;
        else
            TogglePauseLocked();
    }
    // An error escaping the loop ends this open as a stop would, after it is logged.
    try {
        double remaining = 0;
        for (;;) {
            {
                std::unique_lock guard(cmdLock);
                if (!quitRequest && !refreshRequest && remaining > 0)
                    cmdWake.wait_for(guard, std::chrono::duration<double>(remaining));
                if (quitRequest)
                    break;
                if (refreshRequest) {
                    refreshRequest = false;
                    play.forceRefresh = true;
                }
            }
            remaining = kRefreshRate;
            std::lock_guard data(dataLock);
            if (seek.stepAfter.exchange(false) && play.paused) {
                // Paused at the new place: show its picture, then pause again.
                TogglePauseLocked();
                play.step = true;
            }
            if (screen) {
                const QSize size = screen->OutputSize();
                if (size != play.lastOutputSize) {
                    play.lastOutputSize = size;
                    play.forceRefresh = true;
                }
            }
            if (!play.paused || play.forceRefresh)
                Refresh(remaining);
            ReportPosition();
        }
    } catch (const std::exception& error) {
        Log(int(TLogLevel::llFatal), QStringLiteral("PlayThread Exception: %1").arg(QString::fromUtf8(error.what())));
    } catch (...) {
        Log(int(TLogLevel::llFatal), QStringLiteral("PlayThread Exception: unknown error"));
    }
    play.looping = false;
    Teardown();
    play.ended = true;
    host.PostState(TPlayState::psStop);
    opening = false;
    finished = true;
    UiHandover::WakeWaiter();
}

double MediaState::FramePairDuration(const QueuedFrame& vp, const QueuedFrame& next) const
{
    if (vp.serial != next.serial)
        return 0.0;
    const double duration = next.pts - vp.pts;
    if (std::isnan(duration) || duration <= 0 || duration > reader.maxFrameDuration)
        return vp.duration;
    return duration;
}

double MediaState::TargetDelay(double delay) const
{
    if (Master() == MasterClock::Video)
        return delay;
    const double externalSpeed = Master() == MasterClock::External ? extclk.speed : 1.0;
    return PictureDelay(delay, video.clock.Get() - MasterClockValue(), reader.maxFrameDuration, externalSpeed);
}

void MediaState::UpdateVideoPts(double pts, int64_t, int serial)
{
    video.clock.Set(pts, serial);
    extclk.SyncTo(video.clock);
}

void MediaState::Refresh(double& remaining)
{
    if (Master() == MasterClock::External && reader.realtime) {
        // Keep a live input's buffer from running dry or overflowing.
        const int videoPackets = video.stream ? video.packets.Packets() : -1;
        const int audioPackets = audio.stream ? audio.packets.Packets() : -1;
        if ((videoPackets >= 0 && videoPackets <= 2) || (audioPackets >= 0 && audioPackets <= 2))
            extclk.SetSpeed(std::max(0.900, extclk.speed - 0.001));
        else if ((videoPackets < 0 || videoPackets > 10) && (audioPackets < 0 || audioPackets > 10))
            extclk.SetSpeed(std::min(1.010, extclk.speed + 0.001));
        else if (extclk.speed != 1.0)
            extclk.SetSpeed(extclk.speed + 0.001 * (1.0 - extclk.speed) / std::fabs(1.0 - extclk.speed));
    }

    if (video.stream) {
    retry:
        if (video.pictures.Remaining() > 0) {
            QueuedFrame* lastvp = video.pictures.PeekLast();
            QueuedFrame* vp = video.pictures.Peek();
            if (vp->serial != video.packets.serial) {
                video.pictures.Next();
                goto retry;
            }
            if (lastvp->serial != vp->serial)
                play.frameTimer = NowSeconds();
            if (!play.paused) {
                const double lastDuration = FramePairDuration(*lastvp, *vp);
                const double delay = TargetDelay(lastDuration);
                const double time = NowSeconds();
                if (time < play.frameTimer + delay) {
                    remaining = std::min(play.frameTimer + delay - time, remaining);
                } else {
                    play.frameTimer += delay;
                    if (delay > 0 && time - play.frameTimer > kSyncThresholdMax)
                        play.frameTimer = time;
                    {
                        std::lock_guard guard(video.pictures.Mutex());
                        if (!std::isnan(vp->pts))
                            UpdateVideoPts(vp->pts, vp->pos, vp->serial);
                    }
                    if (video.pictures.Remaining() > 1) {
                        QueuedFrame* nextvp = video.pictures.PeekNext();
                        const double duration = FramePairDuration(*vp, *nextvp);
                        const int framedrop = options.framedrop;
                        if (!play.step && (framedrop > 0 || (framedrop && Master() != MasterClock::Video)) &&
                            SkipLatePicture(time, play.frameTimer, duration)) {
                            play.droppedLate++;
                            video.pictures.Next();
                            goto retry;
                        }
                    }
                    video.pictures.Next();
                    play.forceRefresh = true;
                    play.framesShown++;
                    if (play.step && !play.paused) {
                        TogglePauseLocked();
                        play.step = false;
                    }
                }
            }
        }
        if (!options.DisableDisplay && play.forceRefresh && video.pictures.Shown())
            DisplayPicture();
    }
    play.forceRefresh = false;
}

void MediaState::DisplayPicture()
{
    const AvApi& av = Av();
    QueuedFrame* vp = video.pictures.PeekLast();
    if (!vp->frame || (!vp->frame->data[0] && vp->hooked.isNull()))
        return;
    {
        std::lock_guard guard(shown.lock);
        if (!shown.frame)
            shown.frame = av.av_frame_alloc();
        av.av_frame_unref(shown.frame);
        av.av_frame_ref(shown.frame, vp->frame);
        shown.hooked = vp->hooked;
        shown.pts = vp->pts;
        shown.overlaid = controls.VideoHook.load(std::memory_order_relaxed) && options.OnDrawOverlay;
    }
    host.PublishFrame(vp->width, vp->height, vp->pos);
    if (!screen)
        return;

    const QSize area = screen->OutputSize();
    if (area.isEmpty())
        return;
    const double sar = vp->sar.num && vp->sar.den ? double(vp->sar.num) / vp->sar.den : 0.0;
    const QRect rect = CalculateDisplayRect(area, DisplayAspect(controls.AspectRatio(), area, vp->width, vp->height, sar));
    play.displayRect = rect;

    // Scaled straight to the display size here, so the UI thread only copies pixels.
    QImage picture(rect.size(), QImage::Format_RGB32);
    const bool fromHook = !vp->hooked.isNull();
    const int srcW = fromHook ? vp->hooked.width() : vp->frame->width;
    const int srcH = fromHook ? vp->hooked.height() : vp->frame->height;
    const AVPixelFormat srcFormat = fromHook ? AV_PIX_FMT_BGRA : AVPixelFormat(vp->frame->format);
    play.displayScaler = av.sws_getCachedContext(play.displayScaler, srcW, srcH, srcFormat, rect.width(), rect.height(),
                                            AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!play.displayScaler || picture.isNull())
        return;
    uint8_t* dst[4] = {picture.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(picture.bytesPerLine()), 0, 0, 0};
    if (fromHook) {
        const uint8_t* src[4] = {vp->hooked.constBits(), nullptr, nullptr, nullptr};
        const int srcStride[4] = {int(vp->hooked.bytesPerLine()), 0, 0, 0};
        av.sws_scale(play.displayScaler, src, srcStride, 0, srcH, dst, dstStride);
    } else {
        av.sws_scale(play.displayScaler, vp->frame->data, vp->frame->linesize, 0, srcH, dst, dstStride);
    }
    if (controls.VideoHook.load(std::memory_order_relaxed) && options.OnDrawOverlay)
        RunOverlay(picture, vp->pts);
    screen->Present(picture, rect, controls.BackColor());
}

QImage MediaState::ShownPicture(int64_t& pts)
{
    const AvApi& av = Av();
    std::lock_guard guard(shown.lock);
    pts = -1;
    if (shown.codedWidth <= 0 || shown.codedHeight <= 0)
        return {};
    const int width = shown.codedWidth;
    const int height = shown.codedHeight;
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    image.fill(Qt::black);
    if (!shown.frame || (!shown.frame->data[0] && shown.hooked.isNull()))
        return image;
    pts = HostPts(shown.pts, reader.startTime);
    if (!shown.hooked.isNull()) {
        image = shown.hooked.copy();
        if (shown.overlaid)
            RunOverlay(image, shown.pts);
        return image;
    }
    if (shown.frame->width != image.width() || shown.frame->height != image.height())
        image = QImage(shown.frame->width, shown.frame->height, QImage::Format_RGB32);
    shown.scaler = av.sws_getCachedContext(shown.scaler, shown.frame->width, shown.frame->height,
                                          AVPixelFormat(shown.frame->format), image.width(), image.height(),
                                          AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!shown.scaler)
        return {};
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    av.sws_scale(shown.scaler, shown.frame->data, shown.frame->linesize, 0, shown.frame->height, dst, dstStride);
    if (shown.overlaid)
        RunOverlay(image, shown.pts);
    return image;
}

void MediaState::RunOverlay(QImage& picture, double pts)
{
    CallHostHook("OnDrawOverlay", [&] { options.OnDrawOverlay(sender, picture, HostPts(pts, reader.startTime)); });
}

void MediaState::ReportPosition()
{
    double clock = NAN;
    // Paused or stepping, the time is that of the picture on screen: the clocks run on while
    // the next picture is awaited, and keep that lead when the pause comes.
    const bool stillPicture = video.stream && (play.paused.load() || play.step.load());
    if (stillPicture) {
        std::lock_guard guard(shown.lock);
        clock = shown.pts;
    }
    if (std::isnan(clock)) {
        if (video.stream)
            clock = video.picturesQueued < 2 && audio.stream ? audio.clock.Get() : video.clock.Get();
        else if (audio.stream && audio.frameAvailable)
            clock = audio.clock.Get();
    }
    if (std::isnan(clock))
        return;
    int64_t position = HostPts(clock, reader.startTime);
    if (position < 0)
        position = 0;
    if (seek.positionRestart.exchange(false))
        play.positionReported = false;
    else if (play.positionReported && position < play.lastReportedPosition && !stillPicture)
        position = play.lastReportedPosition; // clocks may trail a little when the master changes
    bool force = false;
    if (reader.fileDuration > 0 && position >= reader.fileDuration) {
        position = reader.fileDuration;
        force = !play.positionReported || play.lastReportedPosition != reader.fileDuration;
    }
    host.PublishPosition(position);
    if (!play.positionReported || force || std::llabs(position - play.lastReportedPosition) > options.PositionInterval) {
        play.positionReported = true;
        play.lastReportedPosition = position;
        host.PostPosition(position);
    }
}
