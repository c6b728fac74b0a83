#pragma once
// The player's settings and the host's handlers, as plain data. The player holds one value of
// it; each open takes a copy of the whole, which its threads read, so the host may change the
// player's for the next open while a video plays.

#include "playback/PlaybackTypes.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>

struct AVFormatContext;
struct AVFrame;
class TCustomPlayer;

using TFileOpenEvent =
    std::function<void(TCustomPlayer* sender, int64_t duration, int frameWidth, int frameHeight, int& screenWidth, int& screenHeight)>;
using TPlayerNotifyEvent = std::function<void(TCustomPlayer* sender)>;
using TPositionEvent = std::function<void(TCustomPlayer* sender, int64_t pts)>;
using TPlayStateEvent = std::function<void(TCustomPlayer* sender, TPlayState state)>;
// bitmap: a 32-bit top-down picture of the video's size; what the hook draws is shown.
using TVideoHookEvent = std::function<void(TCustomPlayer* sender, QImage& bitmap, int64_t pts, bool& update)>;
// picture: a 32-bit picture as it is shown, at the size it is shown (on the play thread), or
// CurrentFrame's copy at the video's size; what the handler draws is seen there and nowhere
// else. Drawing over the shown size costs little whatever the video's size.
using TOverlayEvent = std::function<void(TCustomPlayer* sender, QImage& picture, int64_t pts)>;
using TFrameHookEvent =
    std::function<void(TCustomPlayer* sender, AVFrame* picture, int pixFmt, int width, int height, int64_t pts)>;
using TAudioHookEvent =
    std::function<void(TCustomPlayer* sender, int64_t pts, uint8_t* sample, int size, int sampleRate, int channels)>;
using TBeforeFindStreamInfoEvent = std::function<void(TCustomPlayer* sender, AVFormatContext* context)>;

struct PlayerOptions {
    // Settings, read at the next open. TriggerEventInMainThread is the player's own and is read
    // at each event.
    bool FrameHook = false;
    bool AudioHook = false;
    bool TriggerEventInMainThread = true;
    QString VideoFilters;
    QString AudioFilters; // not supported by this engine: logged and ignored
    int64_t PositionInterval = 30000;
    TRepeatType RepeatType = TRepeatType::rtRewind;
    int VideoHookBitsPixel = 32; // hook bitmaps are always 32-bit here
    bool DisableAudio = false;
    bool DisableVideo = false;
    bool DisableSubtitle = true; // subtitle streams are not played by this engine
    bool DisableDisplay = false;
    double PlaybackSpeed = 1.0;
    Tav_sync_type SyncType = Tav_sync_type::stAudio;
    int ReadTimeout = 30000;  // ms
    int WriteTimeout = 30000; // ms
    int framedrop = -1;
    int decoder_reorder_pts = -1;
    int seek_by_bytes = -1;
    int infinite_buffer = -1;
    bool genpts = false;

    // The host's handlers; an open calls those it started with.
    TFileOpenEvent OnFileOpen;
    TPlayerNotifyEvent OnOpenFailed;
    TPositionEvent OnPosition;
    TPlayStateEvent OnState;
    TVideoHookEvent OnVideoHook;
    TOverlayEvent OnDrawOverlay;
    TFrameHookEvent OnFrameHook;
    TAudioHookEvent OnAudioHook;
    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
};
