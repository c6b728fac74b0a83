// The engine's pure parts: where a picture goes in the output area, and the host event queue.
#include "playback/DisplayRect.h"
#include "playback/PlayEventQueue.h"

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

} // namespace
