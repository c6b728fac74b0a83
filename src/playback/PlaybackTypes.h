#pragma once
// The enumerations and constants of the playback engine's interface.

#include <cstdint>
#include <initializer_list>
#include <limits>

enum class TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };
enum class TSeekFlag { sfBackward, sfByte, sfAny, sfFrame };
enum class TRepeatType { rtNone, rtStop, rtLoop, rtPause, rtRewind };
enum class TShowMode { smDefault, smVideo, smWaves, smRDFT, smNone };
enum class Tav_sync_type { stAudio, stVideo, stExternal };

// A set of seek flags; the bits are FFmpeg's seek flags (backward 1, byte 2, any 4, frame 8).
struct TSeekFlags {
    int bits = 0;
    constexpr TSeekFlags() = default;
    constexpr TSeekFlags(std::initializer_list<TSeekFlag> flags)
    {
        for (auto f : flags)
            bits |= 1 << int(f);
    }
    constexpr bool Has(TSeekFlag f) const { return bits & (1 << int(f)); }
};

// The no-value time handed to the host.
constexpr int64_t kNoPts = std::numeric_limits<int64_t>::min();
