#pragma once
// Everything one open of the engine owns: the input, its queues, decoders, clocks, the audio
// device and the threads that work on them. Created by TryOpen, torn down by its play thread
// (or, after a failed open, by the engine's fail thread).
//
// Lock order: dataLock (play thread, around each refresh) before any queue's lock; shownLock and
// displayRect's lock are taken alone. Clocks, serials and flags read across threads are atomics
// (relaxed where only the value itself matters).

#include "core/Guarded.h"
#include "playback/MediaClock.h"
#include "playback/MediaLibraries.h"
#include "playback/MediaQueues.h"
#include "playback/PlaybackTypes.h"
#include "playback/PlayerOptions.h"
#include "playback/VideoSink.h"

#include <QRect>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class EngineHost;
struct LiveControls;
struct MemoryConnection;

// A seek as the player asks for it, handed to the reader whole.
struct SeekRequest {
    int64_t target = 0;   // µs of the input's time, or a byte position with AVSEEK_FLAG_BYTE
    int64_t relative = 0; // the step from where playing was, 0 for a seek to a place
    int flags = 0;        // FFmpeg's seek flags
};

class MediaState {
public:
    MediaState(EngineHost& host, LiveControls& controls, const QString& fileName, VideoSink* screen, bool openPaused,
               PlayerOptions options);
    ~MediaState(); // joins every thread that is still running
    MediaState(const MediaState&) = delete;

    void StartReader();

    // Commands (any thread): a flag under the command lock, then a wake-up.
    void RequestQuit();
    void RequestRefresh();
    void AbortOpen(); // ends an open still in progress
    void TogglePause();
    // False without pictures; wasStepping: a step was under way already.
    bool StepToNextFrame(bool& wasStepping);
    // False while another seek is pending (taken but not yet performed by the reader).
    bool RequestSeek(const SeekRequest& request);
    void RequestFlush();

    // State the engine reads.
    bool IsPaused() const { return paused.load(); }
    bool IsStepping() const { return step.load(); }
    bool IsSeeking() const { return seeking.load(); }
    bool SeekDone() const { return seekDone.load(); }
    bool PictureSinceSeek() const { return pictEvent.load(); }
    bool PlayThreadLooping() const { return looping.load() && !quitRequested.load(); }
    bool PlayThreadEnded() const { return playEnded.load(); }
    // Still opening: no play thread yet and no failure reported.
    bool Opening() const { return opening.load(); }
    // Done: played and torn down, or failed and reported.
    bool Finished() const { return finished.load(); }
    int OpenResult() const { return fileOpened.load(); } // 0 opening, 1 open, -1 failed, -2 closed
    bool HasVideo() const { return hasVideo.load(); }
    bool HasAudio() const { return hasAudio.load(); }
    int VideoIndex() const { return videoStreamIndex; }
    int AudioIndex() const { return audioStreamIndex; }
    int64_t StartTimeUs() const { return startTime; }
    int64_t DurationUs() const { return fileDuration; }
    double FrameDuration() const { return frameDurationSec.load(); }
    double VideoClock() const { return vidclk.Get(); }
    double MasterClockValue() const;
    double AudioClock() const { return audclk.Get(); }
    int64_t ShownCount() const { return framesShown.load(); }
    int64_t DropCount() const { return framesDroppedEarly.load() + framesDroppedLate.load(); }
    // A copy of the picture on screen as a 32-bit image of the video's size; empty without one.
    QImage ShownPicture(int64_t& pts);
    QRect DisplayRect() const;
    // Joins the reader (used after a failed open, whose reader ends on its own).
    void JoinReader();
    // After a failed open: a short-lived thread joins the reader and tells the host.
    void StartFailThread();

private:
    // Reader thread.
    void ReaderMain();
    bool OpenInput();
    bool OpenStream(int streamIndex);
    void ReadLoop();
    // The steps of ReadLoop, in their order.
    void StartPlaying();
    void HandlePause(bool& lastPaused);
    void HandleSeek(const SeekRequest& seek);
    void HandleFlush();
    void WaitForRoom();
    void NoticePlayedToEnd();
    int ReadPacket(AVPacket* pkt);
    void HandleReadFailure(int err, AVPacket* pkt);
    void HandleEndOfFile(AVPacket* pkt);
    void EndInput(AVPacket* pkt);
    void RoutePacket(AVPacket* pkt);
    void CloseInput();
    static int InterruptCallback(void* opaque);
    bool QueuesFull() const;
    bool PlayedToEnd() const;

    // Decoders.
    struct Decoder {
        AVPacket* pkt = nullptr;
        PacketQueue* queue = nullptr;
        AVCodecContext* avctx = nullptr;
        Relaxed<int> pktSerial{-1}; // read by the reader and the play thread
        Relaxed<int> finished{0};   // the serial decoded to its end, 0 while decoding
        bool packetPending = false;
        int64_t startPts = AV_NOPTS_VALUE;
        AVRational startPtsTb{0, 1};
        int64_t nextPts = AV_NOPTS_VALUE;
        AVRational nextPtsTb{0, 1};
        std::thread thread;
    };
    int DecodeFrame(Decoder& d, AVFrame* frame);
    void DecoderAbort(Decoder& d, FrameQueue& fq);
    void DecoderDestroy(Decoder& d);
    void VideoDecoderMain();
    void AudioDecoderMain();
    int GetVideoFrame(AVFrame* frame);
    bool ConfigureVideoFilters(AVFilterGraph* graph, const AVFrame* frame);
    int QueuePicture(AVFrame* frame, double pts, double duration, int64_t pos, int serial);
    void RunVideoHook(QueuedFrame& entry, AVFrame* frame, double pts);
    // Lets the host draw over a picture as it is shown (pts in seconds of the stream).
    void RunOverlay(QImage& picture, double pts);

    // Audio output.
    int OpenAudio(const AVChannelLayout* wantedLayout, int wantedRate);
    static void AudioCallback(void* opaque, Uint8* stream, int len);
    int DecodeAudioFrame();
    int SynchronizeAudio(int samples);

    // Play thread.
    void PlayMain();
    void Refresh(double& remaining);
    double TargetDelay(double delay) const;
    double FramePairDuration(const QueuedFrame& vp, const QueuedFrame& next) const;
    void UpdateVideoPts(double pts, int64_t pos, int serial);
    void DisplayPicture();
    void ReportPosition();
    void TogglePauseLocked();
    void Teardown();
    MasterClock Master() const { return masterClock; }

    void Log(int level, const QString& message) const; // level: TLogLevel as int
    // Runs one of the host's hooks on an engine thread: what it throws is logged under the
    // hook's name and goes no further. False when it threw.
    template <class Call>
    bool CallHostHook(const char* name, Call&& call) const
    {
        try {
            call();
            return true;
        } catch (const std::exception& error) {
            HostHookFailed(name, error.what());
        } catch (...) {
            HostHookFailed(name, nullptr);
        }
        return false;
    }
    void HostHookFailed(const char* name, const char* what) const;
    QString ErrorText(int code) const;

    EngineHost& host;
    LiveControls& controls;
    std::mutex dataLock; // held by the play thread around each refresh, and by pause/step commands
    const QString fileName;
    VideoSink* screen;
    const bool openPaused;
    // The player's options as they were when the open began: the open's threads read this
    // copy, so the host may change the player's (for the next open) while a video plays. The
    // host's handlers are called with sender, the player, which the open never reaches into.
    const PlayerOptions options;
    TCustomPlayer* const sender;

    // Each thread starts work only once its std::thread object is in place, so that another
    // thread reading (joining) that object never races with its assignment.
    std::thread readerThread;
    std::thread playThread;
    std::atomic<bool> readerPublished{false};
    std::atomic<bool> playPublished{false};
    std::atomic<bool> playStarted{false}; // set once the play thread runs, never reset
    std::atomic<bool> quitRequested{false};
    std::thread failThread;
    std::atomic<bool> failPublished{false};
    std::atomic<bool> opening{true};
    std::atomic<bool> finished{false};

    // Commands to the play thread, guarded by cmdLock.
    std::mutex cmdLock;
    std::condition_variable cmdWake;
    bool quitRequest = false;
    bool refreshRequest = false;

    // Reader state.
    std::atomic<bool> abortRequest{false};
    std::atomic<bool> openAbort{false};
    std::atomic<int> fileOpened{0};
    std::atomic<bool> reading{false};
    std::atomic<int64_t> readStartMs{0};
    std::atomic<bool> timeoutLogged{false};
    std::mutex waitLock; // the reader's own wait mutex for continueRead
    std::condition_variable continueRead;
    AVFormatContext* ic = nullptr;
    MemoryConnection* memoryInput = nullptr;
    AVIOContext* customIo = nullptr;
    bool eof = false;
    bool realtime = false;
    int infiniteBuffer = -1; // the setting, or 1 for a live input
    bool isImage2 = false;
    bool eofLogged = false;
    bool readErrorLogged = false;
    bool endEventDone = false;
    int64_t startTime = 0;       // µs, the container's start time (0 when unknown)
    int64_t fileDuration = -1;   // µs, -1 when the container gives none
    double maxFrameDuration = 3600.0;

    // Seek and flush requests, guarded by seekLock. A seek stays pending until the reader has
    // performed it, so that one asked for meanwhile is refused.
    std::mutex seekLock;
    std::optional<SeekRequest> pendingSeek;
    bool flushReq = false;
    std::atomic<bool> seeking{false};
    std::atomic<bool> seekDone{true};
    std::atomic<bool> pictEvent{true};
    std::atomic<int> seekPausedPending{0};
    std::atomic<bool> stepAfterSeek{false};
    std::atomic<bool> positionRestart{false}; // positions may go back after a seek
    // After a time seek the decoders drop what lies before the target, so the picture shown is
    // the one at the target rather than the key frame before it.
    std::atomic<double> seekTarget{NAN};
    std::atomic<int> videoSeekSerial{-1};
    std::atomic<int> audioSeekSerial{-1};
    AVFrame* heldFrame = nullptr; // video thread: the last picture dropped before the target
    std::atomic<double> frameDurationSec{0};

    // Streams. The flags outlive the stream pointers, which teardown clears after closing.
    std::atomic<bool> hasVideo{false};
    std::atomic<bool> hasAudio{false};
    int videoStreamIndex = -1;
    int audioStreamIndex = -1;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    PacketQueue videoq;
    PacketQueue audioq;
    FrameQueue pictq{&videoq, 3, true};
    FrameQueue sampq{&audioq, 9, true};
    Decoder viddec;
    Decoder auddec;
    MediaClock audclk;
    MediaClock vidclk;
    MediaClock extclk;
    MasterClock masterClock = MasterClock::External;

    // Playing state.
    std::atomic<bool> paused{false};
    std::atomic<bool> step{false};
    std::atomic<bool> looping{false};
    std::atomic<bool> playEnded{false};
    bool forceRefresh = false;
    double frameTimer = 0;
    double frameLastReturnedTime = 0;
    double frameLastFilterDelay = 0;
    std::atomic<int64_t> framesShown{0};
    std::atomic<int64_t> framesDroppedEarly{0};
    std::atomic<int64_t> framesDroppedLate{0};
    std::atomic<int64_t> picturesQueued{0};
    bool positionReported = false;
    int64_t lastReportedPosition = 0;
    QRect lastDrawnRect;
    QSize lastOutputSize;
    SwsContext* displayScaler = nullptr; // play thread
    SwsContext* hookScaler = nullptr;    // video decoder thread
    AVFilterContext* videoFilterIn = nullptr;
    AVFilterContext* videoFilterOut = nullptr;

    // The picture on screen, for CurrentFrame; guarded by shownLock.
    std::mutex shownLock;
    AVFrame* shownFrame = nullptr;
    QImage shownHooked;
    double shownPts = NAN;
    bool shownOverlaid = false; // the overlay was on when it became the shown picture
    int codedWidth = 0; // the video's coded size, 0 without video
    int codedHeight = 0;
    SwsContext* shownScaler = nullptr;

    TGuarded<QRect> displayRect;

    // Audio output state (SDL's audio thread, set up before the device starts).
    SDL_AudioDeviceID audioDevice = 0;
    bool sdlAudioInited = false;
    struct AudioParams {
        int freq = 0;
        AVChannelLayout layout{};
        AVSampleFormat fmt = AV_SAMPLE_FMT_NONE;
        int frameSize = 0;
        int bytesPerSec = 0;
    };
    AudioParams audioSrc;
    AudioParams audioTgt;
    int audioHwBufSize = 0;
    uint8_t* audioBuf = nullptr;
    uint8_t* audioBuf1 = nullptr;
    unsigned audioBuf1Size = 0;
    unsigned audioBufSize = 0;
    int audioBufIndex = 0;
    int audioWriteBufSize = 0;
    double audioClock = NAN;
    int audioClockSerial = -1;
    AudioDriftAverage audioDrift;
    std::atomic<bool> audioFrameAvailable{false};
    SwrContext* swrCtx = nullptr;
};
