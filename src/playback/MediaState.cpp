#include "playback/MediaState.h"

#include "playback/DisplayRect.h"
#include "playback/EngineLog.h"
#include "playback/MemoryInput.h"
#include "playback/Player.h"
#include "services/UiHandover.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

constexpr int kMaxQueueBytes = 15 * 1024 * 1024;
constexpr int kMinFrames = 5;
constexpr double kSyncThresholdMin = 0.04;
constexpr double kSyncThresholdMax = 0.1;
constexpr double kFrameDupThreshold = 0.1;
constexpr double kNoSyncThreshold = 10.0;
constexpr int kSampleCorrectionPercent = 10;
constexpr int kAudioDiffAvgCount = 20;
constexpr int kAudioMinBufferSize = 512;
constexpr int kAudioMaxCallbacksPerSecond = 30;
constexpr double kRefreshRate = 0.01;
constexpr int kIoBufferSize = 64 * 1024;

// FFmpeg's read and seek calls on a memory input, answered by the host's stream events.
int ReadMemoryInput(void* opaque, uint8_t* buffer, int size)
{
    const int got = MemoryRead(static_cast<MemoryConnection*>(opaque), buffer, size);
    if (got == 0)
        return AVERROR_EOF;
    return got < 0 ? AVERROR(EIO) : got;
}

int64_t SeekMemoryInput(void* opaque, int64_t offset, int whence)
{
    return MemorySeek(static_cast<MemoryConnection*>(opaque), offset, whence);
}

double ToSeconds(AVRational r)
{
    return r.den ? double(r.num) / r.den : 0.0;
}

} // namespace

MediaState::MediaState(TCustomPlayer* player, const QString& name, VideoSink* output, bool startPaused)
    : owner(player), fileName(name), screen(output), openPaused(startPaused)
{
    vidclk.Init(&videoq.serial);
    audclk.Init(&audioq.serial);
    extclk.Init(&extclk.serial, owner->PlaybackSpeed);
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
    FFLogger().Log(owner, TLogLevel(level), message);
}

QString MediaState::ErrorText(int code) const
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (Av().av_strerror(code, text, sizeof text) < 0)
        return QStringLiteral("Error number %1 occurred").arg(code);
    return QString::fromUtf8(text);
}

// ---- commands --------------------------------------------------------------------------------

void MediaState::StartReader()
{
    readerThread = std::thread([this] { ReaderMain(); });
}

void MediaState::RequestQuit()
{
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
        vidclk.paused = false;
        vidclk.Set(vidclk.Get(), vidclk.serial);
    }
    extclk.Set(extclk.Get(), extclk.serial);
    const bool nowPaused = !paused;
    paused = nowPaused;
    audclk.paused = vidclk.paused = extclk.paused = nowPaused;
}

void MediaState::TogglePause()
{
    TogglePauseLocked();
    step = false;
}

void MediaState::StepToNextFrame(bool)
{
    if (paused)
        TogglePauseLocked();
    step = true;
}

bool MediaState::RequestSeek(int64_t target, int64_t relative, int flags)
{
    {
        std::lock_guard guard(seekLock);
        if (seekReq)
            return false;
        seekPos = target;
        seekRel = relative;
        seekFlags = flags;
        seekReq = true;
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

double MediaState::FrameDuration() const
{
    if (!videoStream)
        return 0;
    const AVRational rate = Av().av_guess_frame_rate(ic, videoStream, nullptr);
    return rate.num && rate.den ? double(rate.den) / rate.num : 0;
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
    std::lock_guard guard(displayRectLock);
    return displayRect;
}

// ---- reader ----------------------------------------------------------------------------------

int MediaState::InterruptCallback(void* opaque)
{
    auto* self = static_cast<MediaState*>(opaque);
    if (self->abortRequest || self->openAbort) {
        self->Log(int(TLogLevel::llInfo), QStringLiteral("connecting/reading broken"));
        return 1;
    }
    const int timeout = self->owner->ReadTimeout;
    if (self->reading && timeout > 0) {
        const int64_t began = self->readStartMs;
        const int64_t now = int64_t(NowSeconds() * 1000);
        if (began == 0 || now - began > timeout) {
            if (!self->timeoutLogged.exchange(true))
                self->Log(int(TLogLevel::llError), began == 0 ? QStringLiteral("connecting/reading canceled")
                                                              : QStringLiteral("connecting/reading timeout"));
            return 1;
        }
    }
    return 0;
}

void MediaState::ReaderMain()
{
    if (!OpenInput()) {
        CloseInput();
        fileOpened = -1;
        owner->ReportOpenFailure();
        return;
    }
    ReadLoop();
}

bool MediaState::OpenInput()
{
    const AvApi& av = Av();
    auto fail = [&](const QString& message, TLogLevel level = TLogLevel::llError) {
        Log(int(level), message);
        owner->SetLastError(message);
        return false;
    };

    ic = av.avformat_alloc_context();
    if (!ic)
        return fail(QStringLiteral("av_mallocz() failed."), TLogLevel::llFatal);
    ic->interrupt_callback.callback = InterruptCallback;
    ic->interrupt_callback.opaque = this;

    // A "memory:" address is served by the host's stream through a custom I/O context.
    if (ParseMemoryAddress(fileName)) {
        int result = -1;
        memoryInput = OpenMemoryConnection(fileName, AVIO_FLAG_READ, nullptr, &result);
        if (!memoryInput || result < 0)
            return fail(QStringLiteral("%1: %2").arg(fileName, ErrorText(AVERROR(EIO))));
        auto* buffer = static_cast<unsigned char*>(av.av_malloc(kIoBufferSize));
        customIo = av.avio_alloc_context(buffer, kIoBufferSize, 0, memoryInput, ReadMemoryInput, nullptr, SeekMemoryInput);
        if (!customIo) {
            av.av_free(buffer);
            return fail(QStringLiteral("av_mallocz() failed."), TLogLevel::llFatal);
        }
        ic->pb = customIo;
        ic->flags |= AVFMT_FLAG_CUSTOM_IO;
    }

    AVDictionary* formatOptions = nullptr;
    av.av_dict_set(&formatOptions, "scan_all_pmts", "1", AV_DICT_DONT_OVERWRITE);
    readStartMs = int64_t(NowSeconds() * 1000);
    reading = true;
    const QByteArray address = fileName.toUtf8();
    int err = av.avformat_open_input(&ic, address.constData(), nullptr, &formatOptions);
    reading = false;
    av.av_dict_free(&formatOptions);
    if (err < 0) {
        ic = nullptr; // freed by avformat_open_input on failure
        return fail(QStringLiteral("%1: %2").arg(fileName, ErrorText(err)));
    }
    if (owner->genpts)
        ic->flags |= AVFMT_FLAG_GENPTS;
    if (owner->OnBeforeFindStreamInfo) {
        auto* context = ic;
        owner->RunHostEvent([&] { owner->OnBeforeFindStreamInfo(owner, context); });
    }
    readStartMs = int64_t(NowSeconds() * 1000);
    reading = true;
    err = av.avformat_find_stream_info(ic, nullptr);
    reading = false;
    if (err < 0)
        return fail(QStringLiteral("%1: could not find codec parameters").arg(fileName), TLogLevel::llWarning);
    if (ic->pb)
        ic->pb->eof_reached = 0;

    const bool timestampsJump = ic->iformat->flags & AVFMT_TS_DISCONT;
    maxFrameDuration = timestampsJump ? 10.0 : 3600.0;
    isImage2 = qstrcmp(ic->iformat->name, "image2") == 0;
    startTime = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
    fileDuration = isImage2 ? 0 : (ic->duration != AV_NOPTS_VALUE ? ic->duration : -1);
    realtime = qstrcmp(ic->iformat->name, "rtp") == 0 || qstrcmp(ic->iformat->name, "rtsp") == 0 ||
               qstrcmp(ic->iformat->name, "sdp") == 0 || fileName.startsWith("rtp:") || fileName.startsWith("udp:");

    for (unsigned i = 0; i < ic->nb_streams; ++i)
        ic->streams[i]->discard = AVDISCARD_ALL;
    int videoIndex = -1, audioIndex = -1;
    if (!owner->DisableVideo)
        videoIndex = av.av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (!owner->DisableAudio)
        audioIndex = av.av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);

    if (audioIndex >= 0)
        OpenStream(audioIndex);
    if (videoIndex >= 0)
        OpenStream(videoIndex);
    if (!videoStream && !audioStream) {
        return fail(QStringLiteral("Failed to open file \"%1\" or configure filtergraph").arg(fileName),
                    TLogLevel::llFatal);
    }
    masterClock = ChooseMasterClock(owner->SyncType, videoStream != nullptr, audioStream != nullptr);
    if (owner->infinite_buffer < 0 && realtime)
        owner->infinite_buffer = 1;
    pictEvent = true;
    return true;
}

bool MediaState::OpenStream(int streamIndex)
{
    const AvApi& av = Av();
    AVStream* stream = ic->streams[streamIndex];
    const AVCodec* codec = av.avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        Log(int(TLogLevel::llWarning), QStringLiteral("No codec could be found with id %1").arg(int(stream->codecpar->codec_id)));
        return false;
    }
    AVCodecContext* avctx = av.avcodec_alloc_context3(nullptr);
    if (!avctx)
        return false;
    if (av.avcodec_parameters_to_context(avctx, stream->codecpar) < 0) {
        av.avcodec_free_context(&avctx);
        return false;
    }
    avctx->pkt_timebase = stream->time_base;
    avctx->codec_id = codec->id;
    AVDictionary* options = nullptr;
    av.av_dict_set(&options, "threads", "auto", 0);
    const int err = av.avcodec_open2(avctx, codec, &options);
    av.av_dict_free(&options);
    if (err < 0) {
        Log(int(TLogLevel::llError), QStringLiteral("avcodec_open2() failed."));
        av.avcodec_free_context(&avctx);
        return false;
    }
    eof = false;
    stream->discard = AVDISCARD_DEFAULT;

    auto startDecoder = [&](Decoder& d, void (MediaState::*body)()) {
        d.avctx = avctx;
        d.pkt = av.av_packet_alloc();
        d.pktSerial = -1;
        d.queue->Start();
        d.thread = std::thread([this, body] { (this->*body)(); });
    };

    if (avctx->codec_type == AVMEDIA_TYPE_AUDIO) {
        if (!owner->AudioFilters.isEmpty())
            Log(int(TLogLevel::llWarning), QStringLiteral("audio filters are not supported and were ignored"));
        AVChannelLayout layout{};
        av.av_channel_layout_copy(&layout, &avctx->ch_layout);
        const int hwSize = OpenAudio(&layout, avctx->sample_rate);
        av.av_channel_layout_uninit(&layout);
        if (hwSize < 0) {
            av.avcodec_free_context(&avctx);
            return false;
        }
        audioHwBufSize = hwSize;
        audioSrc.freq = audioTgt.freq;
        audioSrc.fmt = audioTgt.fmt;
        av.av_channel_layout_copy(&audioSrc.layout, &audioTgt.layout);
        audioSrc.frameSize = audioTgt.frameSize;
        audioSrc.bytesPerSec = audioTgt.bytesPerSec;
        audioBufSize = 0;
        audioBufIndex = 0;
        audioDiffAvgCoef = std::exp(std::log(0.01) / kAudioDiffAvgCount);
        audioDiffAvgCount = 0;
        audioDiffThreshold = double(audioHwBufSize) / audioTgt.bytesPerSec;
        audioStreamIndex = streamIndex;
        audioStream = stream;
        if ((ic->iformat->flags & (AVFMT_NOBINSEARCH | AVFMT_NOGENSEARCH | AVFMT_NO_BYTE_SEEK)) && !ic->iformat->read_seek) {
            auddec.startPts = stream->start_time;
            auddec.startPtsTb = stream->time_base;
        }
        startDecoder(auddec, &MediaState::AudioDecoderMain);
        Sdl().SDL_PauseAudioDevice(audioDevice, 0);
    } else if (avctx->codec_type == AVMEDIA_TYPE_VIDEO) {
        videoStreamIndex = streamIndex;
        videoStream = stream;
        frameDurationSec = FrameDuration();
        {
            std::lock_guard guard(shownLock);
            codedWidth = stream->codecpar->width;
            codedHeight = stream->codecpar->height;
        }
        startDecoder(viddec, &MediaState::VideoDecoderMain);
    } else {
        av.avcodec_free_context(&avctx);
        return false;
    }
    return true;
}

bool MediaState::QueuesFull() const
{
    if (owner->infinite_buffer >= 1)
        return false;
    if (audioq.Bytes() + videoq.Bytes() > kMaxQueueBytes)
        return true;
    auto enough = [](const AVStream* st, const PacketQueue& q) {
        return !st || q.Aborted() || (st->disposition & AV_DISPOSITION_ATTACHED_PIC) || q.Packets() > kMinFrames;
    };
    return enough(audioStream, audioq) && enough(videoStream, videoq);
}

bool MediaState::PlayedToEnd() const
{
    const bool audioDone = !audioStream || (auddec.finished == audioq.serial && sampq.Remaining() == 0);
    const bool videoDone = !videoStream || (viddec.finished == videoq.serial && pictq.Remaining() == 0);
    return audioDone && videoDone;
}

void MediaState::ReadLoop()
{
    const AvApi& av = Av();
    fileOpened = 1;

    // The host hears of the open before the first state; what it leaves in the sizes is kept.
    int screenWidth = owner->ScreenWidth;
    int screenHeight = owner->ScreenHeight;
    if (owner->OnFileOpen) {
        const int frameWidth = videoStream ? videoStream->codecpar->width : -1;
        const int frameHeight = videoStream ? videoStream->codecpar->height : -1;
        owner->RunHostEvent(
            [&] { owner->OnFileOpen(owner, fileDuration, frameWidth, frameHeight, screenWidth, screenHeight); });
    }
    owner->ScreenWidth = screenWidth;
    owner->ScreenHeight = screenHeight;

    owner->StartEventThread();
    if (openPaused)
        step = true; // show the first picture, then stay paused
    playThread = std::thread([this] { PlayMain(); });
    while (!looping && !playEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    owner->openInProgress = false;
    UiHandover::WakeWaiter();

    AVPacket* pkt = av.av_packet_alloc();
    bool lastPaused = false;
    while (!abortRequest) {
        if (paused != lastPaused) {
            lastPaused = paused;
            if (lastPaused)
                av.av_read_pause(ic);
            else
                av.av_read_play(ic);
        }

        bool doSeek = false, doFlush = false;
        int64_t target = 0, relative = 0;
        int flags = 0;
        {
            std::lock_guard guard(seekLock);
            doSeek = seekReq;
            doFlush = flushReq;
            target = seekPos;
            relative = seekRel;
            flags = seekFlags;
        }
        if (doSeek) {
            const int64_t minTs = relative > 0 ? target - relative + 2 : INT64_MIN;
            const int64_t maxTs = relative < 0 ? target - relative - 2 : INT64_MAX;
            int err = av.avformat_seek_file(ic, -1, minTs, target, maxTs, flags);
            if (err < 0) // some demuxers only find a key frame on the other side
                err = av.avformat_seek_file(ic, -1, minTs, target, maxTs, flags ^ AVSEEK_FLAG_BACKWARD);
            if (err < 0) {
                Log(int(TLogLevel::llError), QStringLiteral("%1: error while seeking").arg(fileName));
                seekPausedPending = 0;
                if (videoStream)
                    pictEvent = true;
                seeking = false; // no picture will come: the seek is over
            } else {
                audioFrameAvailable = false;
                if (audioStream)
                    audioq.Flush();
                if (videoStream) {
                    videoq.Flush();
                    pictEvent = false;
                }
                if (flags & AVSEEK_FLAG_BYTE) {
                    extclk.Set(NAN, 0);
                } else {
                    extclk.Set(target / double(AV_TIME_BASE), 0);
                    seekTarget = target / double(AV_TIME_BASE);
                    positionRestart = true;
                    videoSeekSerial = videoq.serial;
                    audioSeekSerial = audioq.serial;
                }
                if (!videoStream)
                    seeking = false;
            }
            eofLogged = readErrorLogged = endEventDone = false;
            eof = false;
            {
                std::lock_guard guard(seekLock);
                seekReq = false;
            }
            seekDone = true;
            UiHandover::WakeWaiter();
            if (paused && err >= 0)
                stepAfterSeek = true; // the play thread shows the picture at the new place
            continue;
        }
        if (doFlush) {
            if (audioStream)
                audioq.Flush();
            if (videoStream)
                videoq.Flush();
            extclk.Set(NAN, 0);
            {
                std::lock_guard guard(seekLock);
                flushReq = false;
            }
            seekDone = true;
        }

        if (QueuesFull()) {
            std::unique_lock guard(waitLock);
            continueRead.wait_for(guard, std::chrono::milliseconds(10));
            continue;
        }

        if (!paused && !endEventDone && PlayedToEnd()) {
            endEventDone = true;
            owner->SetPlayState(TPlayState::psEnd);
        }

        readStartMs = int64_t(NowSeconds() * 1000);
        reading = true;
        const int err = av.av_read_frame(ic, pkt);
        reading = false;
        if (abortRequest) {
            av.av_packet_unref(pkt);
            break;
        }
        if (err < 0) {
            if (videoStream)
                pictEvent = true;
            const bool atEnd = err == AVERROR_EOF || err == AVERROR(EPIPE) || (ic->pb && ic->pb->eof_reached) || err == -1;
            if (atEnd && !eof) {
                if (videoStream)
                    videoq.PutNullPacket(pkt, videoStreamIndex);
                if (audioStream)
                    audioq.PutNullPacket(pkt, audioStreamIndex);
                eof = true;
                if (!eofLogged && !isImage2) {
                    eofLogged = true;
                    Log(int(TLogLevel::llInfo), QStringLiteral("reach end of file: %1").arg(fileName));
                }
            } else if (err == AVERROR(EAGAIN)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (ic->pb) {
                    ic->pb->eof_reached = 0;
                    ic->pb->error = 0;
                }
            } else if (!atEnd && !readErrorLogged) {
                readErrorLogged = true;
                Log(int(TLogLevel::llError), QStringLiteral("error #%1 while reading file: %2").arg(err).arg(fileName));
            }
            if (ic->pb && ic->pb->error && !atEnd)
                break;
            std::unique_lock guard(waitLock);
            continueRead.wait_for(guard, std::chrono::milliseconds(10));
            continue;
        }
        eof = false;
        if (pkt->stream_index == audioStreamIndex && audioStream)
            audioq.Put(pkt);
        else if (pkt->stream_index == videoStreamIndex && videoStream &&
                 !(videoStream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            videoq.Put(pkt);
        else
            av.av_packet_unref(pkt);
    }
    av.av_packet_free(&pkt);
    seekPausedPending = 0;
}

void MediaState::CloseInput()
{
    const AvApi& av = Av();
    if (ic)
        av.avformat_close_input(&ic);
    if (customIo) {
        av.av_freep(&customIo->buffer);
        av.avio_context_free(&customIo);
    }
    if (memoryInput) {
        CloseMemoryConnection(memoryInput);
        memoryInput = nullptr;
    }
}

// ---- decoders --------------------------------------------------------------------------------

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
                        if (owner->decoder_reorder_pts == -1)
                            frame->pts = frame->best_effort_timestamp;
                        else if (!owner->decoder_reorder_pts)
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
                continueRead.notify_all();
            if (d.packetPending) {
                d.packetPending = false;
            } else {
                const int oldSerial = d.pktSerial;
                if (d.queue->Get(d.pkt, true, &d.pktSerial) < 0)
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
    int got = DecodeFrame(viddec, frame);
    if (got < 0)
        return got;
    if (got == 0) {
        // The input ended before the seek target: show its last picture after all.
        if (viddec.finished == viddec.pktSerial && videoSeekSerial == viddec.pktSerial && heldFrame && heldFrame->data[0]) {
            videoSeekSerial = -1;
            av.av_frame_move_ref(frame, heldFrame);
            return 1;
        }
        return 0;
    }
    double dpts = NAN;
    if (frame->pts != AV_NOPTS_VALUE)
        dpts = ToSeconds(videoStream->time_base) * frame->pts;
    frame->sample_aspect_ratio = av.av_guess_sample_aspect_ratio(ic, videoStream, frame);
    if (videoSeekSerial == viddec.pktSerial && !std::isnan(dpts)) {
        if (dpts < seekTarget - frameDurationSec / 2) {
            if (!heldFrame)
                heldFrame = av.av_frame_alloc();
            av.av_frame_unref(heldFrame);
            av.av_frame_move_ref(heldFrame, frame);
            return 0;
        }
        videoSeekSerial = -1;
    }
    if (heldFrame)
        av.av_frame_unref(heldFrame);
    const int framedrop = owner->framedrop;
    if ((framedrop > 0 || (framedrop && Master() != MasterClock::Video)) && !step && frame->pts != AV_NOPTS_VALUE) {
        const double diff = dpts - MasterClockValue();
        if (!std::isnan(diff) && std::fabs(diff) < kNoSyncThreshold && diff - frameLastFilterDelay < 0 &&
            viddec.pktSerial == vidclk.serial && videoq.Packets() > 0) {
            framesDroppedEarly++;
            Av().av_frame_unref(frame);
            return 0;
        }
    }
    return 1;
}

bool MediaState::ConfigureVideoFilters(AVFilterGraph* graph, const AVFrame* frame)
{
    const AvApi& av = Av();
    const AVRational timeBase = videoStream->time_base;
    const AVRational frameRate = av.av_guess_frame_rate(ic, videoStream, nullptr);
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

    const QByteArray description = owner->VideoFilters.trimmed().toUtf8();
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
    videoFilterIn = source;
    videoFilterOut = sink;
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
        if (lastW != frame->width || lastH != frame->height || lastFormat != frame->format || lastSerial != viddec.pktSerial) {
            if (graph) {
                const char* oldName = av.av_get_pix_fmt_name(AVPixelFormat(lastFormat));
                const char* newName = av.av_get_pix_fmt_name(AVPixelFormat(frame->format));
                Log(int(TLogLevel::llDebug),
                    QStringLiteral("Video frame changed from size:%1x%2 format:%3 serial:%4 to size:%5x%6 format:%7 serial:%8")
                        .arg(lastW).arg(lastH).arg(QString::fromLatin1(oldName ? oldName : "none")).arg(lastSerial)
                        .arg(frame->width).arg(frame->height)
                        .arg(QString::fromLatin1(newName ? newName : "none")).arg(viddec.pktSerial));
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
            lastSerial = viddec.pktSerial;
            frameRate = av.av_buffersink_get_frame_rate(videoFilterOut);
        }
        if (av.av_buffersrc_add_frame(videoFilterIn, frame) < 0)
            break;
        int ret = 0;
        while (ret >= 0) {
            frameLastReturnedTime = NowSeconds();
            ret = av.av_buffersink_get_frame_flags(videoFilterOut, frame, 0);
            if (ret < 0) {
                if (ret == AVERROR_EOF)
                    viddec.finished = viddec.pktSerial;
                ret = 0;
                break;
            }
            frameLastFilterDelay = NowSeconds() - frameLastReturnedTime;
            if (std::fabs(frameLastFilterDelay) > kNoSyncThreshold / 10.0)
                frameLastFilterDelay = 0;
            const AVRational tb = av.av_buffersink_get_time_base(videoFilterOut);
            const double duration = frameRate.num && frameRate.den ? double(frameRate.den) / frameRate.num : 0;
            const double pts = frame->pts == AV_NOPTS_VALUE ? NAN : frame->pts * ToSeconds(tb);
            ret = QueuePicture(frame, pts, duration, frame->pkt_pos, viddec.pktSerial);
            av.av_frame_unref(frame);
            if (videoq.serial != viddec.pktSerial)
                break;
        }
        if (ret < 0)
            break;
    }
    av.avfilter_graph_free(&graph);
    av.av_frame_free(&frame);
    av.av_frame_free(&heldFrame);
    if (hookScaler) {
        av.sws_freeContext(hookScaler);
        hookScaler = nullptr;
    }
}

void MediaState::RunVideoHook(QueuedFrame& entry, AVFrame* frame, double pts)
{
    const AvApi& av = Av();
    QImage bitmap(frame->width, frame->height, QImage::Format_RGB32);
    hookScaler = av.sws_getCachedContext(hookScaler, frame->width, frame->height, AVPixelFormat(frame->format),
                                         frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!hookScaler || bitmap.isNull()) {
        Log(int(TLogLevel::llError), QStringLiteral("Cannot initialize the conversion context for the video hook"));
        return;
    }
    uint8_t* dst[4] = {bitmap.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(bitmap.bytesPerLine()), 0, 0, 0};
    av.sws_scale(hookScaler, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    bool update = true;
    const int64_t hostPts = std::isnan(pts) ? kNoPts : std::llround(pts * 1e6) - startTime;
    try {
        owner->OnVideoHook(owner, bitmap, hostPts, update);
    } catch (const std::exception& error) {
        Log(int(TLogLevel::llError), QStringLiteral("Error occurs OnVideoHook: %1").arg(QString::fromUtf8(error.what())));
        return;
    } catch (...) {
        Log(int(TLogLevel::llError), QStringLiteral("Error occurs OnVideoHook: unknown error"));
        return;
    }
    if (update && bitmap.width() == frame->width && bitmap.height() == frame->height)
        entry.hooked = bitmap.format() == QImage::Format_RGB32 ? bitmap : bitmap.convertToFormat(QImage::Format_RGB32);
}

int MediaState::QueuePicture(AVFrame* frame, double pts, double duration, int64_t pos, int serial)
{
    QueuedFrame* vp = pictq.PeekWritable();
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
    if (owner->VideoHook && owner->OnVideoHook)
        RunVideoHook(*vp, frame, pts);
    if (owner->FrameHook && owner->OnFrameHook) {
        try {
            const int64_t hostPts = std::isnan(pts) ? kNoPts : std::llround(pts * 1e6) - startTime;
            owner->OnFrameHook(owner, frame, frame->format, frame->width, frame->height, hostPts);
        } catch (const std::exception& error) {
            Log(int(TLogLevel::llError), QStringLiteral("Error occurs OnFrameHook: %1").arg(QString::fromUtf8(error.what())));
        } catch (...) {
            Log(int(TLogLevel::llError), QStringLiteral("Error occurs OnFrameHook: unknown error"));
        }
    }
    Av().av_frame_move_ref(vp->frame, frame);
    pictq.Push();
    picturesQueued++;
    if (!pictEvent.exchange(true)) { // the first picture after a seek
        seeking = false;
        UiHandover::WakeWaiter();
    }
    return 0;
}

void MediaState::AudioDecoderMain()
{
    const AvApi& av = Av();
    AVFrame* frame = av.av_frame_alloc();
    for (;;) {
        const int got = DecodeFrame(auddec, frame);
        if (got < 0)
            break;
        if (!got)
            continue;
        const AVRational tb{1, frame->sample_rate};
        if (audioSeekSerial == auddec.pktSerial && frame->pts != AV_NOPTS_VALUE && frame->sample_rate > 0) {
            const double end = (frame->pts + frame->nb_samples) * ToSeconds(tb);
            if (end <= seekTarget) { // sound from before the seek target
                av.av_frame_unref(frame);
                continue;
            }
            audioSeekSerial = -1;
        }
        QueuedFrame* af = sampq.PeekWritable();
        if (!af)
            break;
        af->pts = frame->pts == AV_NOPTS_VALUE ? NAN : frame->pts * ToSeconds(tb);
        af->pos = frame->pkt_pos;
        af->serial = auddec.pktSerial;
        af->duration = frame->sample_rate ? double(frame->nb_samples) / frame->sample_rate : 0;
        av.av_frame_move_ref(af->frame, frame);
        sampq.Push();
    }
    av.av_frame_free(&frame);
}

// ---- audio output ----------------------------------------------------------------------------

int MediaState::OpenAudio(const AVChannelLayout* wantedLayoutIn, int wantedRate)
{
    const AvApi& av = Av();
    const SdlApi& sdl = Sdl();
    static const int kNextChannels[] = {0, 0, 1, 6, 2, 6, 4, 6};
    static const int kNextRates[] = {0, 44100, 48000, 96000, 192000};
    int nextRateIndex = int(std::size(kNextRates)) - 1;

    {
        std::lock_guard guard(TSDLLoader::InitLock());
        if (sdl.SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            Log(int(TLogLevel::llError), QStringLiteral("Could not initialize SDL audio: %1").arg(QString::fromUtf8(sdl.SDL_GetError())));
            return -1;
        }
        sdlAudioInited = true;
        if (const char* driver = sdl.SDL_GetCurrentAudioDriver())
            Log(int(TLogLevel::llInfo), QStringLiteral("using audio driver: %1").arg(QString::fromUtf8(driver)));
    }

    AVChannelLayout wantedLayout{};
    av.av_channel_layout_copy(&wantedLayout, wantedLayoutIn);
    int wantedChannels = wantedLayout.nb_channels;
    const QByteArray env = qgetenv("SDL_AUDIO_CHANNELS");
    if (!env.isEmpty()) {
        wantedChannels = env.toInt();
        av.av_channel_layout_uninit(&wantedLayout);
        av.av_channel_layout_default(&wantedLayout, wantedChannels);
    }
    if (wantedLayout.order != AV_CHANNEL_ORDER_NATIVE) {
        av.av_channel_layout_uninit(&wantedLayout);
        av.av_channel_layout_default(&wantedLayout, wantedChannels);
    }
    wantedChannels = wantedLayout.nb_channels;
    SDL_AudioSpec wanted{};
    SDL_AudioSpec obtained{};
    wanted.channels = Uint8(wantedChannels);
    wanted.freq = wantedRate;
    if (wanted.freq <= 0 || wanted.channels <= 0) {
        Log(int(TLogLevel::llError), QStringLiteral("Invalid sample rate or channel count!"));
        av.av_channel_layout_uninit(&wantedLayout);
        return -1;
    }
    while (nextRateIndex && kNextRates[nextRateIndex] >= wanted.freq)
        --nextRateIndex;
    wanted.format = AUDIO_S16SYS;
    wanted.silence = 0;
    const unsigned perCallback = unsigned(wanted.freq / kAudioMaxCallbacksPerSecond);
    wanted.samples = Uint16(std::max(kAudioMinBufferSize, 2 << (std::bit_width(std::max(perCallback, 1u)) - 1)));
    wanted.callback = AudioCallback;
    wanted.userdata = this;
    while (!(audioDevice = sdl.SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained,
                                                    SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE))) {
        Log(int(TLogLevel::llWarning), QStringLiteral("SDL_OpenAudio (%1 channels, %2 Hz): %3")
                                           .arg(wanted.channels).arg(wanted.freq).arg(QString::fromUtf8(sdl.SDL_GetError())));
        wanted.channels = Uint8(kNextChannels[std::min(7, int(wanted.channels))]);
        if (!wanted.channels) {
            wanted.freq = kNextRates[nextRateIndex--];
            wanted.channels = Uint8(wantedChannels);
            if (!wanted.freq) {
                Log(int(TLogLevel::llError), QStringLiteral("No more combinations to try, audio open failed"));
                av.av_channel_layout_uninit(&wantedLayout);
                return -1;
            }
        }
        av.av_channel_layout_uninit(&wantedLayout);
        av.av_channel_layout_default(&wantedLayout, wanted.channels);
    }
    if (obtained.format != AUDIO_S16SYS) {
        Log(int(TLogLevel::llError), QStringLiteral("SDL advised audio format %1 is not supported!").arg(obtained.format));
        av.av_channel_layout_uninit(&wantedLayout);
        return -1;
    }
    if (obtained.channels != wanted.channels) {
        av.av_channel_layout_uninit(&wantedLayout);
        av.av_channel_layout_default(&wantedLayout, obtained.channels);
        if (wantedLayout.order != AV_CHANNEL_ORDER_NATIVE) {
            Log(int(TLogLevel::llError), QStringLiteral("SDL advised channel count %1 is not supported!").arg(obtained.channels));
            av.av_channel_layout_uninit(&wantedLayout);
            return -1;
        }
    }
    audioTgt.fmt = AV_SAMPLE_FMT_S16;
    audioTgt.freq = obtained.freq;
    av.av_channel_layout_uninit(&audioTgt.layout);
    av.av_channel_layout_copy(&audioTgt.layout, &wantedLayout);
    av.av_channel_layout_uninit(&wantedLayout);
    audioTgt.frameSize = av.av_samples_get_buffer_size(nullptr, audioTgt.layout.nb_channels, 1, audioTgt.fmt, 1);
    audioTgt.bytesPerSec = av.av_samples_get_buffer_size(nullptr, audioTgt.layout.nb_channels, audioTgt.freq, audioTgt.fmt, 1);
    if (audioTgt.bytesPerSec <= 0 || audioTgt.frameSize <= 0) {
        Log(int(TLogLevel::llError), QStringLiteral("av_samples_get_buffer_size failed"));
        return -1;
    }
    return int(obtained.size);
}

int MediaState::SynchronizeAudio(int samples)
{
    int wanted = samples;
    if (Master() == MasterClock::Audio)
        return wanted;
    const double diff = audclk.Get() - MasterClockValue();
    if (!std::isnan(diff) && std::fabs(diff) < kNoSyncThreshold) {
        audioDiffCum = diff + audioDiffAvgCoef * audioDiffCum;
        if (audioDiffAvgCount < kAudioDiffAvgCount) {
            audioDiffAvgCount++;
        } else {
            const double average = audioDiffCum * (1.0 - audioDiffAvgCoef);
            if (std::fabs(average) >= audioDiffThreshold) {
                wanted = samples + int(diff * audioSrc.freq);
                const int minSamples = samples * (100 - kSampleCorrectionPercent) / 100;
                const int maxSamples = samples * (100 + kSampleCorrectionPercent) / 100;
                wanted = std::clamp(wanted, minSamples, maxSamples);
            }
        }
    } else {
        audioDiffAvgCount = 0;
        audioDiffCum = 0;
    }
    return wanted;
}

int MediaState::DecodeAudioFrame()
{
    const AvApi& av = Av();
    if (paused)
        return -1;
    QueuedFrame* af = nullptr;
    do {
        af = sampq.PeekReadable();
        if (!af)
            return -1;
        sampq.Next();
    } while (af->serial != audioq.serial);

    AVFrame* frame = af->frame;
    const int dataSize = av.av_samples_get_buffer_size(nullptr, frame->ch_layout.nb_channels, frame->nb_samples,
                                                       AVSampleFormat(frame->format), 1);
    const int wantedSamples = SynchronizeAudio(frame->nb_samples);

    if (frame->format != audioSrc.fmt || av.av_channel_layout_compare(&frame->ch_layout, &audioSrc.layout) ||
        frame->sample_rate != audioSrc.freq || (wantedSamples != frame->nb_samples && !swrCtx)) {
        av.swr_free(&swrCtx);
        av.swr_alloc_set_opts2(&swrCtx, &audioTgt.layout, audioTgt.fmt, audioTgt.freq, &frame->ch_layout,
                               AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        if (!swrCtx || av.swr_init(swrCtx) < 0) {
            Log(int(TLogLevel::llError), QStringLiteral("Cannot create sample rate converter for conversion of %1 Hz %2 %3 channels to %4 Hz %5 %6 channels!")
                                             .arg(frame->sample_rate)
                                             .arg(QString::fromLatin1(av.av_get_sample_fmt_name(AVSampleFormat(frame->format))))
                                             .arg(frame->ch_layout.nb_channels).arg(audioTgt.freq)
                                             .arg(QString::fromLatin1(av.av_get_sample_fmt_name(audioTgt.fmt)))
                                             .arg(audioTgt.layout.nb_channels));
            av.swr_free(&swrCtx);
            return -1;
        }
        av.av_channel_layout_uninit(&audioSrc.layout);
        av.av_channel_layout_copy(&audioSrc.layout, &frame->ch_layout);
        audioSrc.freq = frame->sample_rate;
        audioSrc.fmt = AVSampleFormat(frame->format);
    }

    int resampledSize = 0;
    if (swrCtx) {
        const uint8_t** in = const_cast<const uint8_t**>(frame->extended_data);
        const int outCount = int(int64_t(wantedSamples) * audioTgt.freq / frame->sample_rate + 256);
        const int outSize = av.av_samples_get_buffer_size(nullptr, audioTgt.layout.nb_channels, outCount, audioTgt.fmt, 0);
        if (outSize < 0)
            return -1;
        if (wantedSamples != frame->nb_samples &&
            av.swr_set_compensation(swrCtx, (wantedSamples - frame->nb_samples) * audioTgt.freq / frame->sample_rate,
                                    wantedSamples * audioTgt.freq / frame->sample_rate) < 0)
            return -1;
        av.av_fast_malloc(&audioBuf1, &audioBuf1Size, size_t(outSize));
        if (!audioBuf1)
            return AVERROR(ENOMEM);
        const int converted = av.swr_convert(swrCtx, &audioBuf1, outCount, in, frame->nb_samples);
        if (converted < 0)
            return -1;
        if (converted == outCount && av.swr_init(swrCtx) < 0) // buffer probably too small
            av.swr_free(&swrCtx);
        audioBuf = audioBuf1;
        resampledSize = converted * audioTgt.layout.nb_channels * av.av_get_bytes_per_sample(audioTgt.fmt);
    } else {
        audioBuf = frame->data[0];
        resampledSize = dataSize;
    }
    audioClock = std::isnan(af->pts) ? NAN : af->pts + double(frame->nb_samples) / frame->sample_rate;
    audioClockSerial = af->serial;
    audioFrameAvailable = true;
    if (owner->AudioHook && owner->OnAudioHook) {
        const int64_t hostPts = std::isnan(af->pts) ? kNoPts : std::llround(af->pts * 1e6) - startTime;
        owner->OnAudioHook(owner, hostPts, audioBuf, resampledSize, audioTgt.freq, audioTgt.layout.nb_channels);
    }
    return resampledSize;
}

void MediaState::AudioCallback(void* opaque, Uint8* stream, int len)
{
    auto* self = static_cast<MediaState*>(opaque);
    const double callbackTime = NowSeconds();
    while (len > 0) {
        if (self->audioBufIndex >= int(self->audioBufSize)) {
            const int size = self->DecodeAudioFrame();
            if (size < 0) { // silence while there is nothing to play
                self->audioBuf = nullptr;
                self->audioBufSize = unsigned(kAudioMinBufferSize / self->audioTgt.frameSize * self->audioTgt.frameSize);
            } else {
                self->audioBufSize = unsigned(size);
            }
            self->audioBufIndex = 0;
        }
        const int chunk = std::min(int(self->audioBufSize) - self->audioBufIndex, len);
        const int volume = std::clamp(self->owner->AudioVolume.load(), 0, SDL_MIX_MAXVOLUME);
        const bool silent = self->owner->Mute || volume == 0 || !self->audioBuf;
        if (!silent && volume == SDL_MIX_MAXVOLUME) {
            memcpy(stream, self->audioBuf + self->audioBufIndex, size_t(chunk));
        } else {
            memset(stream, 0, size_t(chunk));
            if (!silent)
                Sdl().SDL_MixAudioFormat(stream, self->audioBuf + self->audioBufIndex, AUDIO_S16SYS, Uint32(chunk), volume);
        }
        len -= chunk;
        stream += chunk;
        self->audioBufIndex += chunk;
    }
    self->audioWriteBufSize = int(self->audioBufSize) - self->audioBufIndex;
    if (!std::isnan(self->audioClock)) {
        self->audclk.SetAt(self->audioClock - double(2 * self->audioHwBufSize + self->audioWriteBufSize) / self->audioTgt.bytesPerSec,
                           self->audioClockSerial, callbackTime);
        self->extclk.SyncTo(self->audclk);
    }
}

// ---- play thread -----------------------------------------------------------------------------

void MediaState::PlayMain()
{
    looping = true;
    owner->SetPlayState(TPlayState::psPlay);
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
        std::lock_guard data(owner->dataLock);
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
    looping = false;
    Teardown();
    playEnded = true;
    owner->SetPlayState(TPlayState::psStop);
    owner->stopped = true;
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
    const double diff = vidclk.Get() - MasterClockValue();
    const double threshold = std::max(kSyncThresholdMin, std::min(kSyncThresholdMax, delay));
    if (!std::isnan(diff) && std::fabs(diff) < maxFrameDuration) {
        if (diff <= -threshold)
            delay = std::max(0.0, delay + diff);
        else if (diff >= threshold && delay > kFrameDupThreshold)
            delay = delay + diff;
        else if (diff >= threshold)
            delay = Master() == MasterClock::External && extclk.speed != 1.0 ? delay / extclk.speed : 2 * delay;
    }
    return delay;
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
                        const int framedrop = owner->framedrop;
                        if (!step && (framedrop > 0 || (framedrop && Master() != MasterClock::Video)) &&
                            time > frameTimer + duration) {
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
        if (!owner->DisableDisplay && forceRefresh && pictq.Shown())
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
    }
    owner->frameWidth = vp->width;
    owner->frameHeight = vp->height;
    const int64_t bytePos = vp->pos;
    if (bytePos >= 0)
        owner->currentPos = bytePos;
    if (!screen)
        return;

    const QSize area = screen->OutputSize();
    if (area.isEmpty())
        return;
    const double sar = vp->sar.num && vp->sar.den ? double(vp->sar.num) / vp->sar.den : 0.0;
    const QRect rect = CalculateDisplayRect(area, DisplayAspect(owner->AspectRatio(), area, vp->width, vp->height, sar));
    {
        std::lock_guard guard(displayRectLock);
        displayRect = rect;
    }

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
    screen->Present(picture, rect, owner->BackColor());
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
    pts = std::isnan(shownPts) ? kNoPts : std::llround(shownPts * 1e6) - startTime;
    if (!shownHooked.isNull())
        return shownHooked.copy();
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
    return image;
}

void MediaState::ReportPosition()
{
    double clock = NAN;
    if (videoStream) {
        clock = picturesQueued < 2 && audioStream ? audclk.Get() : vidclk.Get();
    } else if (audioStream && audioFrameAvailable) {
        clock = audclk.Get();
    }
    if (std::isnan(clock))
        return;
    int64_t position = std::llround(clock * 1e6) - startTime;
    if (position < 0)
        position = 0;
    if (positionRestart.exchange(false))
        positionReported = false;
    else if (positionReported && position < lastReportedPosition)
        position = lastReportedPosition; // clocks may trail a little when the master changes
    bool force = false;
    if (fileDuration > 0 && position >= fileDuration) {
        position = fileDuration;
        force = !positionReported || lastReportedPosition != fileDuration;
    }
    owner->currentPTS = position;
    if (!videoStream && audioStream) {
        // Without pictures, the sound's place in the input stands for the position.
    }
    if (!positionReported || force || std::llabs(position - lastReportedPosition) > owner->PositionInterval) {
        positionReported = true;
        lastReportedPosition = position;
        owner->PostEvent(PlayEventQueue::Kind::Position, position);
    }
}

void MediaState::Teardown()
{
    const AvApi& av = Av();
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
