#include "catalogue/CatalogueEntry.h"

#include <gtest/gtest.h>

namespace {

TEST(CatalogueKey, JoinsNameAndTimeAndTrimsLowCharacters)
{
    EXPECT_EQ(CatalogueKey("P0001.JPG", "2017/05/03 14:22:10"), QStringLiteral("P0001.JPG2017/05/03 14:22:10"));
    // A name that begins with a space yields the key of the name without it.
    EXPECT_EQ(CatalogueKey(" P0001.JPG", "2017/05/03 14:22:10"), QStringLiteral("P0001.JPG2017/05/03 14:22:10"));
    EXPECT_EQ(CatalogueKey(QStringLiteral("\tP.JPG"), QStringLiteral("2017/05/03 14:22:10") + QChar(0)),
              QStringLiteral("P.JPG2017/05/03 14:22:10"));
    // Case matters.
    EXPECT_NE(CatalogueKey("p0001.jpg", "t"), CatalogueKey("P0001.JPG", "t"));
}

struct FolderCase {
    const char* name;
    friend void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }
    const char* root;
    const char* folder;
    const char* expectedFolder;
    const char* expectedPath; // for file P0001.JPG
};

class EntryFolderTest : public testing::TestWithParam<FolderCase> {};

TEST_P(EntryFolderTest, PathFormsOfTheEntry)
{
    const FolderCase& c = GetParam();
    CatalogueEntry entry;
    entry.name = "P0001.JPG";
    SetEntryFolder(entry, QString::fromUtf8(c.folder), QString::fromUtf8(c.root));
    EXPECT_EQ(entry.folder, QString::fromUtf8(c.expectedFolder));
    EXPECT_EQ(entry.Path(), QString::fromUtf8(c.expectedPath));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryFolderTest,
    testing::Values(
        FolderCase{"fileInRoot", "/media/card", "/media/card/", "/", "/media/card/P0001.JPG"},
        FolderCase{"fileBelowRoot", "/media/card", "/media/card/100/", "/100/", "/media/card/100/P0001.JPG"},
        FolderCase{"rootEndsWithSlash", "/", "/100/", "100/", "/100/P0001.JPG"},
        FolderCase{"rootWithBlanksAround", "  /media/card \t", "/media/card/100/", "/100/", "/media/card/100/P0001.JPG"},
        FolderCase{"outsideTheRoot", "/media/card", "/home/me/Other/", "/home/me/Other/", "/home/me/Other/P0001.JPG"},
        // The root's text deeper in the path is a folder of its own, not the root.
        FolderCase{"rootTextRepeatsBelow", "/data", "/data/2017/data/", "/2017/data/", "/data/2017/data/P0001.JPG"},
        FolderCase{"rootTextInsideAnotherPath", "/card", "/mnt/card/x/", "/mnt/card/x/", "/mnt/card/x/P0001.JPG"},
        FolderCase{"caseSensitive", "/Media", "/media/100/", "/media/100/", "/media/100/P0001.JPG"},
        FolderCase{"promptInsteadOfRoot", "请先选择路径", "/media/100/", "/media/100/", "/media/100/P0001.JPG"}),
    [](const auto& info) { return std::string(info.param.name); });

// The entry keeps typed values; these are the texts it is shown and keyed by, and the values
// read back from them.
TEST(EntryTexts, PositionsAreShownWithFourDecimalsAndNoneAsZeros)
{
    EXPECT_EQ(PositionText(GeoPoint{104.06734, 30.52391}), QStringLiteral("104.0673,30.5239"));
    EXPECT_EQ(PositionText(GeoPoint{-0.00001, -33.5}), QStringLiteral("0.0000,-33.5000"));
    EXPECT_EQ(PositionText(std::nullopt), kNoPosition);

    const struct {
        const char* text;
        std::optional<std::pair<double, double>> point;
    } cases[] = {
        {"104.0673,30.5239", std::pair(104.0673, 30.5239)},
        {" 104.0673,30.5239\t", std::pair(104.0673, 30.5239)},
        {"0.0000,0.0000", std::nullopt},
        {"0.0000,1.0000", std::pair(0.0, 1.0)},
        {"east,30.5", std::nullopt},
        {"104.0673", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<GeoPoint> read = PositionFromText(QString::fromUtf8(c.text));
        ASSERT_EQ(read.has_value(), c.point.has_value()) << c.text;
        if (read) {
            EXPECT_DOUBLE_EQ(read->longitude, c.point->first) << c.text;
            EXPECT_DOUBLE_EQ(read->latitude, c.point->second) << c.text;
        }
    }
}

TEST(EntryTexts, ShotTimesReadBackAsTheyWereWrittenAndNothingElse)
{
    for (const char* text : {"2017/05/03 14:22:10", "0001/01/01 00:00:00", "9999/12/31 23:59:59"})
        EXPECT_EQ(ShotTimeText(ShotTimeFromText(QString::fromLatin1(text))), QString::fromLatin1(text));
    for (const char* text : {"0000/00/00 00:00:00", "2017/02/30 10:00:00", "2017/05/03 24:00:00", "2017-05-03 14:22:10",
                             "2017/05/03 14:22", " 2017/05/03 14:22:10", "2017/05/03 14:22:1x"})
        EXPECT_FALSE(ShotTimeFromText(QString::fromLatin1(text)).isValid()) << text;
    EXPECT_EQ(ShotTimeText(QDateTime()), QStringLiteral("0000/00/00 00:00:00"));

    // A wall clock is kept as given: a time in a summer-time gap of this machine's zone does not move.
    const QDateTime gap = WallClock(QDate(2021, 3, 28), QTime(2, 30, 0));
    EXPECT_EQ(ShotTimeText(gap), QStringLiteral("2021/03/28 02:30:00"));
}

} // namespace
