// The reader thread: opens the input and its streams, then reads packets into the queues,
// performing seeks and noticing the end of the input.
#include "playback/MediaState.h"

#include "core/UiHandover.h"
#include "playback/EngineHost.h"
#include "playback/EngineLog.h"
#include "playback/MediaStateInternal.h"

#include "playback/MemoryInput.h"

#include <algorithm>
#include <cmath>

using namespace engine;

namespace {

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

} // namespace

int MediaState::InterruptCallback(void* opaque)
{
    auto* self = static_cast<MediaState*>(opaque);
    if (self->abortRequest || self->openAbort) {
        self->Log(int(TLogLevel::llInfo), QStringLiteral("connecting/reading broken"));
        return 1;
    }
    const int timeout = self->options.ReadTimeout;
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
        StartFailThread();
        return;
    }
    ReadLoop();
}

bool MediaState::OpenInput()
{
    const AvApi& av = Av();
    auto fail = [&](const QString& message, TLogLevel level = TLogLevel::llError) {
        Log(int(level), message);
        host.SetLastError(message);
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
    if (options.genpts)
        ic->flags |= AVFMT_FLAG_GENPTS;
    if (options.OnBeforeFindStreamInfo) {
        auto* context = ic;
        host.RunHostEvent([&] { options.OnBeforeFindStreamInfo(sender, context); });
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
    if (!options.DisableVideo)
        videoIndex = av.av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (!options.DisableAudio)
        audioIndex = av.av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);

    if (audioIndex >= 0)
        OpenStream(audioIndex);
    if (videoIndex >= 0)
        OpenStream(videoIndex);
    if (!videoStream && !audioStream) {
        return fail(QStringLiteral("Failed to open file \"%1\" or configure filtergraph").arg(fileName),
                    TLogLevel::llFatal);
    }
    masterClock = ChooseMasterClock(options.SyncType, videoStream != nullptr, audioStream != nullptr);
    if (infiniteBuffer < 0 && realtime)
        infiniteBuffer = 1;
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
    AVDictionary* codecOptions = nullptr;
    av.av_dict_set(&codecOptions, "threads", "auto", 0);
    const int err = av.avcodec_open2(avctx, codec, &codecOptions);
    av.av_dict_free(&codecOptions);
    if (err < 0) {
        Log(int(TLogLevel::llError), QStringLiteral("avcodec_open2() failed."));
        av.avcodec_free_context(&avctx);
        return false;
    }
    eof = false;
    stream->discard = AVDISCARD_DEFAULT;

    auto startDecoder = [&](Decoder& d, void (MediaState::*body)()) -> bool {
        d.avctx = avctx;
        d.pkt = av.av_packet_alloc();
        if (!d.pkt)
            return false;
        d.pktSerial = -1;
        d.queue->Start();
        d.thread = std::thread([this, body] { (this->*body)(); });
        return true;
    };

    if (avctx->codec_type == AVMEDIA_TYPE_AUDIO) {
        if (!options.AudioFilters.isEmpty())
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
        audioDrift = AudioDriftAverage{std::exp(std::log(0.01) / kAudioDiffAvgCount),
                                       double(audioHwBufSize) / audioTgt.bytesPerSec};
        audioStreamIndex = streamIndex;
        audioStream = stream;
        if ((ic->iformat->flags & (AVFMT_NOBINSEARCH | AVFMT_NOGENSEARCH | AVFMT_NO_BYTE_SEEK)) && !ic->iformat->read_seek) {
            auddec.startPts = stream->start_time;
            auddec.startPtsTb = stream->time_base;
        }
        if (!startDecoder(auddec, &MediaState::AudioDecoderMain))
            return false;
        hasAudio = true;
        Sdl().SDL_PauseAudioDevice(audioDevice, 0);
    } else if (avctx->codec_type == AVMEDIA_TYPE_VIDEO) {
        videoStreamIndex = streamIndex;
        videoStream = stream;
        {
            const AVRational rate = av.av_guess_frame_rate(ic, stream, nullptr);
            frameDurationSec = rate.num && rate.den ? double(rate.den) / rate.num : 0.0;
        }
        {
            std::lock_guard guard(shownLock);
            codedWidth = stream->codecpar->width;
            codedHeight = stream->codecpar->height;
        }
        if (!startDecoder(viddec, &MediaState::VideoDecoderMain))
            return false;
        hasVideo = true;
    } else {
        av.avcodec_free_context(&avctx);
        return false;
    }
    return true;
}

bool MediaState::QueuesFull() const
{
    if (infiniteBuffer >= 1)
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
    StartPlaying();
    const AvApi& av = Av();
    AVPacket* pkt = av.av_packet_alloc();
    bool lastPaused = false;
    while (!abortRequest) {
        HandlePause(lastPaused);
        std::optional<SeekRequest> seek;
        bool flush = false;
        {
            std::lock_guard guard(seekLock);
            seek = pendingSeek;
            flush = flushReq;
        }
        if (seek) {
            HandleSeek(*seek);
            continue;
        }
        if (flush)
            HandleFlush();
        if (QueuesFull()) {
            WaitForRoom();
            continue;
        }
        NoticePlayedToEnd();
        const int err = ReadPacket(pkt);
        if (abortRequest) {
            av.av_packet_unref(pkt);
            break;
        }
        if (err < 0) {
            HandleReadFailure(err, pkt);
            WaitForRoom();
            continue;
        }
        RoutePacket(pkt);
    }
    av.av_packet_free(&pkt);
    seekPausedPending = 0;
}

void MediaState::StartPlaying()
{
    fileOpened = 1;

    // The host hears of the open before the first state; what it leaves in the sizes is kept.
    int screenWidth = controls.ScreenWidth;
    int screenHeight = controls.ScreenHeight;
    if (options.OnFileOpen) {
        const int frameWidth = videoStream ? videoStream->codecpar->width : -1;
        const int frameHeight = videoStream ? videoStream->codecpar->height : -1;
        host.RunHostEvent([&] { options.OnFileOpen(sender, fileDuration, frameWidth, frameHeight, screenWidth, screenHeight); });
    }
    controls.ScreenWidth = screenWidth;
    controls.ScreenHeight = screenHeight;

    host.OpenReady(options.OnPosition, options.OnState);
    playThread = std::thread([this] {
        playPublished.wait(false);
        PlayMain();
    });
    playPublished = true;
    playPublished.notify_all();
    // Wait for the play thread to run (or for a stop that came first).
    while (!playStarted && !abortRequest)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    opening = false;
    UiHandover::WakeWaiter();
}

// A network input is told when playing pauses and goes on.
void MediaState::HandlePause(bool& lastPaused)
{
    if (paused == lastPaused)
        return;
    lastPaused = paused;
    if (lastPaused)
        Av().av_read_pause(ic);
    else
        Av().av_read_play(ic);
}

void MediaState::HandleSeek(const SeekRequest& seek)
{
    const AvApi& av = Av();
    if (ic->pb) { // a read error earlier: the seek tries the input again
        ic->pb->error = 0;
        ic->pb->eof_reached = 0;
    }
    const int64_t target = seek.target;
    const int64_t minTs = seek.relative > 0 ? target - seek.relative + 2 : INT64_MIN;
    const int64_t maxTs = seek.relative < 0 ? target - seek.relative - 2 : INT64_MAX;
    int err = av.avformat_seek_file(ic, -1, minTs, target, maxTs, seek.flags);
    if (err < 0) // some demuxers only find a key frame on the other side
        err = av.avformat_seek_file(ic, -1, minTs, target, maxTs, seek.flags ^ AVSEEK_FLAG_BACKWARD);
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
        if (seek.flags & AVSEEK_FLAG_BYTE) {
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
        pendingSeek.reset();
    }
    seekDone = true;
    UiHandover::WakeWaiter();
    if (paused && err >= 0 && videoStream)
        stepAfterSeek = true; // the play thread shows the picture at the new place
}

void MediaState::HandleFlush()
{
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

// Until a decoder takes packets or a command comes, 10 ms at most.
void MediaState::WaitForRoom()
{
    std::unique_lock guard(waitLock);
    continueRead.wait_for(guard, std::chrono::milliseconds(10));
}

void MediaState::NoticePlayedToEnd()
{
    if (!paused && !endEventDone && PlayedToEnd()) {
        endEventDone = true;
        host.PostState(TPlayState::psEnd);
    }
}

// The read is timed, so that the interrupt callback can end one that hangs.
int MediaState::ReadPacket(AVPacket* pkt)
{
    readStartMs = int64_t(NowSeconds() * 1000);
    reading = true;
    const int err = Av().av_read_frame(ic, pkt);
    reading = false;
    return err;
}

void MediaState::HandleReadFailure(int err, AVPacket* pkt)
{
    if (videoStream && !pictEvent.exchange(true)) {
        seeking = false; // no picture is coming: the seek is over
        UiHandover::WakeWaiter();
    }
    const bool atEnd = err == AVERROR_EOF || err == AVERROR(EPIPE) || (ic->pb && ic->pb->eof_reached) || err == -1;
    if (atEnd && !eof) {
        HandleEndOfFile(pkt);
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
    // The input cannot be read on: it ends here, as at the end of the file. The reader stays,
    // so seeks (which try the input again), pause and stop still work.
    if (ic->pb && ic->pb->error && !atEnd && !eof)
        EndInput(pkt);
}

void MediaState::HandleEndOfFile(AVPacket* pkt)
{
    EndInput(pkt);
    if (!eofLogged && !isImage2) {
        eofLogged = true;
        Log(int(TLogLevel::llInfo), QStringLiteral("reach end of file: %1").arg(fileName));
    }
}

// The decoders drain what they hold and mark their serial finished.
void MediaState::EndInput(AVPacket* pkt)
{
    if (videoStream)
        videoq.PutNullPacket(pkt, videoStreamIndex);
    if (audioStream)
        audioq.PutNullPacket(pkt, audioStreamIndex);
    eof = true;
}

void MediaState::RoutePacket(AVPacket* pkt)
{
    eof = false;
    if (pkt->stream_index == audioStreamIndex && audioStream)
        audioq.Put(pkt);
    else if (pkt->stream_index == videoStreamIndex && videoStream &&
             !(videoStream->disposition & AV_DISPOSITION_ATTACHED_PIC))
        videoq.Put(pkt);
    else
        Av().av_packet_unref(pkt);
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
