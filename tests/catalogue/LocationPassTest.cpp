#include "catalogue/Catalogue.h"
#include "catalogue/LocationPass.h"
#include "services/LocationCache.h"
#include "services/PlaceResolver.h"

#include "TestFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// A web service stand-in: answers from a table, counts the questions, can be held back.
struct FakeService {
    std::mutex mutex;
    QStringList asked; // "longitude,latitude"
    std::function<QString(const QString&)> answer = [](const QString&) { return QStringLiteral("遂宁市 船山区 灵泉街道"); };
    std::atomic<bool> hold = false;

    // The service's answers: "..." is the busy answer, "未知" one without a place, and
    // "unreachable" stands for no answer at all.
    PlaceResolver::WebLookup Lookup()
    {
        return [this](const QString& longitude, const QString& latitude, std::stop_token stop) {
            const QString position = longitude + u',' + latitude;
            {
                std::lock_guard lock(mutex);
                asked << position;
            }
            while (hold && !stop.stop_requested())
                QThread::msleep(2);
            const QString text = answer(position);
            if (text == QStringLiteral("unreachable"))
                return WebPlace{QStringLiteral("未知"), WebOutcome::Unreachable};
            const WebOutcome outcome = text == QStringLiteral("...") ? WebOutcome::Busy
                : text == QStringLiteral("未知")                      ? WebOutcome::NoPlace
                                                                      : WebOutcome::Place;
            return WebPlace{text, outcome};
        };
    }
    int Count()
    {
        std::lock_guard lock(mutex);
        return int(asked.size());
    }
};

class LocationPassTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(OpenCacheDb(folder.file("Cha.mdb")).outcome, CacheOpenOutcome::Created); }
    void TearDown() override
    {
        pass.reset();
        CloseCacheDb();
    }

    static constexpr const char* kShotTime = "2017/05/03 14:22:10";

    static void AddTo(Catalogue& to, const QString& name, const QString& position, const QString& card = "/card/")
    {
        NewEntry entry;
        entry.path = card + name;
        entry.position = PositionFromText(position);
        entry.shotTime = ShotTimeFromText(kShotTime);
        to.AddEntry(entry, card);
        to.Flush();
    }
    void Add(const QString& name, const QString& position) { AddTo(catalogue, name, position); }

    // Ticks as the window's timer would, until nothing is pending or time runs out.
    int RunUntilDone(int timeoutMs = 5000) { return RunUntilDone(*pass, timeoutMs); }
    static int RunUntilDone(LocationPass& running, int timeoutMs = 5000)
    {
        QElapsedTimer waited;
        waited.start();
        int ticks = 0;
        while (waited.elapsed() < timeoutMs) {
            ++ticks;
            if (!running.Tick())
                return ticks;
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
        return -1;
    }

    static QString PlaceIn(const Catalogue& in, const QString& name)
    {
        for (int row = 0; row < in.Count(); ++row)
            if (in.Entry(row).name == name)
                return in.Entry(row).place;
        return "no such row";
    }
    QString Place(const QString& name) const { return PlaceIn(catalogue, name); }

    // The program ends and starts again on the same cache file.
    void Restart()
    {
        pass.reset();
        CloseCacheDb();
        ASSERT_EQ(OpenCacheDb(folder.file("Cha.mdb")).outcome, CacheOpenOutcome::Opened);
    }

    void StartPass(GeoMode mode = GeoMode::Web, PlaceResolver::DataSource offline = {})
    {
        pass = std::make_unique<LocationPass>(catalogue,
                                              std::make_unique<PlaceResolver>(mode, service.Lookup(), std::move(offline)));
        QObject::connect(pass.get(), &LocationPass::statusMessage, [this](const QString& text) { told << text; });
    }

    TempFolder folder;
    Catalogue catalogue;
    FakeService service;
    std::unique_ptr<LocationPass> pass;
    QStringList told; // the pass's status messages
};

TEST_F(LocationPassTest, RowsWithoutAPositionAreUnknownAndTheOthersAreLookedUp)
{
    Add("P1.JPG", "0.0000,0.0000");
    Add("P2.JPG", "105.5912,30.5130");
    Add("P3.JPG", " 0.0000,0.0000 ");
    StartPass();
    EXPECT_GT(RunUntilDone(), 0);
    EXPECT_EQ(Place("P1.JPG"), QStringLiteral("未知"));
    EXPECT_EQ(Place("P2.JPG"), QStringLiteral("遂宁市 船山区 灵泉街道"));
    EXPECT_EQ(Place("P3.JPG"), QStringLiteral("未知"));
    EXPECT_EQ(service.asked, QStringList({"105.5912,30.5130"})) << "longitude first, texts as stored";
    QString cached;
    EXPECT_TRUE(QueryValue("105353030", "GPS", cached));
    EXPECT_FALSE(pass->Tick()) << "nothing pending: the timer may stop";
}

TEST_F(LocationPassTest, RowsInOneCellAreAnsweredFromTheCache)
{
    Add("P1.JPG", "105.5912,30.5130");
    Add("P2.JPG", "105.5962,30.5131"); // same degree-minute cell
    Add("P3.JPG", "105.6112,30.5130"); // the next minute of longitude
    InsertValue("105363030", "cached place", "GPS");
    StartPass();
    EXPECT_GT(RunUntilDone(), 0);
    EXPECT_EQ(Place("P1.JPG"), QStringLiteral("遂宁市 船山区 灵泉街道"));
    EXPECT_EQ(Place("P2.JPG"), QStringLiteral("遂宁市 船山区 灵泉街道"));
    EXPECT_EQ(Place("P3.JPG"), QStringLiteral("cached place"));
    EXPECT_EQ(service.Count(), 1);
}

TEST_F(LocationPassTest, ARefusalIsAskedAgainAfterAPauseAndNeverCached)
{
    std::atomic<int> calls = 0;
    service.answer = [&](const QString&) { return ++calls < 3 ? QStringLiteral("...") : QStringLiteral("A B C"); };
    Add("P1.JPG", "105.5912,30.5130");
    StartPass();
    QElapsedTimer took;
    took.start();
    EXPECT_GT(RunUntilDone(), 0);
    EXPECT_EQ(Place("P1.JPG"), QStringLiteral("A B C"));
    EXPECT_EQ(service.Count(), 3);
    EXPECT_GE(took.elapsed(), 2 * LocationPass::kRetryAfterRefusalMs - 50) << "a pause after each refusal";
}

TEST_F(LocationPassTest, FailuresAreUnknownAndNotCached)
{
    service.answer = [](const QString&) { return QStringLiteral("未知"); };
    Add("P1.JPG", "105.5912,30.5130");
    StartPass();
    EXPECT_GT(RunUntilDone(), 0);
    EXPECT_EQ(Place("P1.JPG"), QStringLiteral("未知"));
    QString cached;
    EXPECT_FALSE(QueryValue("105353030", "GPS", cached));
}

TEST_F(LocationPassTest, AnEditedRowKeepsTheUsersTextAndASortedRowGetsItsOwnAnswer)
{
    service.answer = [](const QString& position) { return "place of " + position; };
    Add("B.JPG", "105.5912,30.5130");
    Add("A.JPG", "104.0673,30.5239");
    Add("C.JPG", "106.0000,31.0000");
    service.hold = true;
    StartPass();
    pass->Tick(); // asks for B's position
    ASSERT_TRUE(pass->LookupUnderWay());
    catalogue.rows().sortRows(kColName, 1); // B moves from row 0 to row 1
    catalogue.SetPlace(2, "我的位置", PlaceState::Typed); // the user edits C meanwhile
    service.hold = false;
    EXPECT_GT(RunUntilDone(), 0);
    EXPECT_EQ(Place("B.JPG"), QStringLiteral("place of 105.5912,30.5130"));
    EXPECT_EQ(Place("A.JPG"), QStringLiteral("place of 104.0673,30.5239"));
    EXPECT_EQ(Place("C.JPG"), QStringLiteral("我的位置"));
    EXPECT_EQ(service.Count(), 2);
}

TEST_F(LocationPassTest, TypingThreeDotsMakesARowPendingAgain)
{
    Add("P1.JPG", "105.5912,30.5130");
    StartPass();
    RunUntilDone();
    catalogue.SetPlace(0, "...", PlaceState::Pending);
    EXPECT_TRUE(pass->Tick());
    EXPECT_EQ(Place("P1.JPG"), QStringLiteral("遂宁市 船山区 灵泉街道")) << "now from the cache";
    EXPECT_EQ(service.Count(), 1);
}

TEST_F(LocationPassTest, ATypedPlaceIsNeverOverwrittenAndComesBackAfterARestart)
{
    service.answer = [](const QString& position) { return "place of " + position; };
    Add("A.JPG", "105.5912,30.5130");
    Add("B.JPG", "104.0673,30.5239");
    service.hold = true;
    StartPass();
    pass->Tick(); // asks for A's position
    ASSERT_TRUE(pass->LookupUnderWay());
    catalogue.TypePlace(0, "我的位置"); // the user types A's place while its answer is on its way
    service.hold = false;
    EXPECT_GT(RunUntilDone(), 0);
    EXPECT_EQ(Place("A.JPG"), QStringLiteral("我的位置"));
    EXPECT_EQ(Place("B.JPG"), QStringLiteral("place of 104.0673,30.5239"));
    QString cached;
    ASSERT_TRUE(QueryValue("105353030", "GPS", cached)) << "A's cell has an answer that could take its place";

    // The same card, listed again after a restart from where it is mounted now.
    Restart();
    Catalogue again;
    AddTo(again, "B.JPG", "104.0673,30.5239", "/media/pilot/CARD/");
    AddTo(again, "A.JPG", "105.5912,30.5130", "/media/pilot/CARD/");
    EXPECT_EQ(PlaceIn(again, "A.JPG"), QStringLiteral("我的位置")) << "listed with it, not pending";
    EXPECT_EQ(PlaceIn(again, "B.JPG"), QStringLiteral("..."));
    LocationPass againPass(again, std::make_unique<PlaceResolver>(GeoMode::Web, service.Lookup(), PlaceResolver::DataSource{}));
    againPass.BeginPass();
    EXPECT_EQ(againPass.Remaining(), 1);
    EXPECT_GT(RunUntilDone(againPass), 0);
    EXPECT_EQ(PlaceIn(again, "A.JPG"), QStringLiteral("我的位置"));
    EXPECT_EQ(PlaceIn(again, "B.JPG"), QStringLiteral("place of 104.0673,30.5239")) << "from the cache";
    EXPECT_EQ(service.Count(), 2);
}

TEST_F(LocationPassTest, ClearingATypedPlaceGivesTheRowBackToTheLookup)
{
    Add("A.JPG", "105.5912,30.5130");
    StartPass();
    int wanted = 0;
    QObject::connect(pass.get(), &LocationPass::placesWanted, [&] { ++wanted; });
    const QString key = CatalogueKey("A.JPG", kShotTime);
    for (const char* cleared : {"", " \t", "..."}) {
        catalogue.TypePlace(0, "我的位置");
        EXPECT_GT(RunUntilDone(), 0);
        ASSERT_EQ(Place("A.JPG"), QStringLiteral("我的位置"));
        const int wantedBefore = wanted;

        catalogue.TypePlace(0, QString::fromUtf8(cleared));
        EXPECT_EQ(Place("A.JPG"), QStringLiteral("...")) << cleared;
        EXPECT_EQ(wanted, wantedBefore + 1) << "the ended pass is wanted again";
        QString kept;
        EXPECT_FALSE(LoadTypedPlace(key, kept)) << cleared;
        EXPECT_GT(RunUntilDone(), 0);
        EXPECT_EQ(Place("A.JPG"), QStringLiteral("遂宁市 船山区 灵泉街道")) << cleared;
    }
    EXPECT_EQ(service.Count(), 1) << "asked once; later the answer of this pass";

    Restart();
    Catalogue again;
    AddTo(again, "A.JPG", "105.5912,30.5130");
    EXPECT_EQ(PlaceIn(again, "A.JPG"), QStringLiteral("...")) << "a cleared place stays cleared";
}

TEST_F(LocationPassTest, APositionThatIsNotTwoNumbersDoesNotStallThePass)
{
    Add("V1.MOV", "104.5678,");
    Add("V2.MOV", "GPS,north");
    Add("V3.MOV", "105.5912,30.5130");
    StartPass();
    EXPECT_GT(RunUntilDone(), 0);
    EXPECT_EQ(Place("V1.MOV"), QStringLiteral("未知"));
    EXPECT_EQ(Place("V2.MOV"), QStringLiteral("未知"));
    EXPECT_EQ(Place("V3.MOV"), QStringLiteral("遂宁市 船山区 灵泉街道"));
}

TEST_F(LocationPassTest, ManyCachedRowsResolveInAFewTicks)
{
    for (int i = 0; i < 2000; ++i)
        Add(QStringLiteral("P%1.JPG").arg(i), QStringLiteral("%1,30.5130").arg(100.0 + (i % 50) / 60.0, 0, 'f', 4));
    for (int minute = 0; minute < 50; ++minute) {
        const double longitude = QString::number(100.0 + minute / 60.0, 'f', 4).toDouble();
        InsertValue(GpsCellKey(longitude, 30.5130), QStringLiteral("cell %1").arg(minute), "GPS");
    }
    StartPass();
    const int ticks = RunUntilDone();
    EXPECT_GT(ticks, 0);
    EXPECT_LT(ticks, 50) << "many rows per tick, not one";
    EXPECT_EQ(service.Count(), 0);
}

TEST_F(LocationPassTest, EndingThePassEndsALookupUnderWay)
{
    service.hold = true;
    Add("P1.JPG", "105.5912,30.5130");
    StartPass();
    pass->Tick();
    ASSERT_TRUE(pass->LookupUnderWay());
    QElapsedTimer took;
    took.start();
    pass.reset(); // the window closes while the service is still thinking
    EXPECT_LT(took.elapsed(), 1000);
}

TEST_F(LocationPassTest, AfterTheWebFailsTheRestOfThePassIsNamedOfflineAndNothingIsCached)
{
    service.answer = [](const QString&) { return QStringLiteral("unreachable"); };
    for (int i = 0; i < 200; ++i) // 200 rows in 50 cells
        Add(QStringLiteral("P%1.JPG").arg(i), QStringLiteral("%1,30.5130").arg(105.5 + (i % 50) / 60.0, 0, 'f', 4));
    StartPass(GeoMode::Auto);
    EXPECT_GT(RunUntilDone(), 0);
    EXPECT_EQ(service.Count(), 1) << "one failed question, then no more";
    for (int i = 0; i < 200; ++i) {
        const QStringList pieces = Place(QStringLiteral("P%1.JPG").arg(i)).split(u' ');
        ASSERT_EQ(pieces.size(), 3) << i;
        EXPECT_EQ(pieces[1], pieces[2]) << "named offline: the district stands in for the street";
    }
    EXPECT_EQ(Place("P0.JPG"), QStringLiteral("遂宁市 船山区 船山区"));
    QString cached;
    for (int minute = 0; minute < 50; ++minute)
        EXPECT_FALSE(QueryValue(GpsCellKey(105.5 + minute / 60.0, 30.5130), "GPS", cached)) << "offline answers stay out";
    EXPECT_EQ(told, QStringList({"联网查询地名失败，已改用离线数据（没有街道名）"})) << "said once";

    // The next pass asks the web again, and its answer is cached over nothing.
    service.answer = [](const QString&) { return QStringLiteral("遂宁市 船山区 灵泉街道"); };
    catalogue.SetPlace(0, "...", PlaceState::Pending);
    pass->BeginPass();
    EXPECT_GT(RunUntilDone(), 0);
    EXPECT_EQ(Place("P0.JPG"), QStringLiteral("遂宁市 船山区 灵泉街道"));
    EXPECT_TRUE(QueryValue(GpsCellKey(105.5, 30.5130), "GPS", cached));
    EXPECT_EQ(service.Count(), 2);
}

TEST_F(LocationPassTest, ProgressCountsDownToNothingAndAnUnreachableServiceIsToldOnce)
{
    service.answer = [](const QString&) { return QStringLiteral("unreachable"); };
    for (int i = 0; i < 30; ++i) // 30 rows in 3 cells, and one without a position
        Add(QStringLiteral("P%1.JPG").arg(i), QStringLiteral("%1,30.5130").arg(105.5 + (i % 3 + 0.5) / 60.0, 0, 'f', 4));
    Add("NOGPS.JPG", "0.0000,0.0000");
    StartPass(GeoMode::Web);
    QList<int> counts;
    QObject::connect(pass.get(), &LocationPass::progress, [&](int remaining) { counts << remaining; });
    pass->BeginPass();
    EXPECT_EQ(pass->Remaining(), 31);
    EXPECT_GT(RunUntilDone(), 0);
    ASSERT_FALSE(counts.isEmpty());
    EXPECT_EQ(counts.first(), 31);
    EXPECT_EQ(counts.last(), 0);
    EXPECT_TRUE(std::is_sorted(counts.rbegin(), counts.rend())) << "never counts up";
    EXPECT_EQ(service.Count(), 3) << "one question per cell: the answers of this pass are remembered";
    EXPECT_EQ(Place("P29.JPG"), QStringLiteral("未知"));
    EXPECT_EQ(told, QStringList({"无法连接地名服务，查不到的地名显示为“未知”"})) << "said once, not per row";
    EXPECT_EQ(PlaceStatusLine(12, told), QStringLiteral("正在查询地名：还有 12 个文件；无法连接地名服务，查不到的地名显示为“未知”"));
    EXPECT_EQ(PlaceStatusLine(0, {}), QString());
}

TEST_F(LocationPassTest, OfflineModeNeverAsksTheWebAndSaysSoOncePerPass)
{
    Add("P1.JPG", "105.5912,30.5130");
    Add("P2.JPG", "0.0000,0.0000");
    Add("P3.JPG", "125.0000,30.0000"); // at sea
    StartPass(GeoMode::Offline);
    EXPECT_GT(RunUntilDone(), 0);
    EXPECT_EQ(Place("P1.JPG"), QStringLiteral("遂宁市 船山区 船山区"));
    EXPECT_EQ(Place("P2.JPG"), QStringLiteral("未知"));
    EXPECT_EQ(Place("P3.JPG"), QStringLiteral("未知"));
    EXPECT_EQ(service.Count(), 0);
    EXPECT_EQ(told, QStringList({"地名来自离线数据（没有街道名）"}));
    catalogue.SetPlace(0, "...", PlaceState::Pending);
    pass->BeginPass();
    RunUntilDone();
    EXPECT_EQ(told.size(), 2) << "told again in the next pass";
}

TEST_F(LocationPassTest, WithoutTheOfflineDataOfflineModeSaysWhyAndLeavesPlacesUnknown)
{
    for (int i = 0; i < 100; ++i) // in 100 cells
        Add(QStringLiteral("P%1.JPG").arg(i), QStringLiteral("%1,30.5130").arg(105.0 + i / 60.0, 0, 'f', 4));
    StartPass(GeoMode::Offline, [] { return OfflinePlaceData{nullptr, QStringLiteral("离线地名数据 /x/places.dat 已损坏（校验和不符）")}; });
    const int ticks = RunUntilDone();
    EXPECT_GT(ticks, 0);
    EXPECT_LT(ticks, 20) << "not a tick per cell once the data is known to be unusable";
    EXPECT_EQ(Place("P0.JPG"), QStringLiteral("未知"));
    EXPECT_EQ(Place("P99.JPG"), QStringLiteral("未知"));
    EXPECT_EQ(told, QStringList({"离线地名数据 /x/places.dat 已损坏（校验和不符），无法离线查询地名"}));
    EXPECT_EQ(service.Count(), 0);
}

} // namespace
