#pragma once
// The engine's clocks. A clock is read and written from several threads without a lock; each
// field is a relaxed atomic, so a reader may see a field of the update before or after, which
// costs one slightly wrong timing decision, never a torn value.

#include "core/Relaxed.h"
#include "playback/PlaybackTypes.h"

#include <cmath>

// Seconds of the process's monotonic clock.
double NowSeconds();

struct MediaClock {
    Relaxed<double> pts{NAN};      // the clock's time at its last update
    Relaxed<double> ptsDrift{NAN}; // pts minus the time of the last update
    Relaxed<double> lastUpdated{0};
    Relaxed<double> speed{1.0};
    Relaxed<int> serial{-1};       // the packet serial the clock is based on
    Relaxed<bool> paused{false};
    const Relaxed<int>* queueSerial = nullptr; // the serial of the queue the clock follows
    bool checkSerial = true;   // a clock behind its queue's serial has no value

    void Init(const Relaxed<int>* queueSerialRef, double initialSpeed = 1.0);
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

// The sound's running average of its distance from the master clock.
struct AudioDriftAverage {
    double coefficient = 0; // weight of the older differences
    double threshold = 0;   // average distance worth correcting, in seconds
    double cumulative = 0;
    int count = 0;
};

// How many samples a sound frame of `samples` should become so the sound catches up with the
// master clock: diff is the sound clock minus the master clock (NaN when either has none). The
// first 20 frames only build the average; a correction never exceeds 10 % of the frame.
int CorrectedSampleCount(AudioDriftAverage& average, int samples, double diff, int sampleRate);

// How long the current picture stays up when video follows another clock: diff is the video
// clock minus the master clock. Late pictures are shortened (down to 0), early ones lengthened.
double PictureDelay(double delay, double diff, double maxFrameDuration, double externalSpeed);

// Whether the picture due at frameTimer is skipped because its successor (nextDuration later)
// is due too: only when the successor is already late by more than the sync threshold. A
// picture just crossing its successor's time, as when a slowly drifting sound clock crosses the
// threshold and PictureDelay shortens the wait to 0, is shown: that alone catches up a frame.
bool SkipLatePicture(double now, double frameTimer, double nextDuration);
