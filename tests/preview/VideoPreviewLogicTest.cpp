// The video window's arithmetic: play-time texts, the seek bar, where a video's bytes come from.
#include "preview/VideoPreviewLogic.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(VideoPreviewLogic, PlayTimesRoundAtFiveMilliseconds)
{
    const struct {
        int64_t microseconds;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},
        {994999, "00:00:00"},
        {995000, "00:00:01"},
        {3599995000, "01:00:00"},
        {360000000000, "100:00:00"},
        {std::numeric_limits<int64_t>::min(), "N/A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatPlayTime(c.microseconds), QString::fromLatin1(c.text)) << c.microseconds;
}

TEST(VideoPreviewLogic, TheSeekBarRoundsAClickAndTruncatesTheHoverTime)
{
    // A 600-pixel bar over a 60-second video.
    EXPECT_EQ(SeekTargetFromClick(60000000, 300, 600), 30000000);
    EXPECT_EQ(HoverTimeText(300, 600, 60000000), "00:00:30");
    EXPECT_EQ(SeekTargetFromClick(1000, 1, 3), 333);    // 333.3 rounds down
    EXPECT_EQ(SeekTargetFromClick(2000, 1, 3), 667);    // 666.7 rounds up
    EXPECT_EQ(HoverTimeText(599, 600, 3000000), "00:00:03"); // 2.995 s shows as 3 s at 5 ms
    EXPECT_EQ(HoverTimeText(10, 0, 3000000), "00:00:00");    // a bar without width
    // The bar follows positions only when the length is known.
    EXPECT_EQ(SeekBarPosition(600, 30000000, 60000000), 300);
    EXPECT_EQ(SeekBarPosition(600, 30000000, -1), -1);
    EXPECT_EQ(SeekBarPosition(600, -1, 60000000), -1);
}

TEST(VideoPreviewLogic, SmallVideosAreServedFromMemory)
{
    EXPECT_EQ(ChooseInputSource(10485759), InputSource::Memory);
    EXPECT_EQ(ChooseInputSource(10485760), InputSource::File);
    EXPECT_EQ(ChooseInputSource(0), InputSource::Unusable);
    EXPECT_EQ(ChooseInputSource(-1), InputSource::Unusable);
}

TEST(VideoPreviewLogic, TheNeutralPictureFilter)
{
    EXPECT_EQ(PictureFilterText(0, 1, 0), "") << "the picture as it is: no filter at all";
    EXPECT_EQ(PictureFilterText(0.5f, 1, 0), "hue=b=0.50:s=1.00:H=0.00");
    EXPECT_EQ(PictureFilterText(0, 0, 0), "hue=b=0.00:s=0.00:H=0.00");
    EXPECT_TRUE(MemoryInputAddress(42).startsWith("memory:42:PrivateData - "));
}

TEST(VideoPreviewLogic, AFrameIsBroughtInsideTheFreeAreaTitleBarFirst)
{
    const QRect area(0, 24, 1280, 776); // a panel across the top
    const struct {
        QRect frame;
        QPoint corner;
    } cases[] = {
        {{100, 100, 640, 480}, {100, 100}}, // inside: stays
        {{0, -22, 640, 480}, {0, 24}},      // title bar above the screen
        {{-50, 30, 640, 480}, {0, 30}},
        {{900, 500, 640, 480}, {640, 320}}, // past the right and bottom edges
        {{10, 10, 2000, 1000}, {0, 24}},    // larger than the area: its top left inside
    };
    for (const auto& c : cases)
        EXPECT_EQ(FrameCornerInside(c.frame, area), c.corner) << c.frame.x() << "," << c.frame.y();
}

} // namespace
