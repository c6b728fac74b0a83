#include "services/LocationCache.h"

#include "TestFiles.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <thread>
#include <vector>

namespace {

class LocationCacheTest : public testing::Test {
protected:
    void TearDown() override { CloseCacheDb(); }
    TempFolder folder;
    QString path = folder.file("Cha.mdb");
};

TEST_F(LocationCacheTest, FirstRunCreatesTheFileAndLaterRunsOpenIt)
{
    EXPECT_EQ(OpenCacheDb(path).outcome, CacheOpenOutcome::Created);
    ASSERT_TRUE(InsertValue("105353030", "遂宁市 船山区 灵泉街道", "GPS"));
    CloseCacheDb();
    EXPECT_FALSE(CacheDbIsOpen());

    EXPECT_EQ(OpenCacheDb(path).outcome, CacheOpenOutcome::Opened);
    QString place;
    EXPECT_TRUE(QueryValue("105353030", "GPS", place));
    EXPECT_EQ(place, QStringLiteral("遂宁市 船山区 灵泉街道"));
}

TEST_F(LocationCacheTest, QueryInsertAndSave)
{
    ASSERT_EQ(OpenCacheDb(path).outcome, CacheOpenOutcome::Created);
    QString value = "untouched";
    EXPECT_FALSE(QueryValue("CancleVersion", "INFO", value));
    EXPECT_EQ(value, QStringLiteral("untouched"));
    EXPECT_TRUE(InsertValue("CancleVersion", "1.0.0.2", "INFO"));
    EXPECT_FALSE(InsertValue("CancleVersion", "1.0.0.3", "INFO")) << "an existing key is not inserted again";
    EXPECT_TRUE(SaveValue("CancleVersion", "1.0.0.4", "INFO"));
    EXPECT_TRUE(SaveValue("AppNotice", "7", "INFO"));
    EXPECT_TRUE(QueryValue("CancleVersion", "INFO", value));
    EXPECT_EQ(value, QStringLiteral("1.0.0.4"));
    EXPECT_FALSE(QueryValue("CancleVersion", "GPS", value)) << "the tables are apart";
    EXPECT_FALSE(InsertValue("k", "v", "GPS; DROP TABLE GPS")) << "only the two tables";

    const QString quoted = QStringLiteral("O'Brien's \"place\"; --");
    EXPECT_TRUE(InsertValue("it's", quoted, "GPS"));
    EXPECT_TRUE(QueryValue("it's", "GPS", value));
    EXPECT_EQ(value, quoted);
}

TEST_F(LocationCacheTest, WithoutADatabaseNothingIsFoundOrStored)
{
    QString value;
    EXPECT_FALSE(QueryValue("k", "GPS", value));
    EXPECT_FALSE(InsertValue("k", "v", "GPS"));
    EXPECT_FALSE(SaveValue("k", "v", "INFO"));
}

TEST_F(LocationCacheTest, AFileThatIsNoDatabaseIsReportedAndACreationThatFailsLeavesNothing)
{
    WriteTextFile(path, "Standard Jet DB: not ours");
    const CacheOpenResult damaged = OpenCacheDb(path);
    EXPECT_EQ(damaged.outcome, CacheOpenOutcome::OpenFailed);
    EXPECT_TRUE(damaged.error.contains("Cha.mdb")) << damaged.error.toStdString();
    EXPECT_FALSE(CacheDbIsOpen());

    const QString nowhere = folder.file("missing-folder/Cha.mdb");
    EXPECT_EQ(OpenCacheDb(nowhere).outcome, CacheOpenOutcome::CreateFailed);
    EXPECT_FALSE(QFile::exists(nowhere));
}

TEST_F(LocationCacheTest, TypedPlacesOutliveARestartUntilForgotten)
{
    const QString photo = QStringLiteral("P0001.JPG2017/05/03 14:22:10");
    const QString video = QStringLiteral("V0002.MOV2017/05/03 14:30:00");
    const QString quoted = QStringLiteral("O'Brien's 农场");
    ASSERT_EQ(OpenCacheDb(path).outcome, CacheOpenOutcome::Created);
    EXPECT_TRUE(SaveTypedPlace(photo, "成都市 武侯区"));
    EXPECT_TRUE(SaveTypedPlace(photo, "成都市 武侯区 玉林街道")) << "typing again replaces";
    EXPECT_TRUE(SaveTypedPlace(video, quoted));
    QString value = "untouched";
    EXPECT_FALSE(QueryValue(photo, "GPS", value)) << "typed places are not the geocoders' answers";
    EXPECT_FALSE(QueryValue(photo, "INFO", value));
    EXPECT_EQ(value, QStringLiteral("untouched"));
    CloseCacheDb();

    ASSERT_EQ(OpenCacheDb(path).outcome, CacheOpenOutcome::Opened);
    EXPECT_TRUE(LoadTypedPlace(photo, value));
    EXPECT_EQ(value, QStringLiteral("成都市 武侯区 玉林街道"));
    EXPECT_TRUE(LoadTypedPlace(video, value));
    EXPECT_EQ(value, quoted);

    EXPECT_TRUE(ForgetTypedPlace(photo));
    EXPECT_TRUE(ForgetTypedPlace(photo)) << "forgetting what is not kept is no failure";
    value = "untouched";
    EXPECT_FALSE(LoadTypedPlace(photo, value));
    EXPECT_EQ(value, QStringLiteral("untouched"));
    CloseCacheDb();

    ASSERT_EQ(OpenCacheDb(path).outcome, CacheOpenOutcome::Opened);
    EXPECT_FALSE(LoadTypedPlace(photo, value)) << "forgotten for good";
    EXPECT_TRUE(LoadTypedPlace(video, value)) << "the other file keeps its place";
    CloseCacheDb();

    EXPECT_FALSE(SaveTypedPlace(photo, "x")) << "without a database";
    EXPECT_FALSE(LoadTypedPlace(video, value));
    EXPECT_FALSE(ForgetTypedPlace(video));
}

TEST_F(LocationCacheTest, AFileMadeBeforeTypedPlacesWereKeptGetsTheirTableAndKeepsItsAnswers)
{
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &old), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(old,
                           "CREATE TABLE GPS (ID varchar PRIMARY KEY,Kvalue varchar);"
                           "CREATE TABLE INFO (ID varchar PRIMARY KEY,Kvalue varchar);"
                           "INSERT INTO GPS VALUES ('105353030', 'cached place');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(old);

    ASSERT_EQ(OpenCacheDb(path).outcome, CacheOpenOutcome::Opened);
    QString value;
    EXPECT_TRUE(QueryValue("105353030", "GPS", value));
    EXPECT_EQ(value, QStringLiteral("cached place"));
    EXPECT_FALSE(LoadTypedPlace("P0001.JPG2017/05/03 14:22:10", value));
    EXPECT_TRUE(SaveTypedPlace("P0001.JPG2017/05/03 14:22:10", "我的位置"));
    EXPECT_TRUE(LoadTypedPlace("P0001.JPG2017/05/03 14:22:10", value));
    EXPECT_EQ(value, QStringLiteral("我的位置"));
}

TEST_F(LocationCacheTest, ThreeThreadsAtOnceLoseNothing)
{
    ASSERT_EQ(OpenCacheDb(path).outcome, CacheOpenOutcome::Created);
    constexpr int kPerThread = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) {
                const QString key = QStringLiteral("%1-%2").arg(t).arg(i);
                InsertValue(key, "place " + key, "GPS");
                SaveValue("shared", key, "INFO"); // every thread rewrites one key
                QString read;
                QueryValue(key, "GPS", read);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 3; ++t)
        for (int i = 0; i < kPerThread; ++i) {
            const QString key = QStringLiteral("%1-%2").arg(t).arg(i);
            QString place;
            ASSERT_TRUE(QueryValue(key, "GPS", place)) << key.toStdString();
            EXPECT_EQ(place, "place " + key);
        }
    QString last;
    EXPECT_TRUE(QueryValue("shared", "INFO", last));
    EXPECT_TRUE(last.endsWith(QStringLiteral("-%1").arg(kPerThread - 1)));
}

TEST(GpsCellKey, WholeDegreesAndMinutesRunTogether)
{
    EXPECT_EQ(GpsCellKey(105.5912, 30.5130), QStringLiteral("105353030"));
    EXPECT_EQ(GpsCellKey(105.5912, 30.5130), GpsCellKey(105.5962, 30.5131)) << "0.3 arc-minutes apart, one cell";
    EXPECT_NE(GpsCellKey(105.5912, 30.5130), GpsCellKey(105.5912 + 1.0 / 60, 30.5130)) << "neighbouring cells";
    EXPECT_EQ(GpsCellKey(-70.6483, -33.8568), QStringLiteral("-70-38-33-51"));
}

} // namespace
