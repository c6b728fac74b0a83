#include "catalogue/ExportNaming.h"

#include <gtest/gtest.h>

namespace {

const QDateTime kShot = WallClock(QDate(2017, 5, 3), QTime(14, 22, 10));
const QString kDefault = "遂宁市/船山区/灵泉街道";

struct NamingCase {
    const char* name;
    const char* rule;
    const char* place;
    const char* defaultPlace;
    const char* folder;
    friend void PrintTo(const NamingCase& c, std::ostream* os) { *os << c.name; }
};

class ExportNamingTest : public testing::TestWithParam<NamingCase> {};

TEST_P(ExportNamingTest, FolderFromRulePlaceAndDefault)
{
    const NamingCase& c = GetParam();
    const iteminfo info = FillItemInfo("X.MOV", MediaKind::Video, QString::fromUtf8(c.place), kShot);
    EXPECT_EQ(BuildExportFolder(info, QString::fromUtf8(c.rule), QString::fromUtf8(c.defaultPlace)), QString::fromUtf8(c.folder));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportNamingTest,
    testing::Values(
        NamingCase{"threeLevels", "日期/城市+区县/街道", "成都市 武侯区 玉林街道", "遂宁市/船山区/灵泉街道", "2017-05-03/成都市武侯区/玉林街道/"},
        NamingCase{"unknownPlaceTakesTheDefault", "日期/城市+区县/街道", "未知", "遂宁市/船山区/灵泉街道", "2017-05-03/遂宁市船山区/灵泉街道/"},
        NamingCase{"twoPiecesStreetFromDefault", "日期/城市+区县/街道", "成都市 武侯区", "遂宁市/船山区/灵泉街道", "2017-05-03/成都市武侯区/灵泉街道/"},
        NamingCase{"slashesInThePlaceAreDeleted", "城市/区县/街道", "成都市/武侯区 玉林街道", "遂宁市/船山区/灵泉街道", "成都市武侯区/玉林街道/灵泉街道/"},
        NamingCase{"defaultWithoutStreetMakesNoStreetFolder", "日期/街道", "成都市", "遂宁市/船山区", "2017-05-03/"},
        NamingCase{"emptyRule", "", "成都市 武侯区 玉林街道", "遂宁市/船山区/灵泉街道", ""},
        NamingCase{"onlySeparators", " / + // ", "成都市 武侯区 玉林街道", "遂宁市/船山区/灵泉街道", ""},
        NamingCase{"emptyLevelsAndWordsDropped", "/日期//城市++区县/", "成都市 武侯区 玉林街道", "遂宁市/船山区/灵泉街道", "2017-05-03/成都市武侯区/"},
        NamingCase{"repeatedWordsAndFreeOrder", "城市/日期+街道/城市", "成都市 武侯区 玉林街道", "遂宁市/船山区/灵泉街道", "成都市/2017-05-03玉林街道/成都市/"},
        NamingCase{"unknownWordAddsNothingAnywhere", "城市+省份/省份+区县/ 日期", "成都市 武侯区 玉林街道", "遂宁市/船山区/灵泉街道", "成都市/武侯区/"},
        NamingCase{"userTypedDefault", "城市/区县", "默认", "遂宁市/船山区/灵泉街道", "默认/船山区/"},
        NamingCase{"unknownInTheDefaultIsLeftOut", "城市+区县", "未知", "未知/船山区", "船山区/"},
        NamingCase{"extraPlacePiecesIgnored", "街道", "a b c d e", "遂宁市/船山区/灵泉街道", "c/"},
        NamingCase{"runOfSpacesIsOneSeparator", "城市+区县", "成都市   武侯区", "遂宁市/船山区/灵泉街道", "成都市武侯区/"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FillItemInfo, NamesFromTypeAndShotTime)
{
    EXPECT_EQ(FillItemInfo("X.MOV", MediaKind::Video, "a b c", kShot).filename, QStringLiteral("V-20170503142210.MOV"));
    EXPECT_EQ(FillItemInfo(" P0001.jpg ", MediaKind::Photo, "a b c", kShot).filename, QStringLiteral("I-20170503142210.jpg"));
    EXPECT_EQ(FillItemInfo("P0001.JPG", MediaKind::Photo, "a b c", kShot).date, QStringLiteral("2017-05-03"));
    const iteminfo pending = FillItemInfo("P.JPG", MediaKind::Photo, "...", kShot);
    EXPECT_EQ(pending.city, QStringLiteral("..."));
    EXPECT_EQ(pending.district, QStringLiteral("未知"));
    // A time with no valid date is named with the zeros the list shows.
    EXPECT_EQ(FillItemInfo("P.JPG", MediaKind::Photo, "", QDateTime()).filename, QStringLiteral("I-00000000000000.JPG"));
    EXPECT_EQ(FillItemInfo("P.JPG", MediaKind::Photo, "", QDateTime()).date, QStringLiteral("0000-00-00"));
    // Two photos of the same second get the same name.
    EXPECT_EQ(FillItemInfo("A.JPG", MediaKind::Photo, "", kShot).filename, FillItemInfo("B.JPG", MediaKind::Photo, "", kShot).filename);
}

TEST(SafeFolderName, EveryPieceBecomesOneHarmlessFolderName)
{
    const QString han85(85, QChar(0x957f));          // 长: 3 bytes each, 255 in all
    const QString smile = QString::fromUtf8("😀"); // 4 bytes, a surrogate pair
    const std::pair<QString, QString> cases[] = {
        {".", ""},
        {"..", ""},
        {"...", ""},
        {".x", "x"},
        {"..\\..", ""},
        {"a/b\\c", "abc"},
        {QStringLiteral("成都\t市\n\u0001\u007f\u0085"), "成都市"},
        {" 成都市. ", "成都市"},
        {"船:山区?*\"<>|", "船：山区？＊＂＜＞｜"}, // names FAT, exFAT and NTFS drives refuse
        {"a..b", "a..b"},
        {QString(300, QChar(0x957f)), han85},
        {QString(254, u'x') + QStringLiteral("é"), QString(254, u'x')},
        {smile.repeated(64), smile.repeated(63)},
        {QString(254, u'x') + ". y", QString(254, u'x')}, // cut, then the trailing dot goes
        {"", ""},
    };
    for (const auto& [text, safe] : cases) {
        const QString name = SafeFolderName(text);
        EXPECT_EQ(name, safe) << text.toStdString();
        EXPECT_LE(name.toUtf8().size(), 255);
    }
}

TEST(SafeFolderName, UnsafePlacesAndDefaultsNeverLeaveTheOutputFolder)
{
    const auto folder = [](const char* place, const char* defaultPlace, const char* rule = "城市/区县/街道") {
        return BuildExportFolder(FillItemInfo("X.JPG", MediaKind::Photo, QString::fromUtf8(place), kShot), QString::fromUtf8(rule),
                                 QString::fromUtf8(defaultPlace));
    };
    EXPECT_EQ(folder(".. .. ..", kDefault.toUtf8()), QStringLiteral("遂宁市/船山区/灵泉街道/"));
    EXPECT_EQ(folder("... 武侯区 玉林街道", kDefault.toUtf8()), QStringLiteral("遂宁市/武侯区/玉林街道/")) << "still pending";
    EXPECT_EQ(folder(".x .y ./z", kDefault.toUtf8()), QStringLiteral("x/y/z/"));
    EXPECT_EQ(folder("未知", "../..\\x/ 灵泉街道."), QStringLiteral("x/灵泉街道/"));
    EXPECT_EQ(folder("未知", "../../.."), QString());
    const QString han100(100, QChar(0x957f));
    const QString joined = folder((han100 + " " + han100 + " " + han100).toUtf8(), kDefault.toUtf8(), "城市+区县+街道");
    EXPECT_EQ(joined, QString(85, QChar(0x957f)) + u'/') << "a level of several words is one name too";
}

} // namespace
