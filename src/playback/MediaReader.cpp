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
    if (self->reader.abortRequest || self->reader.openAbort) {
        self->Log(int(TLogLevel::llInfo), QStringLiteral("connecting/reading broken"));
        return 1;
    }
    const int timeout = self->options.ReadTimeout;
    if (self->reader.reading && timeout > 0) {
        const int64_t began = self->reader.readStartMs;
        const int64_t now = int64_t(NowSeconds() * 1000);
        if (began == 0 || now - began > timeout) {
            if (!self->reader.timeoutLogged.exchange(true))
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
        reader.fileOpened = -1;
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

    reader.ic = av.avformat_alloc_context();
    if (!reader.ic)
        return fail(QStringLiteral("av_mallocz() failed."), TLogLevel::llFatal);
    reader.ic->interrupt_callback.callback = InterruptCallback;
    reader.ic->interrupt_callback.opaque = this;

    // A "memory:" address is served by the host's stream through a custom I/O context.
    if (ParseMemoryAddress(fileName)) {
        int result = -1;
        reader.memoryInput = OpenMemoryConnection(fileName, AVIO_FLAG_READ, nullptr, &result);
        if (!reader.memoryInput || result < 0)
            return fail(QStringLiteral("%1: %2").arg(fileName, ErrorText(AVERROR(EIO))));
        auto* buffer = static_cast<unsigned char*>(av.av_malloc(kIoBufferSize));
        reader.customIo = av.avio_alloc_context(buffer, kIoBufferSize, 0, reader.memoryInput, ReadMemoryInput, nullptr, SeekMemoryInput);
        if (!reader.customIo) {
            av.av_free(buffer);
            return fail(QStringLiteral("av_mallocz() failed."), TLogLevel::llFatal);
        }
        reader.ic->pb = reader.customIo;
        reader.ic->flags |= AVFMT_FLAG_CUSTOM_IO;
    }

    AVDictionary* formatOptions = nullptr;
    av.av_dict_set(&formatOptions, "scan_all_pmts", "1", AV_DICT_DONT_OVERWRITE);
    reader.readStartMs = int64_t(NowSeconds() * 1000);
    reader.reading = true;
    const QByteArray address = fileName.toUtf8();
    int err = av.avformat_open_input(&reader.ic, address.constData(), nullptr, &formatOptions);
    reader.reading = false;
    av.av_dict_free(&formatOptions);
    if (err < 0) {
        reader.ic = nullptr; // freed by avformat_open_input on failure
        return fail(QStringLiteral("%1: %2").arg(fileName, ErrorText(err)));
    }
    if (options.genpts)
        reader.ic->flags |= AVFMT_FLAG_GENPTS;
    if (options.OnBeforeFindStreamInfo) {
        auto* context = reader.ic;
        host.RunHostEvent([&] { options.OnBeforeFindStreamInfo(sender, context); });
    }
    reader.readStartMs = int64_t(NowSeconds() * 1000);
    reader.reading = true;
    err = av.avformat_find_stream_info(reader.ic, nullptr);
    reader.reading = false;
    if (err < 0)
        return fail(QStringLiteral("%1: could not find codec parameters").arg(fileName), TLogLevel::llWarning);
    if (reader.ic->pb)
        reader.ic->pb->eof_reached = 0;

    const bool timestampsJump = reader.ic->iformat->flags & AVFMT_TS_DISCONT;
    reader.maxFrameDuration = timestampsJump ? 10.0 : 3600.0;
    reader.isImage2 = qstrcmp(reader.ic->iformat->name, "image2") == 0;
    reader.startTime = reader.ic->start_time != AV_NOPTS_VALUE ? reader.ic->start_time : 0;
    reader.fileDuration = reader.isImage2 ? 0 : (reader.ic->duration != AV_NOPTS_VALUE ? reader.ic->duration : -1);
    reader.realtime = qstrcmp(reader.ic->iformat->name, "rtp") == 0 || qstrcmp(reader.ic->iformat->name, "rtsp") == 0 ||
               qstrcmp(reader.ic->iformat->name, "sdp") == 0 || fileName.startsWith("rtp:") || fileName.startsWith("udp:");

    for (unsigned i = 0; i < reader.ic->nb_streams; ++i)
        reader.ic->streams[i]->discard = AVDISCARD_ALL;
    int videoIndex = -1, audioIndex = -1;
    if (!options.DisableVideo)
        videoIndex = av.av_find_best_stream(reader.ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (!options.DisableAudio)
        audioIndex = av.av_find_best_stream(reader.ic, AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);

    if (audioIndex >= 0)
        OpenStream(audioIndex);
    if (videoIndex >= 0)
        OpenStream(videoIndex);
    if (!video.stream && !audio.stream) {
        return fail(QStringLiteral("Failed to open file \"%1\" or configure filtergraph").arg(fileName),
                    TLogLevel::llFatal);
    }
    reader.masterClock = ChooseMasterClock(options.SyncType, video.stream != nullptr, audio.stream != nullptr);
    if (reader.infiniteBuffer < 0 && reader.realtime)
        reader.infiniteBuffer = 1;
    seek.pictureSince = true;
    return true;
}

bool MediaState::OpenStream(int streamIndex)
{
    const AvApi& av = Av();
    AVStream* stream = reader.ic->streams[streamIndex];
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
    reader.eof = false;
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
        audio.hwBufSize = hwSize;
        audio.src.freq = audio.tgt.freq;
        audio.src.fmt = audio.tgt.fmt;
        av.av_channel_layout_copy(&audio.src.layout, &audio.tgt.layout);
        audio.src.frameSize = audio.tgt.frameSize;
        audio.src.bytesPerSec = audio.tgt.bytesPerSec;
        audio.bufSize = 0;
        audio.bufIndex = 0;
        audio.drift = AudioDriftAverage{std::exp(std::log(0.01) / kAudioDiffAvgCount),
                                       double(audio.hwBufSize) / audio.tgt.bytesPerSec};
        audio.streamIndex = streamIndex;
        audio.stream = stream;
        if ((reader.ic->iformat->flags & (AVFMT_NOBINSEARCH | AVFMT_NOGENSEARCH | AVFMT_NO_BYTE_SEEK)) && !reader.ic->iformat->read_seek) {
            audio.decoder.startPts = stream->start_time;
            audio.decoder.startPtsTb = stream->time_base;
        }
        if (!startDecoder(audio.decoder, &MediaState::AudioDecoderMain))
            return false;
        audio.present = true;
        Sdl().SDL_PauseAudioDevice(audio.device, 0);
    } else if (avctx->codec_type == AVMEDIA_TYPE_VIDEO) {
        video.streamIndex = streamIndex;
        video.stream = stream;
        {
            const AVRational rate = av.av_guess_frame_rate(reader.ic, stream, nullptr);
            video.frameDuration = rate.num && rate.den ? double(rate.den) / rate.num : 0.0;
        }
        {
            std::lock_guard guard(shown.lock);
            shown.codedWidth = stream->codecpar->width;
            shown.codedHeight = stream->codecpar->height;
        }
        if (!startDecoder(video.decoder, &MediaState::VideoDecoderMain))
            return false;
        video.present = true;
    } else {
        av.avcodec_free_context(&avctx);
        return false;
    }
    return true;
}

bool MediaState::QueuesFull() const
{
    if (reader.infiniteBuffer >= 1)
        return false;
    if (audio.packets.Bytes() + video.packets.Bytes() > kMaxQueueBytes)
        return true;
    auto enough = [](const AVStream* st, const PacketQueue& q) {
        return !st || q.Aborted() || (st->disposition & AV_DISPOSITION_ATTACHED_PIC) || q.Packets() > kMinFrames;
    };
    return enough(audio.stream, audio.packets) && enough(video.stream, video.packets);
}

bool MediaState::PlayedToEnd() const
{
    const bool audioDone = !audio.stream || (audio.decoder.finished == audio.packets.serial && audio.samples.Remaining() == 0);
    const bool videoDone = !video.stream || (video.decoder.finished == video.packets.serial && video.pictures.Remaining() == 0);
    return audioDone && videoDone;
}

void MediaState::ReadLoop()
{
    StartPlaying();
    const AvApi& av = Av();
    AVPacket* pkt = av.av_packet_alloc();
    bool lastPaused = false;
    while (!reader.abortRequest) {
        HandlePause(lastPaused);
        std::optional<SeekRequest> request;
        bool flush = false;
        {
            std::lock_guard guard(seek.lock);
            request = seek.pending;
            flush = seek.flush;
        }
        if (request) {
            HandleSeek(*request);
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
        if (reader.abortRequest) {
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
}

void MediaState::StartPlaying()
{
    reader.fileOpened = 1;

    // The host hears of the open before the first state; what it leaves in the sizes is kept.
    int screenWidth = controls.ScreenWidth;
    int screenHeight = controls.ScreenHeight;
    if (options.OnFileOpen) {
        const int frameWidth = video.stream ? video.stream->codecpar->width : -1;
        const int frameHeight = video.stream ? video.stream->codecpar->height : -1;
        host.RunHostEvent([&] { options.OnFileOpen(sender, reader.fileDuration, frameWidth, frameHeight, screenWidth, screenHeight); });
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
    while (!playStarted && !reader.abortRequest)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    opening = false;
    UiHandover::WakeWaiter();
}

// A network input is told when playing pauses and goes on.
void MediaState::HandlePause(bool& lastPaused)
{
    if (play.paused == lastPaused)
        return;
    lastPaused = play.paused;
    if (lastPaused)
        Av().av_read_pause(reader.ic);
    else
        Av().av_read_play(reader.ic);
}

void MediaState::HandleSeek(const SeekRequest& request)
{
    const AvApi& av = Av();
    if (reader.ic->pb) { // a read error earlier: the seek tries the input again
        reader.ic->pb->error = 0;
        reader.ic->pb->eof_reached = 0;
    }
    const int64_t target = request.target;
    const int64_t minTs = request.relative > 0 ? target - request.relative + 2 : INT64_MIN;
    const int64_t maxTs = request.relative < 0 ? target - request.relative - 2 : INT64_MAX;
    int err = av.avformat_seek_file(reader.ic, -1, minTs, target, maxTs, request.flags);
    if (err < 0) // some demuxers only find a key frame on the other side
        err = av.avformat_seek_file(reader.ic, -1, minTs, target, maxTs, request.flags ^ AVSEEK_FLAG_BACKWARD);
    if (err < 0) {
        Log(int(TLogLevel::llError), QStringLiteral("%1: error while seeking").arg(fileName));
        if (video.stream)
            seek.pictureSince = true;
        seek.seeking = false; // no picture will come: the seek is over
    } else {
        audio.frameAvailable = false;
        if (audio.stream)
            audio.packets.Flush();
        if (video.stream) {
            video.packets.Flush();
            seek.pictureSince = false;
        }
        if (request.flags & AVSEEK_FLAG_BYTE) {
            extclk.Set(NAN, 0);
        } else {
            extclk.Set(target / double(AV_TIME_BASE), 0);
            seek.target = target / double(AV_TIME_BASE);
            seek.positionRestart = true;
            video.seekSerial = video.packets.serial;
            audio.seekSerial = audio.packets.serial;
        }
        if (!video.stream)
            seek.seeking = false;
    }
    reader.eofLogged = reader.readErrorLogged = reader.endEventDone = false;
    reader.eof = false;
    {
        std::lock_guard guard(seek.lock);
        seek.pending.reset();
    }
    seek.done = true;
    UiHandover::WakeWaiter();
    if (play.paused && err >= 0 && video.stream)
        seek.stepAfter = true; // the play thread shows the picture at the new place
}

void MediaState::HandleFlush()
{
    if (audio.stream)
        audio.packets.Flush();
    if (video.stream)
        video.packets.Flush();
    extclk.Set(NAN, 0);
    {
        std::lock_guard guard(seek.lock);
        seek.flush = false;
    }
    seek.done = true;
}

// Until a decoder takes packets or a command comes, 10 ms at most.
void MediaState::WaitForRoom()
{
    std::unique_lock guard(reader.waitLock);
    reader.continueRead.wait_for(guard, std::chrono::milliseconds(10));
}

void MediaState::NoticePlayedToEnd()
{
    if (!play.paused && !reader.endEventDone && PlayedToEnd()) {
        reader.endEventDone = true;
        host.PostState(TPlayState::psEnd);
    }
}

// The read is timed, so that the interrupt callback can end one that hangs.
int MediaState::ReadPacket(AVPacket* pkt)
{
    reader.readStartMs = int64_t(NowSeconds() * 1000);
    reader.reading = true;
    const int err = Av().av_read_frame(reader.ic, pkt);
    reader.reading = false;
    return err;
}

void MediaState::HandleReadFailure(int err, AVPacket* pkt)
{
    if (video.stream && !seek.pictureSince.exchange(true)) {
        seek.seeking = false; // no picture is coming: the seek is over
        UiHandover::WakeWaiter();
    }
    const bool atEnd = err == AVERROR_EOF || err == AVERROR(EPIPE) || (reader.ic->pb && reader.ic->pb->eof_reached) || err == -1;
    if (atEnd && !reader.eof) {
        HandleEndOfFile(pkt);
    } else if (err == AVERROR(EAGAIN)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (reader.ic->pb) {
            reader.ic->pb->eof_reached = 0;
            reader.ic->pb->error = 0;
        }
    } else if (!atEnd && !reader.readErrorLogged) {
        reader.readErrorLogged = true;
        Log(int(TLogLevel::llError), QStringLiteral("error #%1 while reading file: %2").arg(err).arg(fileName));
    }
    // The input cannot be read on: it ends here, as at the end of the file. The reader stays,
    // so seeks (which try the input again), pause and stop still work.
    if (reader.ic->pb && reader.ic->pb->error && !atEnd && !reader.eof)
        EndInput(pkt);
}

void MediaState::HandleEndOfFile(AVPacket* pkt)
{
    EndInput(pkt);
    if (!reader.eofLogged && !reader.isImage2) {
        reader.eofLogged = true;
        Log(int(TLogLevel::llInfo), QStringLiteral("reach end of file: %1").arg(fileName));
    }
}

// The decoders drain what they hold and mark their serial finished.
void MediaState::EndInput(AVPacket* pkt)
{
    if (video.stream)
        video.packets.PutNullPacket(pkt, video.streamIndex);
    if (audio.stream)
        audio.packets.PutNullPacket(pkt, audio.streamIndex);
    reader.eof = true;
}

void MediaState::RoutePacket(AVPacket* pkt)
{
    reader.eof = false;
    if (pkt->stream_index == audio.streamIndex && audio.stream)
        audio.packets.Put(pkt);
    else if (pkt->stream_index == video.streamIndex && video.stream &&
             !(video.stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
        video.packets.Put(pkt);
    else
        Av().av_packet_unref(pkt);
}

void MediaState::CloseInput()
{
    const AvApi& av = Av();
    if (reader.ic)
        av.avformat_close_input(&reader.ic);
    if (reader.customIo) {
        av.av_freep(&reader.customIo->buffer);
        av.avio_context_free(&reader.customIo);
    }
    if (reader.memoryInput) {
        CloseMemoryConnection(reader.memoryInput);
        reader.memoryInput = nullptr;
    }
}
