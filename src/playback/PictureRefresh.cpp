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
    looping = true;
    playStarted = true;
    opening = false; // the open is complete: a host hearing psPlay may open the next one
    host.PostState(TPlayState::psPlay);
    if (openPaused) {
        // Opened paused: with pictures, show the first one and stay there.
        std::lock_guard data(dataLock);
        if (videoStream)
            step = true;
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
                    forceRefresh = true;
                }
            }
            remaining = kRefreshRate;
            std::lock_guard data(dataLock);
            if (stepAfterSeek.exchange(false) && paused) {
                // Paused at the new place: show its picture, then pause again.
                TogglePauseLocked();
                step = true;
            }
            if (screen) {
                const QSize size = screen->OutputSize();
                if (size != lastOutputSize) {
                    lastOutputSize = size;
                    forceRefresh = true;
                }
            }
            if (!paused || forceRefresh)
                Refresh(remaining);
            ReportPosition();
        }
    } catch (const std::exception& error) {
        Log(int(TLogLevel::llFatal), QStringLiteral("PlayThread Exception: %1").arg(QString::fromUtf8(error.what())));
    } catch (...) {
        Log(int(TLogLevel::llFatal), QStringLiteral("PlayThread Exception: unknown error"));
    }
    looping = false;
    Teardown();
    playEnded = true;
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
    if (std::isnan(duration) || duration <= 0 || duration > maxFrameDuration)
        return vp.duration;
    return duration;
}

double MediaState::TargetDelay(double delay) const
{
    if (Master() == MasterClock::Video)
        return delay;
    const double externalSpeed = Master() == MasterClock::External ? extclk.speed : 1.0;
    return PictureDelay(delay, vidclk.Get() - MasterClockValue(), maxFrameDuration, externalSpeed);
}

void MediaState::UpdateVideoPts(double pts, int64_t, int serial)
{
    vidclk.Set(pts, serial);
    extclk.SyncTo(vidclk);
}

void MediaState::Refresh(double& remaining)
{
    if (Master() == MasterClock::External && realtime) {
        // Keep a live input's buffer from running dry or overflowing.
        const int videoPackets = videoStream ? videoq.Packets() : -1;
        const int audioPackets = audioStream ? audioq.Packets() : -1;
        if ((videoPackets >= 0 && videoPackets <= 2) || (audioPackets >= 0 && audioPackets <= 2))
            extclk.SetSpeed(std::max(0.900, extclk.speed - 0.001));
        else if ((videoPackets < 0 || videoPackets > 10) && (audioPackets < 0 || audioPackets > 10))
            extclk.SetSpeed(std::min(1.010, extclk.speed + 0.001));
        else if (extclk.speed != 1.0)
            extclk.SetSpeed(extclk.speed + 0.001 * (1.0 - extclk.speed) / std::fabs(1.0 - extclk.speed));
    }

    if (videoStream) {
    retry:
        if (pictq.Remaining() > 0) {
            QueuedFrame* lastvp = pictq.PeekLast();
            QueuedFrame* vp = pictq.Peek();
            if (vp->serial != videoq.serial) {
                pictq.Next();
                goto retry;
            }
            if (lastvp->serial != vp->serial)
                frameTimer = NowSeconds();
            if (!paused) {
                const double lastDuration = FramePairDuration(*lastvp, *vp);
                const double delay = TargetDelay(lastDuration);
                const double time = NowSeconds();
                if (time < frameTimer + delay) {
                    remaining = std::min(frameTimer + delay - time, remaining);
                } else {
                    frameTimer += delay;
                    if (delay > 0 && time - frameTimer > kSyncThresholdMax)
                        frameTimer = time;
                    {
                        std::lock_guard guard(pictq.Mutex());
                        if (!std::isnan(vp->pts))
                            UpdateVideoPts(vp->pts, vp->pos, vp->serial);
                    }
                    if (pictq.Remaining() > 1) {
                        QueuedFrame* nextvp = pictq.PeekNext();
                        const double duration = FramePairDuration(*vp, *nextvp);
                        const int framedrop = options.framedrop;
                        if (!step && (framedrop > 0 || (framedrop && Master() != MasterClock::Video)) &&
                            SkipLatePicture(time, frameTimer, duration)) {
                            framesDroppedLate++;
                            pictq.Next();
                            goto retry;
                        }
                    }
                    pictq.Next();
                    forceRefresh = true;
                    framesShown++;
                    if (step && !paused) {
                        TogglePauseLocked();
                        step = false;
                    }
                }
            }
        }
        if (!options.DisableDisplay && forceRefresh && pictq.Shown())
            DisplayPicture();
    }
    forceRefresh = false;
}

void MediaState::DisplayPicture()
{
    const AvApi& av = Av();
    QueuedFrame* vp = pictq.PeekLast();
    if (!vp->frame || (!vp->frame->data[0] && vp->hooked.isNull()))
        return;
    {
        std::lock_guard guard(shownLock);
        if (!shownFrame)
            shownFrame = av.av_frame_alloc();
        av.av_frame_unref(shownFrame);
        av.av_frame_ref(shownFrame, vp->frame);
        shownHooked = vp->hooked;
        shownPts = vp->pts;
        shownOverlaid = controls.VideoHook.load(std::memory_order_relaxed) && options.OnDrawOverlay;
    }
    host.PublishFrame(vp->width, vp->height, vp->pos);
    if (!screen)
        return;

    const QSize area = screen->OutputSize();
    if (area.isEmpty())
        return;
    const double sar = vp->sar.num && vp->sar.den ? double(vp->sar.num) / vp->sar.den : 0.0;
    const QRect rect = CalculateDisplayRect(area, DisplayAspect(controls.AspectRatio(), area, vp->width, vp->height, sar));
    displayRect = rect;

    // Scaled straight to the display size here, so the UI thread only copies pixels.
    QImage picture(rect.size(), QImage::Format_RGB32);
    const bool fromHook = !vp->hooked.isNull();
    const int srcW = fromHook ? vp->hooked.width() : vp->frame->width;
    const int srcH = fromHook ? vp->hooked.height() : vp->frame->height;
    const AVPixelFormat srcFormat = fromHook ? AV_PIX_FMT_BGRA : AVPixelFormat(vp->frame->format);
    displayScaler = av.sws_getCachedContext(displayScaler, srcW, srcH, srcFormat, rect.width(), rect.height(),
                                            AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!displayScaler || picture.isNull())
        return;
    uint8_t* dst[4] = {picture.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(picture.bytesPerLine()), 0, 0, 0};
    if (fromHook) {
        const uint8_t* src[4] = {vp->hooked.constBits(), nullptr, nullptr, nullptr};
        const int srcStride[4] = {int(vp->hooked.bytesPerLine()), 0, 0, 0};
        av.sws_scale(displayScaler, src, srcStride, 0, srcH, dst, dstStride);
    } else {
        av.sws_scale(displayScaler, vp->frame->data, vp->frame->linesize, 0, srcH, dst, dstStride);
    }
    if (controls.VideoHook.load(std::memory_order_relaxed) && options.OnDrawOverlay)
        RunOverlay(picture, vp->pts);
    screen->Present(picture, rect, controls.BackColor());
    lastDrawnRect = rect;
}

QImage MediaState::ShownPicture(int64_t& pts)
{
    const AvApi& av = Av();
    std::lock_guard guard(shownLock);
    pts = -1;
    if (codedWidth <= 0 || codedHeight <= 0)
        return {};
    const int width = codedWidth;
    const int height = codedHeight;
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    image.fill(Qt::black);
    if (!shownFrame || (!shownFrame->data[0] && shownHooked.isNull()))
        return image;
    pts = HostPts(shownPts, startTime);
    if (!shownHooked.isNull()) {
        image = shownHooked.copy();
        if (shownOverlaid)
            RunOverlay(image, shownPts);
        return image;
    }
    if (shownFrame->width != image.width() || shownFrame->height != image.height())
        image = QImage(shownFrame->width, shownFrame->height, QImage::Format_RGB32);
    shownScaler = av.sws_getCachedContext(shownScaler, shownFrame->width, shownFrame->height,
                                          AVPixelFormat(shownFrame->format), image.width(), image.height(),
                                          AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!shownScaler)
        return {};
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    av.sws_scale(shownScaler, shownFrame->data, shownFrame->linesize, 0, shownFrame->height, dst, dstStride);
    if (shownOverlaid)
        RunOverlay(image, shownPts);
    return image;
}

void MediaState::RunOverlay(QImage& picture, double pts)
{
    CallHostHook("OnDrawOverlay", [&] { options.OnDrawOverlay(sender, picture, HostPts(pts, startTime)); });
}

void MediaState::ReportPosition()
{
    double clock = NAN;
    // Paused or stepping, the time is that of the picture on screen: the clocks run on while
    // the next picture is awaited, and keep that lead when the pause comes.
    const bool stillPicture = videoStream && (paused.load() || step.load());
    if (stillPicture) {
        std::lock_guard guard(shownLock);
        clock = shownPts;
    }
    if (std::isnan(clock)) {
        if (videoStream)
            clock = picturesQueued < 2 && audioStream ? audclk.Get() : vidclk.Get();
        else if (audioStream && audioFrameAvailable)
            clock = audclk.Get();
    }
    if (std::isnan(clock))
        return;
    int64_t position = HostPts(clock, startTime);
    if (position < 0)
        position = 0;
    if (positionRestart.exchange(false))
        positionReported = false;
    else if (positionReported && position < lastReportedPosition && !stillPicture)
        position = lastReportedPosition; // clocks may trail a little when the master changes
    bool force = false;
    if (fileDuration > 0 && position >= fileDuration) {
        position = fileDuration;
        force = !positionReported || lastReportedPosition != fileDuration;
    }
    host.PublishPosition(position);
    if (!positionReported || force || std::llabs(position - lastReportedPosition) > options.PositionInterval) {
        positionReported = true;
        lastReportedPosition = position;
        host.PostPosition(position);
    }
}
