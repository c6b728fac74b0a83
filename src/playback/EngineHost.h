#pragma once
// What one open of the engine sees of the player that started it. Commands go down to the open
// through MediaState's own methods; news comes up through EngineHost, and the controls a host may
// change while a video plays are shared atomics that the open reads live. The open never reaches
// into the player, so each can be read (and changed) without the other.

#include "core/Guarded.h"
#include "playback/PlaybackTypes.h"
#include "playback/PlayerOptions.h"

#include <QColor>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

// The live controls. The names are the player's public settings, which take effect at once.
struct LiveControls {
    std::atomic<bool> VideoHook{false}; // switches the video hook and the overlay
    std::atomic<int> AudioVolume{128};
    std::atomic<bool> Mute{false};
    // The output size the host asked for; the open's handler may change it.
    std::atomic<int> ScreenWidth{0};
    std::atomic<int> ScreenHeight{0};

    float AspectRatio() const { return aspectRatio_.load(std::memory_order_relaxed); }
    QColor BackColor() const { return backColor_; }

protected:
    void StoreAspectRatio(float ratio) { aspectRatio_.store(ratio, std::memory_order_relaxed); }
    void StoreBackColor(const QColor& color) { backColor_ = color; }

private:
    std::atomic<float> aspectRatio_{0.0f};
    TGuarded<QColor> backColor_{QColor(Qt::black)};
};

// The news of one open, from its threads to the player.
class EngineHost {
public:
    virtual ~EngineHost() = default;
    // Runs a host handler raised by a thread the player's stop waits for (the reader, the fail
    // thread); on the UI thread when the host asked for that.
    virtual void RunHostEvent(const std::function<void()>& call) = 0;
    virtual void PostState(TPlayState state) = 0;
    // The position of the picture (or sound) now playing, in µs from the start: published at
    // every refresh, posted to the host's handler now and then.
    virtual void PublishPosition(int64_t pts) = 0;
    virtual void PostPosition(int64_t pts) = 0;
    // The picture now shown: its size, and its byte position in the input (-1 when unknown).
    virtual void PublishFrame(int width, int height, int64_t bytePos) = 0;
    virtual void SetLastError(const QString& message) = 0;
    // The open is ready to play: from now on its positions and states are delivered to these
    // handlers of the host.
    virtual void OpenReady(TPositionEvent onPosition, TPlayStateEvent onState) = 0;
    // Who the engine's log names as the sender of the open's lines.
    virtual const void* LogSender() const = 0;
    // The sender the host's handlers are called with; the open passes it on and never uses it.
    virtual TCustomPlayer* Sender() const = 0;
};
