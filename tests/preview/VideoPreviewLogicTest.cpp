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

TEST(VideoPreviewLogic, AnUnplayableVideoIsExplainedInTheUsersWords)
{
    const struct {
        bool exists;
        int64_t size;
        const char* engine;
        const char* reason;
    } cases[] = {
        {false, -1, "memory:1: Input/output error", "文件不存在（可能已被移走或删除）"},
        {true, 0, "", "文件是空的"},
        {true, 900, "memory:7: Invalid data found when processing input", "不是视频文件，或文件已损坏"},
        {true, 900, "memory:7: could not find codec parameters", "文件已损坏，读不出视频的格式"},
        {true, 900, "Failed to open file \"memory:7\" or configure filtergraph", "不支持这个视频的编码"},
        {true, 900, "memory:7: End of file", "文件已损坏（内容不完整）"},
        {true, 900, "memory:7: Input/output error", "无法读取文件（存储卡是否已拔出？）"},
        {true, 900, "something nobody foresaw", "无法打开这个视频"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnplayableReason(c.exists, c.size, QString::fromUtf8(c.engine)), QString::fromUtf8(c.reason)) << c.engine;
}

TEST(VideoPreviewLogic, ClipRequestsWaitForTheOpenUnderWayAndTheLastOneWins)
{
    ClipRequests requests;
    EXPECT_EQ(requests.StepOrigin(4), 4) << "nothing asked: steps start from the row shown";
    requests.Ask(5, true);
    const auto first = requests.TakeNext();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->row, 5);
    EXPECT_EQ(requests.StepOrigin(4), 5) << "a step starts from the row opening";
    requests.Ask(6, false);
    requests.Ask(7, true);
    EXPECT_FALSE(requests.TakeNext()) << "one open at a time";
    EXPECT_EQ(requests.StepOrigin(4), 7);
    EXPECT_EQ(requests.Finish().row, 5);
    const auto next = requests.TakeNext();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->row, 7) << "the last asked for wins";
    EXPECT_TRUE(next->selectInList);
    requests.Finish();
    EXPECT_FALSE(requests.Opening() || requests.Waiting());
}
