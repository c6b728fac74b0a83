#include "services/OfflineGeocoder.h"
#include "services/PlaceData.h"

#include "JpegFixtures.h"
#include "PlaceDataWriter.h"
#include "TestFiles.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

// The data file the build converted, shared by the tests of this file.
const PlaceData& Data()
{
    static const std::shared_ptr<const PlaceData> data = [] {
        QString error;
        auto loaded = PlaceData::Load(PlaceDataPath(), error);
        EXPECT_TRUE(loaded) << error.toStdString();
        return loaded;
    }();
    return *data;
}

struct KnownPlace {
    const char* what;
    double longitude; // WGS-84, as a drone records it
    double latitude;
    const char* place;
};

TEST(OfflineGeocoder, NamesCityAndDistrictInChinaWithTheDistrictForTheStreet)
{
    const KnownPlace cases[] = {
        {"Tian'anmen", 116.3912, 39.9075, "北京市 东城区 东城区"},
        {"Shenzhen civic centre", 114.0596, 22.5431, "深圳市 福田区 福田区"},
        {"People's Square, Shanghai", 121.4737, 31.2304, "上海市 黄浦区 黄浦区"},
        {"Potala Palace", 91.1172, 29.6578, "拉萨市 城关区 城关区"},
        {"Suining", 105.5912, 30.5130, "遂宁市 船山区 船山区"},
        {"May Fourth Square, Qingdao", 120.3826, 36.0671, "青岛市 市南区 市南区"},
        {"Xichang, seat of an autonomous prefecture", 102.2644, 27.8944, "凉山彝族自治州 西昌市 西昌市"},
        {"Yanji", 129.5089, 42.8913, "延边朝鲜族自治州 延吉市 延吉市"},
        {"Jizhou, a district the data mends", 117.4083, 40.0458, "天津市 蓟州区 蓟州区"},
        {"Central, Hong Kong", 114.1588, 22.2817, "香港 中西区 中西区"},
        {"Taipei 101 (names in simplified characters)", 121.5645, 25.0340, "台北市 信义区 信义区"},
    };
    for (const KnownPlace& c : cases)
        EXPECT_EQ(Data().PlaceAt(c.longitude, c.latitude), QString::fromUtf8(c.place)) << c.what;
}

// The mainland's map data is drawn in the GCJ-02 offset system, some 500 m off WGS-84 here.
// These two points lie about 200 m from the Hong Kong border as OpenStreetMap draws it in
// WGS-84; read in the data's own datum, each would fall on the other side.
TEST(OfflineGeocoder, PositionsNearABorderFallOnTheirWgs84Side)
{
    EXPECT_EQ(Data().PlaceAt(114.1300, 22.5397), QStringLiteral("香港 北区 北区"));
    EXPECT_EQ(Data().PlaceAt(114.1133, 22.5318), QStringLiteral("深圳市 罗湖区 罗湖区"));
}

TEST(OfflineGeocoder, NamesCountryRegionAndNearestTownAbroad)
{
    const KnownPlace cases[] = {
        {"Rio de Janeiro (south, west)", -43.1729, -22.9068, "巴西 里约热内卢州 Rio_de_Janeiro"},
        {"Buenos Aires (south, west)", -58.3816, -34.6037, "阿根廷 布宜诺斯艾利斯 Buenos_Aires"},
        {"Sydney (south, east)", 151.2093, -33.8688, "澳大利亚 新南威尔士州 Sydney"},
        {"New York (north, west)", -74.0060, 40.7128, "美国 纽约州 New_York_City"},
        {"Paris: the city, not its numbered parts", 2.3522, 48.8566, "法国 巴黎 Paris"},
        {"desert with no town near: the region again", 25.0, 23.0, "埃及 新河谷省 新河谷省"},
    };
    for (const KnownPlace& c : cases)
        EXPECT_EQ(Data().PlaceAt(c.longitude, c.latitude), QString::fromUtf8(c.place)) << c.what;
}

TEST(OfflineGeocoder, TheSeaAndImpossiblePositionsAreUnknown)
{
    const std::pair<double, double> positions[] = {
        {125.0, 30.0}, // East China Sea
        {-150.0, -40.0}, {0.0, 0.0}, {180.5, 10.0}, {10.0, -90.5}, {std::nan(""), 30.0},
    };
    for (const auto& [longitude, latitude] : positions)
        EXPECT_EQ(Data().PlaceAt(longitude, latitude), QStringLiteral("未知")) << longitude << "," << latitude;

    const std::pair<const char*, const char*> texts[] = {
        {"abc", "30.5"}, {"", ""}, {"105.5912", "north"}, {"200", "30"}, {"105", "95"}, {"inf", "30"}, {"105,5", "30"},
    };
    for (const auto& [longitude, latitude] : texts)
        EXPECT_EQ(OfflinePlaceText(Data(), longitude, latitude), QStringLiteral("未知")) << longitude << " " << latitude;
    EXPECT_EQ(OfflinePlaceText(Data(), " 105.5912 ", "30.5130"), QStringLiteral("遂宁市 船山区 船山区"));
}

// Small made-up data: a district with a lake (a hole), a world region beneath it, and two
// countries side by side with a town each near their border.
TEST(PlaceData, HolesEdgesLayersAndTownsOfTheSameCountry)
{
    using W = PlaceBodyWriter;
    const std::vector<TestArea> areas = {
        {0, "CN", "甲市", "乙区", {W::Square(100, 30, 1), W::Square(100.4, 30.4, 0.2)}},
        {1, "ZZ", "国丙", "省三", {W::Square(99, 29, 3)}},
        {1, "XX", "国甲", "省一", {W::Square(10, 10, 1)}},
        {1, "YY", "国乙", "省二", {W::Square(11, 10, 1)}},
    };
    const std::vector<TestTown> towns = {{10.90, 10.5, "Town_X", "XX"}, {11.05, 10.5, "Town_Y", "YY"}};
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.file("places.dat"), W::File(W().Body(areas, towns))));
    QString error;
    const auto data = PlaceData::Load(folder.file("places.dat"), error);
    ASSERT_TRUE(data) << error.toStdString();

    const std::tuple<double, double, const char*, const char*> cases[] = {
        {100.2, 30.2, "乙区 itself", "甲市 乙区 乙区"},
        {100.5, 30.5, "the lake: inside the world region only", "国丙 省三 省三"},
        {99.5, 29.5, "the world region outside the district", "国丙 省三 省三"},
        {102.005, 30.5, "500 m off the region's drawn edge", "国丙 省三 省三"},
        {102.05, 30.5, "5 km off it", "未知"},
        {10.98, 10.5, "the nearest town is across the border: the own country's", "国甲 省一 Town_X"},
        {11.90, 10.9, "no town within reach: the region again", "国乙 省二 省二"},
    };
    for (const auto& [longitude, latitude, what, place] : cases)
        EXPECT_EQ(data->PlaceAt(longitude, latitude), QString::fromUtf8(place)) << what;
}

class DamagedPlaceData : public testing::Test {
protected:
    void SetUp() override
    {
        QFile file(PlaceDataPath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        good = file.readAll();
    }
    void TearDown() override { SetPlaceDataPath({}); }

    // Loads bytes written to a file; the data must be refused with a reason, never crash.
    QString Refusal(const QByteArray& bytes)
    {
        const QString path = folder.file("places.dat");
        EXPECT_TRUE(WriteBytes(path, bytes));
        QString error;
        EXPECT_EQ(PlaceData::Load(path, error), nullptr);
        return error;
    }

    QByteArray good;
    TempFolder folder;
};

TEST_F(DamagedPlaceData, IsRefusedWithAReason)
{
    QByteArray flipped = good;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x40);
    QByteArray otherVersion = good;
    otherVersion[8] = 2;
    const std::pair<QByteArray, const char*> cases[] = {
        {{}, "不是地名数据文件"},
        {"ORVKPLC1", "不是地名数据文件"},
        {QByteArray("PK\x03\x04") + good.mid(4), "不是地名数据文件"},
        {otherVersion, "格式版本不符"},
        {good.left(good.size() - 1), "文件不完整"},
        {good + "x", "文件不完整"},
        {flipped, "校验和不符"},
    };
    for (const auto& [bytes, reason] : cases) {
        const QString error = Refusal(bytes);
        EXPECT_TRUE(error.contains(QStringLiteral("已损坏")) && error.contains(QString::fromUtf8(reason))) << error.toStdString();
    }
    QString error;
    EXPECT_EQ(PlaceData::Load(folder.file("none.dat"), error), nullptr);
    EXPECT_TRUE(error.startsWith(QStringLiteral("找不到离线地名数据"))) << error.toStdString();
}

TEST_F(DamagedPlaceData, ABodyCutShortOrPaddedIsRefused)
{
    QString error;
    const QByteArray body = PlaceData::BodyOfFile(good, error);
    ASSERT_FALSE(body.isEmpty()) << error.toStdString();
    ASSERT_TRUE(PlaceData::FromBody(body, error));
    for (const qsizetype cut : {qsizetype(0), qsizetype(1), qsizetype(2), body.size() / 3, body.size() / 2, body.size() - 1})
        EXPECT_EQ(PlaceData::FromBody(body.left(cut), error), nullptr) << cut;
    EXPECT_EQ(PlaceData::FromBody(body + '\0', error), nullptr);
    EXPECT_EQ(error, QStringLiteral("数据末尾有多余内容"));

    // One name; one area with a ring whose second step is the most negative number there is.
    const QByteArray overflow = QByteArray::fromHex("01" "0161"  // names: "a"
                                                    "01"         // one area:
                                                    "00" "434e"  //   layer, country "CN"
                                                    "00" "00"    //   names
                                                    "01" "03"    //   one ring of three points
                                                    "01" "00"    //   x -1, y 0
                                                    "ffffffffffffffffff01" "00" // a step of -2^63 in x
                                                    "00" "00"
                                                    "00"); // no towns
    EXPECT_EQ(PlaceData::FromBody(overflow, error), nullptr);
    EXPECT_EQ(error, QStringLiteral("坐标越界"));
}

TEST_F(DamagedPlaceData, TheSharedGeocoderAnswersUnknownAndSaysWhy)
{
    QByteArray flipped = good;
    flipped[100] = char(flipped[100] ^ 1);
    ASSERT_TRUE(WriteBytes(folder.file("places.dat"), flipped));
    SetPlaceDataPath(folder.file("places.dat"));
    EXPECT_EQ(GetOfflinePlaceName("105.5912", "30.5130"), QStringLiteral("未知"));
    EXPECT_FALSE(SharedPlaceData().data);
    EXPECT_TRUE(SharedPlaceData().error.contains(folder.file("places.dat")));

    SetPlaceDataPath({});
    EXPECT_EQ(GetOfflinePlaceName("105.5912", "30.5130"), QStringLiteral("遂宁市 船山区 船山区"));
}

} // namespace
