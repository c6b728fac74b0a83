#pragma once
// The playback engine: plays one media input at a time into a host's output area, with its work
// on threads of its own and its news reported through events.
//
// Threads of one open: the reader (opens the input, then reads packets), one decoder per stream,
// the play thread (picture timing and display), SDL's audio thread and the event thread that
// delivers positions and states. With TriggerEventInMainThread the host's events run on the UI
// thread through a blocking hand-over, so every wait of the UI thread for the engine keeps
// serving hand-overs.

#include "playback/EngineHost.h"
#include "playback/EngineLog.h"
#include "playback/EventDelivery.h"
#include "playback/PlaybackTypes.h"
#include "playback/PlayerOptions.h"
#include "playback/RetiredOpens.h"
#include "playback/VideoSink.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class MediaState;

// The settings and handlers (PlayerOptions' fields) are the player's own public members; an
// open copies them whole.
class TCustomPlayer : public LiveControls, public PlayerOptions {
public:
    TCustomPlayer();
    virtual ~TCustomPlayer();
    TCustomPlayer(const TCustomPlayer&) = delete;
    TCustomPlayer& operator=(const TCustomPlayer&) = delete;

    // Library management. path: the folder searched before the system's path.
    bool LoadAVLib(const QString& path, bool autoLoadSDL = true);
    bool AVLibLoaded() const;
    void UnloadAVLib();
    bool LoadSDLLib(const QString& path, const QString& file);
    bool SDLLibLoaded() const;

    // Playback. screen may be null (sound only, or no display).
    bool TryOpen(const QString& fileName, VideoSink* screen, bool paused = false);
    bool Open(const QString& fileName, VideoSink* screen, bool paused = false);
    void Stop(bool waitForStop);
    void Pause();
    void Resume();
    void TogglePause();
    void StepToNextFrame();
    void Seek(int64_t pts, TSeekFlags flags = {}, bool waitForSeekEnd = false);
    void SeekRelative(double delta, TSeekFlags flags = {}, bool waitForSeekEnd = false);
    QImage CurrentFrame();
    QImage CurrentFrame(int64_t& pts);
    void UpdateScreenPosition();
    QRect DisplayToActualRect(const QRect& displayRect) const;
    void FlushQueue();

    const PlayerOptions& Options() const { return *this; }
    PlayerOptions& Options() { return *this; }

    // Settings that take effect at once (with VideoHook, AudioVolume, Mute and the screen size
    // of LiveControls).
    void SetAspectRatio(float ratio);
    void SetBackColor(const QColor& color);

    // Read-only state.
    QString LastErrMsg() const;
    QString FileName() const;
    VideoSink* ScreenHandle() const { return screenHandle; }
    int FrameWidth() const { return frameWidth.load(); }
    int FrameHeight() const { return frameHeight.load(); }
    int64_t CurrentPTS() const { return currentPTS.load(); }
    int64_t CurrentPos() const { return currentPos.load(); }
    TPlayState PlayState() const { return playState.load(); }
    bool Paused() const;
    // An open is under way (TryOpen refuses another meanwhile): from TryOpen until the file-open
    // or open-failed event has been handled and the play thread runs.
    bool Opening() const;
    bool Seeking() const;
    int VideoStreamIndex() const;
    int AudioStreamIndex() const;
    int SubtitleStreamIndex() const { return -1; }
    // Counters of the open input, for measurements: pictures shown and dropped.
    int64_t FramesShown() const;
    int64_t FramesDropped() const;
    // Audio clock minus video clock in seconds (NaN when either has no value).
    double AudioVideoDrift() const;

private:
    // How a host handler was raised: by a thread that the engine's own stop waits for (the
    // reader, the fail thread), or by the event thread.
    enum class HostEventKind { BlocksStop, EventThread };

    // What the open under way tells the player. A member rather than a base: the player's
    // destructor stops the open's threads while they may still be calling it.
    class Host final : public EngineHost {
    public:
        explicit Host(TCustomPlayer& owner) : player(owner) {}
        void RunHostEvent(const std::function<void()>& call) override { player.RunHostEvent(call, HostEventKind::BlocksStop); }
        void PostState(TPlayState state) override { player.SetPlayState(state); }
        void PublishPosition(int64_t pts) override { player.currentPTS.store(pts, std::memory_order_relaxed); }
        void PostPosition(int64_t pts) override { player.events.Post(PlayEventQueue::Kind::Position, pts); }
        void PublishFrame(int width, int height, int64_t bytePos) override { player.PublishFrame(width, height, bytePos); }
        void SetLastError(const QString& message) override { player.SetLastError(message); }
        void OpenReady(TPositionEvent onPosition, TPlayStateEvent onState) override
        {
            player.OpenReady(std::move(onPosition), std::move(onState));
        }
        const void* LogSender() const override { return &player; }
        TCustomPlayer* Sender() const override { return &player; }

    private:
        TCustomPlayer& player;
    };

    void PublishFrame(int width, int height, int64_t bytePos);
    void SetLastError(const QString& message);
    void OpenReady(TPositionEvent onPosition, TPlayStateEvent onState);

    void SetPlayState(TPlayState state);
    void RunHostEvent(const std::function<void()>& call, HostEventKind kind);
    void EndEventThread();
    void ReapFinishedOpen();
    // Waits for done() (at most timeoutMs when >= 0); on the UI thread it keeps serving hand-overs.
    bool WaitOnUi(const std::function<bool()>& done, int timeoutMs = -1);
    std::shared_ptr<MediaState> Media() const;
    void Refuse(const QString& message);
    // Hands a seek to the reader; with wait, returns once the picture at the target is queued.
    void StartSeek(const std::shared_ptr<MediaState>& m, int64_t target, int64_t relative, TSeekFlags flags,
                   bool waitForSeekEnd);

    mutable std::mutex stateLock; // guards media, fileName and screenHandle
    std::shared_ptr<MediaState> media;
    RetiredOpens retired; // replaced inside a handler, still ending
    EventDelivery events;
    Host host{*this};
    TGuarded<QString> lastError;
    QString fileName;
    VideoSink* screenHandle = nullptr;
    std::atomic<TPlayState> playState{TPlayState::psStop};
    std::atomic<int> frameWidth{0};
    std::atomic<int> frameHeight{0};
    std::atomic<int64_t> currentPTS{-1};
    std::atomic<int64_t> currentPos{-1};
    bool autoLoadedSDL = false;
    std::atomic<bool> closing{false}; // the destructor has begun: no more opens
};

// The component the preview window places; all behaviour is in its base.
class TFFPlayer : public TCustomPlayer {};
