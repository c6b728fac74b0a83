#include "playback/MediaClock.h"

#include <chrono>

double NowSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void MediaClock::Init(const int* queueSerialRef, double initialSpeed)
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
