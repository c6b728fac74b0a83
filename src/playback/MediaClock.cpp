#include "playback/MediaClock.h"

#include <algorithm>
#include <chrono>

double NowSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void MediaClock::Init(const Relaxed<int>* queueSerialRef, double initialSpeed)
{
    speed = initialSpeed;
    paused = false;
    queueSerial = queueSerialRef;
    checkSerial = true;
    Set(NAN, -1);
}

double MediaClock::Get() const
{
    if (checkSerial && queueSerial && *queueSerial != serial)
        return NAN;
    if (paused)
        return pts;
    const double time = NowSeconds();
    return ptsDrift + time - (time - lastUpdated) * (1.0 - speed);
}

void MediaClock::SetAt(double newPts, int newSerial, double time)
{
    pts = newPts;
    lastUpdated = time;
    ptsDrift = pts - time;
    serial = newSerial;
}

void MediaClock::SetSpeed(double newSpeed)
{
    Set(Get(), serial);
    speed = newSpeed;
}

void MediaClock::SyncTo(const MediaClock& other)
{
    constexpr double kNoSyncThreshold = 10.0;
    const double mine = Get();
    const double theirs = other.Get();
    if (!std::isnan(theirs) && (std::isnan(mine) || std::fabs(mine - theirs) > kNoSyncThreshold))
        Set(theirs, other.serial);
}

MasterClock ChooseMasterClock(Tav_sync_type wanted, bool hasVideo, bool hasAudio)
{
    switch (wanted) {
    case Tav_sync_type::stVideo:
        return hasVideo ? MasterClock::Video : hasAudio ? MasterClock::Audio : MasterClock::External;
    case Tav_sync_type::stAudio:
        return hasAudio ? MasterClock::Audio : hasVideo ? MasterClock::Video : MasterClock::External;
    case Tav_sync_type::stExternal:
        break;
    }
    return MasterClock::External;
}

int CorrectedSampleCount(AudioDriftAverage& average, int samples, double diff, int sampleRate)
{
    constexpr double kNoSyncThreshold = 10.0;
    constexpr int kFramesToAverage = 20;
    constexpr int kMaxCorrectionPercent = 10;
    if (std::isnan(diff) || std::fabs(diff) >= kNoSyncThreshold) {
        average.count = 0; // too far off to be a drift: start averaging again
        average.cumulative = 0;
        return samples;
    }
    average.cumulative = diff + average.coefficient * average.cumulative;
    if (average.count < kFramesToAverage) {
        average.count++;
        return samples;
    }
    const double mean = average.cumulative * (1.0 - average.coefficient);
    if (std::fabs(mean) < average.threshold)
        return samples;
    const int wanted = samples + int(diff * sampleRate);
    return std::clamp(wanted, samples * (100 - kMaxCorrectionPercent) / 100,
                      samples * (100 + kMaxCorrectionPercent) / 100);
}

namespace {
constexpr double kSyncThresholdMin = 0.04;
} // namespace

bool SkipLatePicture(double now, double frameTimer, double nextDuration)
{
    return now > frameTimer + nextDuration + kSyncThresholdMin;
}

double PictureDelay(double delay, double diff, double maxFrameDuration, double externalSpeed)
{
    constexpr double kSyncThresholdMax = 0.1;
    constexpr double kFrameDupThreshold = 0.1;
    const double threshold = std::max(kSyncThresholdMin, std::min(kSyncThresholdMax, delay));
    if (std::isnan(diff) || std::fabs(diff) >= maxFrameDuration)
        return delay;
    if (diff <= -threshold)
        return std::max(0.0, delay + diff);
    if (diff >= threshold && delay > kFrameDupThreshold)
        return delay + diff;
    if (diff >= threshold)
        return externalSpeed != 1.0 ? delay / externalSpeed : 2 * delay;
    return delay;
}
