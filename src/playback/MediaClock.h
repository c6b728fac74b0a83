#pragma once
// The engine's clocks. A clock is read and written from several threads without a lock, as
// plain values: a torn read costs one slightly wrong timing decision, never a crash.

#include "playback/PlaybackTypes.h"

#include <cmath>

// Seconds of the process's monotonic clock.
double NowSeconds();

struct MediaClock {
    double pts = NAN;          // the clock's time at its last update
    double ptsDrift = NAN;     // pts minus the time of the last update
    double lastUpdated = 0;
    double speed = 1.0;
    int serial = -1;           // the packet serial the clock is based on
    bool paused = false;
    const int* queueSerial = nullptr; // the serial of the queue the clock follows
    bool checkSerial = true;   // a clock behind its queue's serial has no value

    void Init(const int* queueSerialRef, double initialSpeed = 1.0);
    double Get() const;
    void SetAt(double newPts, int newSerial, double time);
    void Set(double newPts, int newSerial) { SetAt(newPts, newSerial, NowSeconds()); }
    void SetSpeed(double newSpeed);
    // Keeps this (external) clock within 10 s of another that has a value.
    void SyncTo(const MediaClock& other);
};

enum class MasterClock { Audio, Video, External };

// The master clock for the wanted sync type and the streams present.
MasterClock ChooseMasterClock(Tav_sync_type wanted, bool hasVideo, bool hasAudio);
