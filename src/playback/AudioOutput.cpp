// Sound output through SDL's audio callback: resampling to the device's format, volume, and
// the audio clock that usually leads the others.
#include "playback/MediaState.h"

#include "core/UiHandover.h"
#include "playback/EngineHost.h"
#include "playback/EngineLog.h"
#include "playback/MediaStateInternal.h"

#include <bit>
#include <algorithm>
#include <cmath>

using namespace engine;

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
        audio.sdlInited = true;
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
    while (!(audio.device = sdl.SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained,
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
    audio.tgt.fmt = AV_SAMPLE_FMT_S16;
    audio.tgt.freq = obtained.freq;
    av.av_channel_layout_uninit(&audio.tgt.layout);
    av.av_channel_layout_copy(&audio.tgt.layout, &wantedLayout);
    av.av_channel_layout_uninit(&wantedLayout);
    audio.tgt.frameSize = av.av_samples_get_buffer_size(nullptr, audio.tgt.layout.nb_channels, 1, audio.tgt.fmt, 1);
    audio.tgt.bytesPerSec = av.av_samples_get_buffer_size(nullptr, audio.tgt.layout.nb_channels, audio.tgt.freq, audio.tgt.fmt, 1);
    if (audio.tgt.bytesPerSec <= 0 || audio.tgt.frameSize <= 0) {
        Log(int(TLogLevel::llError), QStringLiteral("av_samples_get_buffer_size failed"));
        return -1;
    }
    return int(obtained.size);
}

int MediaState::SynchronizeAudio(int samples)
{
    if (Master() == MasterClock::Audio)
        return samples;
    return CorrectedSampleCount(audio.drift, samples, audio.clock.Get() - MasterClockValue(), audio.src.freq);
}

int MediaState::DecodeAudioFrame()
{
    const AvApi& av = Av();
    if (play.paused)
        return -1;
    QueuedFrame* af = nullptr;
    // SDL's audio thread must not block: with nothing decoded in time it plays silence.
    const int waitMs = std::max(1, int(500.0 * audio.hwBufSize / std::max(audio.tgt.bytesPerSec, 1)));
    do {
        af = audio.samples.PeekReadableFor(waitMs);
        if (!af)
            return -1;
        audio.samples.Next();
    } while (af->serial != audio.packets.serial);

    AVFrame* frame = af->frame;
    const int dataSize = av.av_samples_get_buffer_size(nullptr, frame->ch_layout.nb_channels, frame->nb_samples,
                                                       AVSampleFormat(frame->format), 1);
    const int wantedSamples = SynchronizeAudio(frame->nb_samples);

    if (frame->format != audio.src.fmt || av.av_channel_layout_compare(&frame->ch_layout, &audio.src.layout) ||
        frame->sample_rate != audio.src.freq || (wantedSamples != frame->nb_samples && !audio.swr)) {
        av.swr_free(&audio.swr);
        av.swr_alloc_set_opts2(&audio.swr, &audio.tgt.layout, audio.tgt.fmt, audio.tgt.freq, &frame->ch_layout,
                               AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        if (!audio.swr || av.swr_init(audio.swr) < 0) {
            Log(int(TLogLevel::llError), QStringLiteral("Cannot create sample rate converter for conversion of %1 Hz %2 %3 channels to %4 Hz %5 %6 channels!")
                                             .arg(frame->sample_rate)
                                             .arg(QString::fromLatin1(av.av_get_sample_fmt_name(AVSampleFormat(frame->format))))
                                             .arg(frame->ch_layout.nb_channels).arg(audio.tgt.freq)
                                             .arg(QString::fromLatin1(av.av_get_sample_fmt_name(audio.tgt.fmt)))
                                             .arg(audio.tgt.layout.nb_channels));
            av.swr_free(&audio.swr);
            return -1;
        }
        av.av_channel_layout_uninit(&audio.src.layout);
        av.av_channel_layout_copy(&audio.src.layout, &frame->ch_layout);
        audio.src.freq = frame->sample_rate;
        audio.src.fmt = AVSampleFormat(frame->format);
    }

    int resampledSize = 0;
    if (audio.swr) {
        const uint8_t** in = const_cast<const uint8_t**>(frame->extended_data);
        const int outCount = int(int64_t(wantedSamples) * audio.tgt.freq / frame->sample_rate + 256);
        const int outSize = av.av_samples_get_buffer_size(nullptr, audio.tgt.layout.nb_channels, outCount, audio.tgt.fmt, 0);
        if (outSize < 0)
            return -1;
        if (wantedSamples != frame->nb_samples &&
            av.swr_set_compensation(audio.swr, (wantedSamples - frame->nb_samples) * audio.tgt.freq / frame->sample_rate,
                                    wantedSamples * audio.tgt.freq / frame->sample_rate) < 0)
            return -1;
        av.av_fast_malloc(&audio.buf1, &audio.buf1Size, size_t(outSize));
        if (!audio.buf1)
            return AVERROR(ENOMEM);
        const int converted = av.swr_convert(audio.swr, &audio.buf1, outCount, in, frame->nb_samples);
        if (converted < 0)
            return -1;
        if (converted == outCount && av.swr_init(audio.swr) < 0) // buffer probably too small
            av.swr_free(&audio.swr);
        audio.buf = audio.buf1;
        resampledSize = converted * audio.tgt.layout.nb_channels * av.av_get_bytes_per_sample(audio.tgt.fmt);
    } else {
        audio.buf = frame->data[0];
        resampledSize = dataSize;
    }
    audio.frameEndPts = std::isnan(af->pts) ? NAN : af->pts + double(frame->nb_samples) / frame->sample_rate;
    audio.frameEndSerial = af->serial;
    audio.frameAvailable = true;
    if (options.AudioHook && options.OnAudioHook) // on SDL's audio thread: nothing thrown may leave it
        CallHostHook("OnAudioHook", [&] {
            options.OnAudioHook(sender, HostPts(af->pts, reader.startTime), audio.buf, resampledSize, audio.tgt.freq,
                                audio.tgt.layout.nb_channels);
        });
    return resampledSize;
}

void MediaState::AudioCallback(void* opaque, Uint8* stream, int len)
{
    auto* self = static_cast<MediaState*>(opaque);
    const double callbackTime = NowSeconds();
    while (len > 0) {
        if (self->audio.bufIndex >= int(self->audio.bufSize)) {
            const int size = self->DecodeAudioFrame();
            if (size < 0) { // silence while there is nothing to play
                self->audio.buf = nullptr;
                self->audio.bufSize = unsigned(kAudioMinBufferSize / self->audio.tgt.frameSize * self->audio.tgt.frameSize);
            } else {
                self->audio.bufSize = unsigned(size);
            }
            self->audio.bufIndex = 0;
        }
        const int chunk = std::min(int(self->audio.bufSize) - self->audio.bufIndex, len);
        const int volume = std::clamp(self->controls.AudioVolume.load(std::memory_order_relaxed), 0, SDL_MIX_MAXVOLUME);
        const bool silent = self->controls.Mute.load(std::memory_order_relaxed) || volume == 0 || !self->audio.buf;
        if (!silent && volume == SDL_MIX_MAXVOLUME) {
            memcpy(stream, self->audio.buf + self->audio.bufIndex, size_t(chunk));
        } else {
            memset(stream, 0, size_t(chunk));
            if (!silent)
                Sdl().SDL_MixAudioFormat(stream, self->audio.buf + self->audio.bufIndex, AUDIO_S16SYS, Uint32(chunk), volume);
        }
        len -= chunk;
        stream += chunk;
        self->audio.bufIndex += chunk;
    }
    self->audio.writeBufSize = int(self->audio.bufSize) - self->audio.bufIndex;
    if (!std::isnan(self->audio.frameEndPts)) {
        self->audio.clock.SetAt(self->audio.frameEndPts - double(2 * self->audio.hwBufSize + self->audio.writeBufSize) / self->audio.tgt.bytesPerSec,
                           self->audio.frameEndSerial, callbackTime);
        self->extclk.SyncTo(self->audio.clock);
    }
}
