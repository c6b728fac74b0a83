// The decoder threads: packets in, pictures and sound frames out, with the video filter graph
// and the host's picture hooks.
#include "playback/MediaState.h"

#include "core/UiHandover.h"
#include "playback/EngineHost.h"
#include "playback/EngineLog.h"
#include "playback/MediaStateInternal.h"

#include <algorithm>
#include <cmath>

using namespace engine;

int MediaState::DecodeFrame(Decoder& d, AVFrame* frame)
{
    const AvApi& av = Av();
    int ret = AVERROR(EAGAIN);
    for (;;) {
        if (d.queue->serial == d.pktSerial) {
            do {
                if (d.queue->Aborted())
                    return -1;
                ret = av.avcodec_receive_frame(d.avctx, frame);
                if (ret >= 0) {
                    if (d.avctx->codec_type == AVMEDIA_TYPE_VIDEO) {
                        if (options.decoder_reorder_pts == -1)
                            frame->pts = frame->best_effort_timestamp;
                        else if (!options.decoder_reorder_pts)
                            frame->pts = frame->pkt_dts;
                    } else {
                        const AVRational tb{1, frame->sample_rate};
                        if (frame->pts != AV_NOPTS_VALUE)
                            frame->pts = av.av_rescale_q(frame->pts, d.avctx->pkt_timebase, tb);
                        else if (d.nextPts != AV_NOPTS_VALUE)
                            frame->pts = av.av_rescale_q(d.nextPts, d.nextPtsTb, tb);
                        if (frame->pts != AV_NOPTS_VALUE) {
                            d.nextPts = frame->pts + frame->nb_samples;
                            d.nextPtsTb = tb;
                        }
                    }
                }
                if (ret == AVERROR_EOF) {
                    d.finished = d.pktSerial;
                    av.avcodec_flush_buffers(d.avctx);
                    return 0;
                }
                if (ret >= 0)
                    return 1;
            } while (ret != AVERROR(EAGAIN));
        }

        do {
            if (d.queue->Packets() == 0)
                reader.continueRead.notify_all();
            if (d.packetPending) {
                d.packetPending = false;
            } else {
                const int oldSerial = d.pktSerial;
                int gotSerial = oldSerial;
                const int got = d.queue->Get(d.pkt, true, &gotSerial);
                d.pktSerial = gotSerial;
                if (got < 0)
                    return -1;
                if (oldSerial != d.pktSerial) {
                    av.avcodec_flush_buffers(d.avctx);
                    d.finished = 0;
                    d.nextPts = d.startPts;
                    d.nextPtsTb = d.startPtsTb;
                }
            }
            if (d.queue->serial == d.pktSerial)
                break;
            av.av_packet_unref(d.pkt);
        } while (true);

        if (av.avcodec_send_packet(d.avctx, d.pkt) == AVERROR(EAGAIN)) {
            Log(int(TLogLevel::llError),
                QStringLiteral("Receive_frame and send_packet both returned EAGAIN, which is an API violation."));
            d.packetPending = true;
        } else {
            av.av_packet_unref(d.pkt);
        }
    }
}

void MediaState::DecoderAbort(Decoder& d, FrameQueue& fq)
{
    d.queue->Abort();
    fq.Signal();
    if (d.thread.joinable())
        d.thread.join();
    d.queue->Flush();
}

void MediaState::DecoderDestroy(Decoder& d)
{
    const AvApi& av = Av();
    if (d.pkt)
        av.av_packet_free(&d.pkt);
    if (d.avctx)
        av.avcodec_free_context(&d.avctx);
}

int MediaState::GetVideoFrame(AVFrame* frame)
{
    const AvApi& av = Av();
    int got = DecodeFrame(video.decoder, frame);
    if (got < 0)
        return got;
    if (got == 0) {
        // The input ended before the seek target: show its last picture after all.
        if (video.decoder.finished == video.decoder.pktSerial && video.seekSerial == video.decoder.pktSerial && video.heldFrame && video.heldFrame->data[0]) {
            video.seekSerial = -1;
            av.av_frame_move_ref(frame, video.heldFrame);
            return 1;
        }
        return 0;
    }
    const double dpts = StreamSeconds(frame->pts, video.stream->time_base);
    frame->sample_aspect_ratio = av.av_guess_sample_aspect_ratio(reader.ic, video.stream, frame);
    if (video.seekSerial == video.decoder.pktSerial && !std::isnan(dpts)) {
        if (dpts < seek.target - video.frameDuration / 2) {
            if (!video.heldFrame)
                video.heldFrame = av.av_frame_alloc();
            av.av_frame_unref(video.heldFrame);
            av.av_frame_move_ref(video.heldFrame, frame);
            return 0;
        }
        video.seekSerial = -1;
    }
    if (video.heldFrame)
        av.av_frame_unref(video.heldFrame);
    const int framedrop = options.framedrop;
    if ((framedrop > 0 || (framedrop && Master() != MasterClock::Video)) && !play.step && frame->pts != AV_NOPTS_VALUE) {
        const double diff = dpts - MasterClockValue();
        if (!std::isnan(diff) && std::fabs(diff) < kNoSyncThreshold && diff - video.lastFilterDelay < 0 &&
            video.decoder.pktSerial == video.clock.serial && video.packets.Packets() > 0) {
            video.droppedEarly++;
            Av().av_frame_unref(frame);
            return 0;
        }
    }
    return 1;
}

bool MediaState::ConfigureVideoFilters(AVFilterGraph* graph, const AVFrame* frame)
{
    const AvApi& av = Av();
    const AVRational timeBase = video.stream->time_base;
    const AVRational frameRate = av.av_guess_frame_rate(reader.ic, video.stream, nullptr);
    const AVRational sar = frame->sample_aspect_ratio.num ? frame->sample_aspect_ratio : AVRational{0, 1};
    char args[256];
    snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", frame->width,
             frame->height, frame->format, timeBase.num, timeBase.den, sar.num, std::max(sar.den, 1));
    if (frameRate.num && frameRate.den)
        snprintf(args + strlen(args), sizeof args - strlen(args), ":frame_rate=%d/%d", frameRate.num, frameRate.den);

    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    if (av.avfilter_graph_create_filter(&source, av.avfilter_get_by_name("buffer"), "orvek_buffer", args, nullptr, graph) < 0)
        return false;
    if (av.avfilter_graph_create_filter(&sink, av.avfilter_get_by_name("buffersink"), "orvek_buffersink", nullptr, nullptr, graph) < 0)
        return false;

    const QByteArray description = options.VideoFilters.trimmed().toUtf8();
    if (description.isEmpty()) {
        if (av.avfilter_link(source, 0, sink, 0) < 0)
            return false;
    } else {
        AVFilterInOut* outputs = av.avfilter_inout_alloc();
        AVFilterInOut* inputs = av.avfilter_inout_alloc();
        if (!outputs || !inputs) {
            av.avfilter_inout_free(&outputs);
            av.avfilter_inout_free(&inputs);
            return false;
        }
        outputs->name = av.av_strdup("in");
        outputs->filter_ctx = source;
        outputs->pad_idx = 0;
        outputs->next = nullptr;
        inputs->name = av.av_strdup("out");
        inputs->filter_ctx = sink;
        inputs->pad_idx = 0;
        inputs->next = nullptr;
        const int err = av.avfilter_graph_parse_ptr(graph, description.constData(), &inputs, &outputs, nullptr);
        av.avfilter_inout_free(&outputs);
        av.avfilter_inout_free(&inputs);
        if (err < 0)
            return false;
    }
    if (av.avfilter_graph_config(graph, nullptr) < 0)
        return false;
    video.filterIn = source;
    video.filterOut = sink;
    return true;
}

void MediaState::VideoDecoderMain()
{
    const AvApi& av = Av();
    AVFrame* frame = av.av_frame_alloc();
    AVFilterGraph* graph = nullptr;
    int lastW = 0, lastH = 0, lastFormat = -2, lastSerial = -1;
    AVRational frameRate{0, 1};

    for (;;) {
        const int got = GetVideoFrame(frame);
        if (got < 0)
            break;
        if (!got)
            continue;
        if (lastW != frame->width || lastH != frame->height || lastFormat != frame->format || lastSerial != video.decoder.pktSerial) {
            if (graph) {
                const char* oldName = av.av_get_pix_fmt_name(AVPixelFormat(lastFormat));
                const char* newName = av.av_get_pix_fmt_name(AVPixelFormat(frame->format));
                Log(int(TLogLevel::llDebug),
                    QStringLiteral("Video frame changed from size:%1x%2 format:%3 serial:%4 to size:%5x%6 format:%7 serial:%8")
                        .arg(lastW).arg(lastH).arg(QString::fromLatin1(oldName ? oldName : "none")).arg(lastSerial)
                        .arg(frame->width).arg(frame->height)
                        .arg(QString::fromLatin1(newName ? newName : "none")).arg(video.decoder.pktSerial));
            }
            av.avfilter_graph_free(&graph);
            graph = av.avfilter_graph_alloc();
            if (!graph || !ConfigureVideoFilters(graph, frame)) {
                Log(int(TLogLevel::llFatal), QStringLiteral("configure_video_filters() failed"));
                break;
            }
            lastW = frame->width;
            lastH = frame->height;
            lastFormat = frame->format;
            lastSerial = video.decoder.pktSerial;
            frameRate = av.av_buffersink_get_frame_rate(video.filterOut);
        }
        if (av.av_buffersrc_add_frame(video.filterIn, frame) < 0)
            break;
        int ret = 0;
        while (ret >= 0) {
            video.lastReturnedTime = NowSeconds();
            ret = av.av_buffersink_get_frame_flags(video.filterOut, frame, 0);
            if (ret < 0) {
                if (ret == AVERROR_EOF)
                    video.decoder.finished = video.decoder.pktSerial;
                ret = 0;
                break;
            }
            video.lastFilterDelay = NowSeconds() - video.lastReturnedTime;
            if (std::fabs(video.lastFilterDelay) > kNoSyncThreshold / 10.0)
                video.lastFilterDelay = 0;
            const AVRational tb = av.av_buffersink_get_time_base(video.filterOut);
            const double duration = frameRate.num && frameRate.den ? double(frameRate.den) / frameRate.num : 0;
            const double pts = StreamSeconds(frame->pts, tb);
            ret = QueuePicture(frame, pts, duration, frame->pkt_pos, video.decoder.pktSerial);
            av.av_frame_unref(frame);
            if (video.packets.serial != video.decoder.pktSerial)
                break;
        }
        if (ret < 0)
            break;
    }
    av.avfilter_graph_free(&graph);
    av.av_frame_free(&frame);
    av.av_frame_free(&video.heldFrame);
    if (video.hookScaler) {
        av.sws_freeContext(video.hookScaler);
        video.hookScaler = nullptr;
    }
}

void MediaState::RunVideoHook(QueuedFrame& entry, AVFrame* frame, double pts)
{
    const AvApi& av = Av();
    QImage bitmap(frame->width, frame->height, QImage::Format_RGB32);
    video.hookScaler = av.sws_getCachedContext(video.hookScaler, frame->width, frame->height, AVPixelFormat(frame->format),
                                         frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!video.hookScaler || bitmap.isNull()) {
        Log(int(TLogLevel::llError), QStringLiteral("Cannot initialize the conversion context for the video hook"));
        return;
    }
    uint8_t* dst[4] = {bitmap.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(bitmap.bytesPerLine()), 0, 0, 0};
    av.sws_scale(video.hookScaler, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    bool update = true;
    if (!CallHostHook("OnVideoHook", [&] { options.OnVideoHook(sender, bitmap, HostPts(pts, reader.startTime), update); }))
        return;
    if (update && bitmap.width() == frame->width && bitmap.height() == frame->height)
        entry.hooked = bitmap.format() == QImage::Format_RGB32 ? bitmap : bitmap.convertToFormat(QImage::Format_RGB32);
}

int MediaState::QueuePicture(AVFrame* frame, double pts, double duration, int64_t pos, int serial)
{
    QueuedFrame* vp = video.pictures.PeekWritable();
    if (!vp)
        return -1;
    vp->sar = frame->sample_aspect_ratio;
    vp->width = frame->width;
    vp->height = frame->height;
    vp->pts = pts;
    vp->duration = duration;
    vp->pos = pos;
    vp->serial = serial;
    vp->hooked = QImage();
    if (controls.VideoHook.load(std::memory_order_relaxed) && options.OnVideoHook)
        RunVideoHook(*vp, frame, pts);
    if (options.FrameHook && options.OnFrameHook) {
        CallHostHook("OnFrameHook", [&] {
            options.OnFrameHook(sender, frame, frame->format, frame->width, frame->height, HostPts(pts, reader.startTime));
        });
    }
    Av().av_frame_move_ref(vp->frame, frame);
    video.pictures.Push();
    video.picturesQueued++;
    if (!seek.pictureSince.exchange(true)) { // the first picture after a seek
        seek.seeking = false;
        UiHandover::WakeWaiter();
    }
    return 0;
}

void MediaState::AudioDecoderMain()
{
    const AvApi& av = Av();
    AVFrame* frame = av.av_frame_alloc();
    for (;;) {
        const int got = DecodeFrame(audio.decoder, frame);
        if (got < 0)
            break;
        if (!got)
            continue;
        const AVRational tb{1, frame->sample_rate};
        if (audio.seekSerial == audio.decoder.pktSerial && frame->pts != AV_NOPTS_VALUE && frame->sample_rate > 0) {
            const double end = StreamSeconds(frame->pts + frame->nb_samples, tb);
            if (end <= seek.target) { // sound from before the seek target
                av.av_frame_unref(frame);
                continue;
            }
            audio.seekSerial = -1;
        }
        QueuedFrame* af = audio.samples.PeekWritable();
        if (!af)
            break;
        af->pts = StreamSeconds(frame->pts, tb);
        af->pos = frame->pkt_pos;
        af->serial = audio.decoder.pktSerial;
        af->duration = frame->sample_rate ? double(frame->nb_samples) / frame->sample_rate : 0;
        av.av_frame_move_ref(af->frame, frame);
        audio.samples.Push();
    }
    av.av_frame_free(&frame);
}
