// The engine's pure parts: where a picture goes in the output area, and the host event queue.
#include "playback/DisplayRect.h"
#include "playback/MediaClock.h"
#include "playback/MediaStateInternal.h"
#include "playback/PlayEventQueue.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

TEST(DisplayRect, FitsThePictureCentredWithEvenSides)
{
    struct Case {
        QSize area;
        int width, height;
        double sar;
        float setting;
        QRect expected;
    } cases[] = {
        {{676, 365}, 1920, 1080, 1.0, 0, {14, 0, 648, 365}},  // height fits, bars left and right
        {{400, 365}, 1920, 1080, 1.0, 0, {0, 70, 400, 224}},  // width fits, 225 cleared to 224
        {{400, 365}, 1920, 1080, 1.0, -1, {0, 0, 400, 365}},  // fill the area
        {{640, 480}, 720, 576, 16.0 / 15, 0, {0, 0, 640, 480}}, // sample aspect 16:15 gives 4:3
        {{640, 480}, 720, 576, 0.0, 0, {20, 0, 600, 480}},    // no sample aspect counts as square
        {{640, 480}, 320, 180, 1.0, 2.0f, {0, 80, 640, 320}}, // an aspect set by the host
        {{1, 1}, 1920, 1080, 1.0, 0, {0, 0, 1, 1}},           // never smaller than a pixel
    };
    for (const Case& c : cases) {
        const double aspect = DisplayAspect(c.setting, c.area, c.width, c.height, c.sar);
        EXPECT_EQ(CalculateDisplayRect(c.area, aspect), c.expected) << c.area.width() << 'x' << c.area.height();
    }
}

TEST(DisplayRect, MapsOutputPixelsBackToPicturePixels)
{
    const QRect shown(14, 0, 648, 365);
    EXPECT_EQ(DisplayToActual(shown, shown, 1920, 1080), QRect(0, 0, 1920, 1080));
    // Corners in any order, clipped to the picture.
    EXPECT_EQ(DisplayToActual(QRect(338, 182, -324, -182), shown, 1920, 1080), QRect(0, 0, 960, 538));
    EXPECT_EQ(DisplayToActual(QRect(-50, -50, 2000, 2000), shown, 1920, 1080), QRect(0, 0, 1920, 1080));
    EXPECT_EQ(DisplayToActual(QRect(0, 0, 10, 10), QRect(), 1920, 1080), QRect());
}

TEST(PlayEventQueue, KeepsTheLatestOfARunAndDropsTheOldestWhenFull)
{
    using Kind = PlayEventQueue::Kind;
    PlayEventQueue queue;
    queue.Post(Kind::State, 0);
    queue.Post(Kind::Position, 10);
    queue.Post(Kind::Position, 20); // replaces 10
    queue.Post(Kind::State, 1);
    ASSERT_EQ(queue.Count(), 3);
    EXPECT_EQ(queue.Take(0)->value, 0);
    EXPECT_EQ(queue.Take(0)->value, 20);
    EXPECT_EQ(queue.Take(0)->kind, Kind::State);
    EXPECT_FALSE(queue.Take(0).has_value());

    for (int i = 0; i < 12; ++i) // alternating kinds never merge
        queue.Post(i % 2 ? Kind::Position : Kind::State, i);
    ASSERT_EQ(queue.Count(), 10);
    EXPECT_EQ(queue.Take(0)->value, 2); // 0 and 1 gave way
}

TEST(EngineTiming, SoundCorrectionsWaitForTheAverageAndStayWithinTenPercent)
{
    AudioDriftAverage average{std::exp(std::log(0.01) / 20), 0.02};
    // The first 20 frames only build the average.
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(CorrectedSampleCount(average, 1024, 0.5, 48000), 1024);
    // Far ahead or far behind: never more than 10 % either way.
    EXPECT_EQ(CorrectedSampleCount(average, 1024, 0.5, 48000), 1126);
    AudioDriftAverage behind{average.coefficient, 0.02};
    for (int i = 0; i < 20; ++i)
        CorrectedSampleCount(behind, 1024, -0.5, 48000);
    EXPECT_EQ(CorrectedSampleCount(behind, 1024, -0.5, 48000), 921);
    // A small steady drift is corrected exactly.
    AudioDriftAverage small{average.coefficient, 0.02};
    for (int i = 0; i < 20; ++i)
        CorrectedSampleCount(small, 1024, 0.001, 48000);
    EXPECT_EQ(CorrectedSampleCount(small, 1024, 0.001, 48000), 1024); // average below the threshold
    // No master clock value, or clocks 10 s apart: nothing to correct, and averaging restarts.
    EXPECT_EQ(CorrectedSampleCount(average, 1024, NAN, 48000), 1024);
    EXPECT_EQ(average.count, 0);
    EXPECT_EQ(CorrectedSampleCount(average, 1024, 12.0, 48000), 1024);
}

TEST(EngineTiming, PicturesWaitLongerWhenEarlyAndShorterWhenLate)
{
    struct Case {
        double delay, diff, speed, expected;
    } cases[] = {
        {0.040, 0.0, 1.0, 0.040},   // in step
        {0.040, -0.030, 1.0, 0.040}, // within the threshold
        {0.040, -0.100, 1.0, 0.0},   // late: shown at once
        {0.040, -0.020, 1.0, 0.040},
        {0.040, 0.050, 1.0, 0.080},  // early: shown twice as long
        {0.200, 0.150, 1.0, 0.350},  // early with a long picture: wait the difference
        {0.040, 0.050, 2.0, 0.020},  // an external clock running fast
        {0.040, NAN, 1.0, 0.040},    // no master clock
        {0.040, 4000.0, 1.0, 0.040}, // beyond the longest picture: ignored
    };
    for (const Case& c : cases)
        EXPECT_NEAR(PictureDelay(c.delay, c.diff, 3600.0, c.speed), c.expected, 1e-9) << c.delay << ' ' << c.diff;
}

TEST(EngineTiming, APictureIsSkippedOnlyWhenItsSuccessorIsLateByMoreThanTheThreshold)
{
    struct Case {
        double now, frameTimer, nextDuration;
        bool skipped;
    } cases[] = {
        {10.000, 10.000, 0.033, false}, // on time
        {10.034, 10.000, 0.033, false}, // the successor just due: shown at once instead
        {10.072, 10.000, 0.033, false},
        {10.074, 10.000, 0.033, true},  // a frame and the threshold behind: catch up by skipping
        {10.500, 10.000, 0.033, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SkipLatePicture(c.now, c.frameTimer, c.nextDuration), c.skipped) << c.now;
}

TEST(EngineTiming, StreamTimesBecomeSecondsAndHostTimesFromTheStart)
{
    struct Case {
        int64_t pts;
        AVRational timeBase;
        int64_t startUs;
        double seconds;
        int64_t host;
    } cases[] = {
        {90000, {1, 90000}, 0, 1.0, 1000000},
        {1001, {1, 30000}, 0, 1001.0 / 30000, 33367}, // rounded to the nearest µs
        {48000, {1, 48000}, 1400000, 1.0, -400000},   // before the container's start
        {5, {0, 0}, 0, 0.0, 0},                       // no time base counts as zero
        {AV_NOPTS_VALUE, {1, 1000}, 0, NAN, kNoPts},  // no time stays no time
    };
    for (const Case& c : cases) {
        const double seconds = engine::StreamSeconds(c.pts, c.timeBase);
        if (std::isnan(c.seconds))
            EXPECT_TRUE(std::isnan(seconds)) << c.pts;
        else
            EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.pts;
        EXPECT_EQ(engine::HostPts(seconds, c.startUs), c.host) << c.pts;
    }
}

} // namespace
