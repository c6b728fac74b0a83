#pragma once
// Everything one open of the engine owns: the input, its queues, decoders, clocks, the audio
// device and the threads that work on them. Created by TryOpen, torn down by its play thread
// (or, after a failed open, by the engine's fail thread).
//
// The state is split by owner: the reader's, the video chain, the audio chain, the play
// thread's and the shown picture, each saying which thread owns it and what others read.
//
// Lock order: dataLock (play thread, around each refresh) before a frame queue's lock, shown.lock
// and play.displayRect's lock; no other engine lock is taken while one of those is held, and
// seek.lock, cmdLock and reader.waitLock are taken alone. Clocks, serials and flags read across
// threads are atomics (relaxed where only the value itself matters).

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
    bool IsPaused() const { return play.paused.load(); }
    bool IsStepping() const { return play.step.load(); }
    bool IsSeeking() const { return seek.seeking.load(); }
    bool SeekDone() const { return seek.done.load(); }
    bool PictureSinceSeek() const { return seek.pictureSince.load(); }
    bool PlayThreadLooping() const { return play.looping.load() && !quitRequested.load(); }
    bool PlayThreadEnded() const { return play.ended.load(); }
    // Still opening: no play thread yet and no failure reported.
    bool Opening() const { return opening.load(); }
    // Done: played and torn down, or failed and reported.
    bool Finished() const { return finished.load(); }
    int OpenResult() const { return reader.fileOpened.load(); } // 0 opening, 1 open, -1 failed, -2 closed
    bool HasVideo() const { return video.present.load(); }
    bool HasAudio() const { return audio.present.load(); }
    int VideoIndex() const { return video.streamIndex; }
    int AudioIndex() const { return audio.streamIndex; }
    int64_t StartTimeUs() const { return reader.startTime; }
    int64_t DurationUs() const { return reader.fileDuration; }
    double FrameDuration() const { return video.frameDuration.load(); }
    double VideoClock() const { return video.clock.Get(); }
    double MasterClockValue() const;
    double AudioClock() const { return audio.clock.Get(); }
    int64_t ShownCount() const { return play.framesShown.load(); }
    int64_t DropCount() const { return video.droppedEarly.load() + play.droppedLate.load(); }
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
    void HandleSeek(const SeekRequest& request);
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
    MasterClock Master() const { return reader.masterClock; }

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
    const QString fileName;
    VideoSink* screen;
    const bool openPaused;
    // The player's options as they were when the open began: the open's threads read this
    // copy, so the host may change the player's (for the next open) while a video plays. The
    // host's handlers are called with sender, the player, which the open never reaches into.
    const PlayerOptions options;
    TCustomPlayer* const sender;

    // The open's threads. Each starts work only once its std::thread object is in place, so
    // that another thread reading (joining) that object never races with its assignment.
    std::thread readerThread;
    std::thread playThread;
    std::thread failThread;
    std::atomic<bool> readerPublished{false};
    std::atomic<bool> playPublished{false};
    std::atomic<bool> failPublished{false};
    std::atomic<bool> playStarted{false}; // set once the play thread runs, never reset
    std::atomic<bool> quitRequested{false};
    std::atomic<bool> opening{true};
    std::atomic<bool> finished{false};

    // Commands to the play thread (any thread), guarded by cmdLock.
    std::mutex cmdLock;
    std::condition_variable cmdWake;
    bool quitRequest = false;
    bool refreshRequest = false;

    // Held by the play thread around each refresh, and by the pause and step commands.
    std::mutex dataLock;

    // The reader thread's: the input and reading it. The interrupt callback runs inside
    // FFmpeg's calls on this thread.
    struct ReaderState {
        // Atomics other threads use: teardown and the destructor set abortRequest, AbortOpen
        // (UI) sets openAbort and clears readStartMs, the UI reads fileOpened.
        std::atomic<bool> abortRequest{false};
        std::atomic<bool> openAbort{false};
        std::atomic<int> fileOpened{0};
        std::atomic<bool> reading{false};
        std::atomic<int64_t> readStartMs{0};
        std::atomic<bool> timeoutLogged{false};
        // The reader waits here for room in the queues; the decoders and commands wake it.
        std::mutex waitLock;
        std::condition_variable continueRead;

        AVFormatContext* ic = nullptr; // the video decoder reads the open input's stream data
        MemoryConnection* memoryInput = nullptr;
        AVIOContext* customIo = nullptr;
        bool eof = false;
        int infiniteBuffer = -1; // the setting, or 1 for a live input
        bool eofLogged = false;
        bool readErrorLogged = false;
        bool endEventDone = false;

        // Set while opening and never after: the other threads read them once they have been
        // started or handed packets by the reader.
        bool realtime = false;
        bool isImage2 = false;
        int64_t startTime = 0;     // µs, the container's start time (0 when unknown)
        int64_t fileDuration = -1; // µs, -1 when the container gives none
        double maxFrameDuration = 3600.0;
        MasterClock masterClock = MasterClock::External;
    } reader;

    // A seek or flush on its way from the player to the reader, and the news of it going back.
    struct SeekState {
        // The request, guarded by lock: set by RequestSeek/RequestFlush, taken whole by the
        // reader and cleared once performed, so a seek asked for meanwhile is refused.
        std::mutex lock;
        std::optional<SeekRequest> pending;
        bool flush = false;
        // Atomics: seeking and done are set by the command and cleared by the reader (seeking
        // also by the first picture); pictureSince by the reader and the video decoder; the
        // play thread takes stepAfter and positionRestart; the decoders read target.
        std::atomic<bool> seeking{false};
        std::atomic<bool> done{true};
        std::atomic<bool> pictureSince{true};
        std::atomic<bool> stepAfter{false};
        std::atomic<bool> positionRestart{false}; // positions may go back after a seek
        // After a time seek the decoders drop what lies before the target, so the picture shown
        // is the one at the target rather than the key frame before it.
        std::atomic<double> target{NAN};
    } seek;

    // What each chain has: its stream, the reader's packets for it, its decoder and clock.
    struct StreamChain {
        std::atomic<bool> present{false}; // outlives stream, which teardown clears
        int streamIndex = -1;
        AVStream* stream = nullptr;
        PacketQueue packets;
        Decoder decoder;
        MediaClock clock; // set by the chain's last thread (below), read by all (relaxed)
        std::atomic<int> seekSerial{-1}; // set by the reader at a seek, cleared by the decoder
    };

    // The video chain: the reader puts packets, the video decoder thread (which owns the
    // decoder, the filters, the hook's scaler and the held frame) pushes pictures, the play
    // thread shows them. The queues have their own locks; the reader sets up the stream and
    // the decoder before the decoder thread starts, and teardown ends it after joining it.
    struct VideoChain : StreamChain { // its clock is set by the play thread
        FrameQueue pictures{&packets, 3, true};
        std::atomic<double> frameDuration{0};
        AVFrame* heldFrame = nullptr; // the last picture dropped before the seek target
        SwsContext* hookScaler = nullptr;
        AVFilterContext* filterIn = nullptr;
        AVFilterContext* filterOut = nullptr;
        double lastReturnedTime = 0;
        double lastFilterDelay = 0;
        std::atomic<int64_t> picturesQueued{0}; // read by the play thread
        std::atomic<int64_t> droppedEarly{0};   // read by the UI
    } video;

    // The audio chain: the reader puts packets, the audio decoder thread pushes sound frames,
    // SDL's audio thread (AudioCallback, which owns the output buffers, the resampler and the
    // drift average) plays them. The reader sets everything up before it starts the device,
    // teardown closes the device before freeing anything.
    struct AudioParams {
        int freq = 0;
        AVChannelLayout layout{};
        AVSampleFormat fmt = AV_SAMPLE_FMT_NONE;
        int frameSize = 0;
        int bytesPerSec = 0;
    };
    struct AudioChain : StreamChain { // its clock is set by the audio callback
        FrameQueue samples{&packets, 9, true};
        std::atomic<bool> frameAvailable{false}; // set by the callback, cleared at a seek
        SDL_AudioDeviceID device = 0;
        bool sdlInited = false;
        AudioParams src;
        AudioParams tgt;
        int hwBufSize = 0;
        uint8_t* buf = nullptr;
        uint8_t* buf1 = nullptr;
        unsigned buf1Size = 0;
        unsigned bufSize = 0;
        int bufIndex = 0;
        int writeBufSize = 0;
        double frameEndPts = NAN; // the time at the end of the last frame taken
        int frameEndSerial = -1;
        AudioDriftAverage drift;
        SwrContext* swr = nullptr;
    } audio;

    // The external clock: set by the reader at a seek or flush, followed by the audio callback
    // and the play thread (relaxed fields).
    MediaClock extclk;

    // The play thread's: picture timing and display, under dataLock. The pause and step
    // commands change paused, step and frameTimer under dataLock too; any thread reads the
    // atomics.
    struct PlayState {
        std::atomic<bool> paused{false};
        std::atomic<bool> step{false};
        std::atomic<bool> looping{false};
        std::atomic<bool> ended{false};
        bool forceRefresh = false;
        double frameTimer = 0;
        std::atomic<int64_t> framesShown{0};
        std::atomic<int64_t> droppedLate{0};
        bool positionReported = false;
        int64_t lastReportedPosition = 0;
        QSize lastOutputSize;
        SwsContext* displayScaler = nullptr;
        TGuarded<QRect> displayRect; // read by the UI
    } play;

    // The picture on screen, guarded by lock: the play thread sets it, the UI copies it
    // (CurrentFrame), the reader sets the coded size at the open and teardown clears it.
    struct ShownState {
        std::mutex lock;
        AVFrame* frame = nullptr;
        QImage hooked;
        double pts = NAN;
        bool overlaid = false; // the overlay was on when it became the shown picture
        int codedWidth = 0;    // the video's coded size, 0 without video
        int codedHeight = 0;
        SwsContext* scaler = nullptr;
    } shown;
};
