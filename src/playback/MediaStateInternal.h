#pragma once
// Constants and small helpers shared by the parts of the engine's per-open state.

#include "playback/PlaybackTypes.h"

#include <cmath>
#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

namespace engine {

constexpr int kMaxQueueBytes = 15 * 1024 * 1024; // packets of all streams together
constexpr int kMinFrames = 5;                     // packets per stream that count as enough
constexpr double kSyncThresholdMax = 0.1;         // a picture this late resets the frame timer
constexpr double kNoSyncThreshold = 10.0;         // clocks further apart are not synchronised
constexpr int kAudioDiffAvgCount = 20;
constexpr int kAudioMinBufferSize = 512;
constexpr int kAudioMaxCallbacksPerSecond = 30;
constexpr double kRefreshRate = 0.01;             // the play thread looks at least this often
constexpr int kIoBufferSize = 64 * 1024;          // read size of a memory input

inline double ToSeconds(AVRational r)
{
    return r.den ? double(r.num) / r.den : 0.0;
}

// A timestamp in a stream's time base as the engine's time, in seconds; NaN without one.
inline double StreamSeconds(int64_t pts, AVRational timeBase)
{
    return pts == AV_NOPTS_VALUE ? NAN : pts * ToSeconds(timeBase);
}

// The engine's time as the host sees it: µs from the input's start, kNoPts without a time.
inline int64_t HostPts(double seconds, int64_t startTimeUs)
{
    return std::isnan(seconds) ? kNoPts : std::llround(seconds * 1e6) - startTimeUs;
}

} // namespace engine
