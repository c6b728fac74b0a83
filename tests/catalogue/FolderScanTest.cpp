#include "catalogue/Catalogue.h"
#include "catalogue/FolderScan.h"
#include "catalogue/HeadlessScan.h"
#include "services/LocationCache.h"

#include "JpegFixtures.h"
#include "LocalHttpServer.h"
#include "TestFiles.h"

#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QSet>
#include <QTextStream>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

const QDateTime kShot(QDate(2017, 5, 3), QTime(14, 22, 10));

ExifFields ShotAt(const QDateTime& when, std::optional<double> latitude = {}, std::optional<double> longitude = {})
{
    ExifFields fields;
    fields.digitized = when;
    if (latitude)
        fields.latitude = GpsFromDegrees(*latitude, true);
    if (longitude)
        fields.longitude = GpsFromDegrees(*longitude, false);
    return fields;
}

// A flight log whose first entry is at position (longitude, latitude).
QByteArray FlightLog(const char* positionLine)
{
    return QByteArray("1\r\n00:00:00,000 --> 00:00:01,000\r\nHOME(104.0000,30.0000) 2017.05.03 14:22:10\r\n")
        + positionLine + "\r\nISO:100 Shutter:60 EV: Fnum:2.2\r\n\r\n2\r\n";
}

void SetModified(const QString& path, const QDateTime& when)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
}

QStringList Relative(const QString& root, const QStringList& paths)
{
    QStringList relative;
    for (const QString& path : paths)
        relative << path.mid(root.size());
    relative.sort();
    return relative;
}

TEST(HasListedExt, ComparesTheLowerCasedLastExtension)
{
    const std::pair<const char*, bool> cases[] = {
        {"P0001.JPG", true}, {"p.jpg", true}, {"V.MOV", true}, {"v.Mp4", true}, {"P0001.jpeg", true}, {"P.DNG", false},
        {"noextension", false}, {"archive.jpg.zip", false}, {".jpg", true}, {"P.JPG ", false},
    };
    for (const auto& [name, listed] : cases)
        EXPECT_EQ(HasListedExt(QString::fromUtf8(name), kScanExtensions), listed) << name;
}

TEST(WalkFolder, FindsMediaInPathOrderAndSkipsHiddenEntries)
{
    TempFolder root;
    for (const char* file : {"P0001.JPG", "P0001.DNG", "P0002.jpeg", "100/V0001.MOV", "100/V0001.SRT", "100/deep/V0002.mp4",
                             ".hidden/P9.jpg", "100/.P8.jpg", "notes.txt", "200/P0003.jpg"})
        ASSERT_TRUE(WriteBytes(root.file(file), "x"));
    ASSERT_TRUE(QFile::link(root.file("100"), root.file("link-to-100")));

    QStringList paths;
    WalkFolder(root.path(), kScanExtensions, paths);
    EXPECT_EQ(Relative(root.path(), paths),
              QStringList({"100/V0001.MOV", "100/deep/V0002.mp4", "200/P0003.jpg", "P0001.JPG", "P0002.jpeg"}));
    QStringList inPathOrder = paths;
    inPathOrder.sort();
    EXPECT_EQ(paths, inPathOrder) << "listed in path order, whatever the file system's order";

    // Many names written in scrambled order still come out in path order.
    TempFolder many;
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(WriteBytes(many.file(QStringLiteral("DCIM/%1/P%2.JPG").arg(100 + i % 3).arg((i * 37) % 200, 4, 10, QChar(u'0'))), "x"));
    QStringList walked;
    WalkFolder(many.path(), kScanExtensions, walked);
    ASSERT_EQ(walked.size(), 200);
    EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));

    QStringList fromSlash; // a root given with a trailing "/" gives the same paths
    WalkFolder(root.dir.path() + "/", kScanExtensions, fromSlash);
    EXPECT_EQ(QSet<QString>(fromSlash.begin(), fromSlash.end()), QSet<QString>(paths.begin(), paths.end()));
}

TEST(FileSizeText, MebibytesWithTwoDecimalsAndThousands)
{
    const std::pair<qint64, const char*> cases[] = {
        {0, ".00"}, {524288, ".50"}, {1048576, "1.00"}, {1234567890, "1,177.38"}, {131072, ".13"},
        {1048576LL * 1000, "1,000.00"}, {1048576LL * 1234567, "1,234,567.00"}, {5000, ".00"}, {10485760, "10.00"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(FileSizeText(bytes), QString::fromLatin1(text)) << bytes;
    EXPECT_EQ(FileBytes(QStringLiteral("/no/such/file")), 0);
}

TEST(ParseScanTime, YearFirstWithOrWithoutTheTime)
{
    EXPECT_EQ(ParseScanTime("2017/05/03 14:22:10"), kShot);
    EXPECT_EQ(ParseScanTime("2017/5/3"), QDateTime(QDate(2017, 5, 3), QTime(0, 0)));
    for (const char* bad : {"", "yesterday", "03/05/2017", "2017/13/01 00:00:00"})
        EXPECT_FALSE(ParseScanTime(QString::fromUtf8(bad)).isValid()) << bad;
}

class BuildEntriesTest : public testing::Test {
protected:
    BuildReport Scan(const ScanMode& mode = {}, bool applyMode = true)
    {
        QStringList paths;
        WalkFolder(root.path(), kScanExtensions, paths);
        BuildOptions options;
        options.applyMode = applyMode;
        options.mode = mode;
        options.rootText = root.dir.path();
        return BuildEntries(catalogue, paths, options);
    }

    // name -> "type|size|position|shot time|place", and the entry's relative folder.
    std::map<QString, QString> Rows() const
    {
        std::map<QString, QString> rows;
        const CatalogueListModel& m = catalogue.rows();
        for (int r = 0; r < catalogue.Count(); ++r) {
            const CatalogueEntry& entry = catalogue.Entry(r);
            rows[entry.name] = QStringList({m.text(r, kColType), m.text(r, kColSize), PositionText(entry.position),
                                            m.text(r, kColShotTime), m.text(r, kColLocation), entry.folder})
                                   .join(u'|');
        }
        return rows;
    }

    TempFolder root;
    Catalogue catalogue;
};

TEST_F(BuildEntriesTest, PhotosAndVideosGetTheirTimesSizesAndPositions)
{
    ASSERT_TRUE(WriteBytes(root.file("100/P0001.JPG"), PhotoBytes(ShotAt(kShot, 30.1234, 104.5678))));
    ASSERT_TRUE(WriteBytes(root.file("100/P0002.JPG"), PhotoBytes(ShotAt(kShot.addSecs(1), -33.5, -70.6))));
    ASSERT_TRUE(WriteBytes(root.file("P0003.jpg"), PhotoBytes(std::nullopt))); // no Exif: the file time
    SetModified(root.file("P0003.jpg"), QDateTime(QDate(2016, 1, 2), QTime(3, 4, 5)));
    ASSERT_TRUE(WriteBytes(root.file("P0004.JPG"), PhotoBytes(ShotAt(kShot.addSecs(2)))));
    ASSERT_TRUE(WriteBytes(root.file("200/V0001.MOV"), QByteArray(524288, 'v')));
    ASSERT_TRUE(WriteBytes(root.file("200/V0001.SRT"), FlightLog("GPS(104.0673,30.5239,18)")));
    SetModified(root.file("200/V0001.MOV"), kShot.addSecs(60));
    ASSERT_TRUE(WriteBytes(root.file("200/V0002.mp4"), QByteArray()));
    SetModified(root.file("200/V0002.mp4"), kShot.addSecs(120));

    const BuildReport report = Scan();
    EXPECT_EQ(report.made, 6);
    EXPECT_TRUE(report.unreadable.isEmpty());
    const auto rows = Rows();
    const QString size = FileSizeText(PhotoBytes(ShotAt(kShot, 30.1234, 104.5678)).size());
    EXPECT_EQ(rows.at("P0001.JPG"), "图片|" + size + "|104.5678,30.1234|2017/05/03 14:22:10|...|/100/");
    EXPECT_EQ(rows.at("P0002.JPG"), "图片|" + size + "|-70.6000,-33.5000|2017/05/03 14:22:11|...|/100/");
    EXPECT_EQ(rows.at("P0003.jpg").section(u'|', 2, 3), "0.0000,0.0000|2016/01/02 03:04:05");
    EXPECT_EQ(rows.at("P0004.JPG").section(u'|', 2, 2), "0.0000,0.0000");
    EXPECT_EQ(rows.at("V0001.MOV"), "视频|.50|104.0673,30.5239|2017/05/03 14:23:10|...|/200/");
    EXPECT_EQ(rows.at("V0002.mp4"), "视频|.00|0.0000,0.0000|2017/05/03 14:24:10|...|/200/");
    for (int r = 0; r < catalogue.Count(); ++r) // the photo's picture or the video's
        EXPECT_EQ(catalogue.rows().data(catalogue.rows().index(r, kColName), CatalogueListModel::kImageIndexRole).toInt(),
                  catalogue.Entry(r).kind == MediaKind::Photo ? 6 : 7);
    std::map<QString, TimeSource> timeFrom;
    for (int r = 0; r < catalogue.Count(); ++r)
        timeFrom[catalogue.Entry(r).name] = catalogue.Entry(r).shotTimeFrom;
    EXPECT_EQ(timeFrom.at("P0001.JPG"), TimeSource::Exif);
    EXPECT_EQ(timeFrom.at("P0003.jpg"), TimeSource::FileTime);
    EXPECT_EQ(timeFrom.at("V0001.MOV"), TimeSource::FileTime);
    EXPECT_EQ(catalogue.SourcePath(0).startsWith(root.dir.path() + "/"), true);
}

TEST_F(BuildEntriesTest, ScanningTwiceAddsNothing)
{
    ASSERT_TRUE(WriteBytes(root.file("P0001.JPG"), PhotoBytes(ShotAt(kShot))));
    ASSERT_TRUE(WriteBytes(root.file("sub/P0001.JPG"), PhotoBytes(ShotAt(kShot)))); // same name and time
    ASSERT_TRUE(WriteBytes(root.file("sub/P0002.JPG"), PhotoBytes(ShotAt(kShot))));
    EXPECT_EQ(Scan().made, 2) << "a second file with the same name and shot time is not listed";
    EXPECT_EQ(Scan().made, 0);
    EXPECT_EQ(catalogue.rows().rowCount(), 2);
}

TEST_F(BuildEntriesTest, ADamagedPhotoIsListedAndTheScanGoesOn)
{
    for (int i = 1; i <= 5; ++i)
        ASSERT_TRUE(WriteBytes(root.file(QStringLiteral("P000%1.JPG").arg(i)), PhotoBytes(ShotAt(kShot.addSecs(i), 30, 104))));
    const QByteArray whole = PhotoBytes(ShotAt(kShot.addSecs(9), 30, 104));
    ASSERT_TRUE(WriteBytes(root.file("P0003.JPG"), whole.left(whole.indexOf(QByteArray("\xFF\xDB", 2)))));
    SetModified(root.file("P0003.JPG"), QDateTime(QDate(2016, 1, 2), QTime(3, 4, 5)));

    const BuildReport report = Scan();
    EXPECT_EQ(report.made, 5);
    ASSERT_EQ(report.unreadable.size(), 1);
    EXPECT_EQ(report.unreadable[0], root.file("P0003.JPG") + ": Stream read error");
    EXPECT_EQ(Rows().at("P0003.JPG").section(u'|', 2, 3), "0.0000,0.0000|2016/01/02 03:04:05");
}

TEST_F(BuildEntriesTest, ScanModesFilterByCreationTime)
{
    ASSERT_TRUE(WriteBytes(root.file("P0001.JPG"), PhotoBytes(ShotAt(QDateTime(QDate(2010, 1, 1), QTime(0, 0))))));
    ASSERT_TRUE(WriteBytes(root.file("V0001.MOV"), "v"));
    SetModified(root.file("V0001.MOV"), QDateTime(QDate(2010, 1, 1), QTime(0, 0)));

    const QString inAMinute = QDateTime::currentDateTime().addSecs(60).toString("yyyy/MM/dd HH:mm:ss");
    EXPECT_EQ(Scan({ScanMode::Since, inAMinute}).made, 0) << "created before the given time";
    EXPECT_EQ(Scan({ScanMode::All, inAMinute}, false).made, 0 + 2) << "no mode for drops";
}

TEST_F(BuildEntriesTest, TodayAndSinceKeepFilesCopiedToday)
{
    // Shot years ago, but the file was created today: the creation time decides.
    ASSERT_TRUE(WriteBytes(root.file("P0001.JPG"), PhotoBytes(ShotAt(QDateTime(QDate(2010, 1, 1), QTime(0, 0))))));
    EXPECT_EQ(Scan({ScanMode::Today, {}}).made, 1);
    catalogue.Clear();
    EXPECT_EQ(Scan({ScanMode::Since, QDate::currentDate().toString("yyyy/MM/dd")}).made, 1);
}

TEST_F(BuildEntriesTest, AnUnparsableTimeEndsTheRunBeforeTheFirstFile)
{
    ASSERT_TRUE(WriteBytes(root.file("P0001.JPG"), PhotoBytes(ShotAt(kShot))));
    const BuildReport report = Scan({ScanMode::Since, "not a time"});
    EXPECT_TRUE(report.badScanTime);
    EXPECT_EQ(report.made, 0);
    EXPECT_EQ(catalogue.rows().rowCount(), 0);
}

// The scan as the window runs it: batches of entries with how far it has come, and a stop
// between two files. A batch interval of 0 makes every file a batch of its own.
TEST(ScanInBatches, HandsOverEveryEntryAndStopsBetweenFiles)
{
    TempFolder root;
    for (int i = 1; i <= 6; ++i)
        ASSERT_TRUE(WriteBytes(root.file(QStringLiteral("sub/V000%1.MOV").arg(i)), "v"));
    ASSERT_TRUE(WriteBytes(root.file("P0001.JPG"), PhotoBytes(ShotAt(kShot))));

    struct Run {
        QStringList names;   // entries handed over, in order
        QList<int> examined; // as each batch reported it
        ScanOutcome outcome;
    };
    const auto scan = [&](int stopAfterBatches, const ScanMode& mode = {}) {
        Run run;
        std::stop_source stop;
        if (stopAfterBatches == 0)
            stop.request_stop();
        ScanSteps steps;
        steps.batchEveryMs = 0;
        steps.batch = [&](std::vector<NewEntry> batch, int examined, int) {
            for (const NewEntry& entry : batch)
                run.names << entry.path.section(u'/', -1);
            run.examined << examined;
            if (run.examined.size() == stopAfterBatches)
                stop.request_stop();
        };
        BuildOptions options;
        options.mode = mode;
        options.applyMode = true;
        run.outcome = ScanInBatches({root.dir.path()}, options, stop.get_token(), steps);
        return run;
    };

    const Run whole = scan(-1);
    EXPECT_FALSE(whole.outcome.cancelled);
    EXPECT_EQ(whole.outcome.files, 7);
    EXPECT_EQ(whole.names.size(), 7);
    EXPECT_EQ(whole.examined, QList<int>({1, 2, 3, 4, 5, 6, 7, 7})) << "the last batch comes at the end";

    const Run stopped = scan(2);
    EXPECT_TRUE(stopped.outcome.cancelled);
    EXPECT_EQ(stopped.names.size(), 2) << "what was read before the stop is handed over, nothing after";
    EXPECT_EQ(stopped.examined, QList<int>({1, 2, 2}));

    const Run never = scan(0);
    EXPECT_TRUE(never.outcome.cancelled);
    EXPECT_EQ(never.outcome.files, 0) << "stopped before the walk";
    EXPECT_TRUE(never.names.isEmpty());

    const Run badTime = scan(-1, {ScanMode::Since, "not a time"});
    EXPECT_TRUE(badTime.outcome.badScanTime);
    EXPECT_TRUE(badTime.names.isEmpty());
}

TEST(Catalogue, IsListedAgreesWithComparingEveryRow)
{
    Catalogue catalogue;
    for (const char* name : {" P0001.JPG", "P0002.JPG", "p0002.jpg"}) {
        NewEntry entry;
        entry.path = QStringLiteral("/card/") + QString::fromUtf8(name);
        entry.shotTime = ShotTimeFromText("2017/05/03 14:22:10");
        catalogue.AddEntry(entry, "/card");
    }
    catalogue.Flush();
    const auto byEveryRow = [&](const QString& name, const QString& time) {
        for (int r = 0; r < catalogue.Count(); ++r)
            if (catalogue.RowKey(r) == CatalogueKey(name, time))
                return true;
        return false;
    };
    for (const char* name : {"P0001.JPG", " P0001.JPG", "P0002.JPG", "P0002.jpg", "P0003.JPG"})
        for (const char* time : {"2017/05/03 14:22:10", "2017/05/03 14:22:11"})
            EXPECT_EQ(catalogue.IsListed(CatalogueKey(name, time)), byEveryRow(name, time)) << name << " " << time;
    EXPECT_EQ(catalogue.SourcePath(0), QStringLiteral("/card/ P0001.JPG"));
}

TEST(HeadlessScan, PrintsOneLinePerEntryAndRefusesAMissingRoot)
{
    TempFolder root;
    ASSERT_TRUE(WriteBytes(root.file("P0001.JPG"), PhotoBytes(ShotAt(kShot, 30.1234, 104.5678))));
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    EXPECT_EQ(RunHeadlessScan(root.dir.path(), {}, outStream, errStream), 0);
    const QString size = FileSizeText(PhotoBytes(ShotAt(kShot, 30.1234, 104.5678)).size());
    EXPECT_EQ(out, root.file("P0001.JPG") + "\t图片\t" + size + "\t104.5678,30.1234\t2017/05/03 14:22:10\n");
    EXPECT_TRUE(err.isEmpty());

    out.clear();
    EXPECT_EQ(RunHeadlessScan(root.file("missing"), {}, outStream, errStream), 2);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(err, "(" + root.file("missing") + ")不存在\n");
}

} // namespace

namespace {

// A geocoder that names every position "C D S".
void AnswerEveryPlaceWithCDS(LocalHttpServer& service)
{
    service.Get("/ws/geocoder/v1/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"status":0,"result":{"address_component":{"city":"C","district":"D"},)"
                             R"("formatted_addresses":{"recommend":"S"}}})",
                             "application/json");
    });
}

// "name=place" of every line a scan with places printed, sorted.
QStringList NamesAndPlaces(const QString& out)
{
    QStringList places;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts))
        places << line.section(u'\t', 0, 0).section(u'/', -1) + "=" + line.section(u'\t', 5, 5);
    places.sort();
    return places;
}

TEST(HeadlessScan, WithPlacesResolvesEveryRowThroughTheCacheAndTheService)
{
    LocalHttpServer service;
    service.Get("/ws/geocoder/v1/", [](const httplib::Request& request, httplib::Response& response) {
        const std::string location = request.get_param_value("location");
        response.set_content(R"({"status":0,"result":{"address_component":{"city":"C)" + location
                                 + R"(","district":"D"},"formatted_addresses":{"recommend":"S"}}})",
                             "application/json");
    });
    service.Start();
    TempFolder settings;
    WriteTextFile(settings.file("Config.dyi"), "[GeoServiceUrl]\nGeoServiceUrl=" + service.BaseUrl() + "\n");
    TempFolder root;
    ASSERT_TRUE(WriteBytes(root.file("P0001.JPG"), PhotoBytes(ShotAt(kShot, 30.1234, 104.5678))));
    ASSERT_TRUE(WriteBytes(root.file("P0002.JPG"), PhotoBytes(ShotAt(kShot.addSecs(1), 30.1235, 104.5679))));
    ASSERT_TRUE(WriteBytes(root.file("P0003.JPG"), PhotoBytes(ShotAt(kShot.addSecs(2)))));

    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    EXPECT_EQ(RunHeadlessScan(root.dir.path(), {true, settings.path()}, outStream, errStream), 0);
    const QStringList places = NamesAndPlaces(out);
    EXPECT_EQ(places, QStringList({"P0001.JPG=C30.1234,104.5678 D S", "P0002.JPG=C30.1234,104.5678 D S", "P0003.JPG=未知"}));
    EXPECT_EQ(service.Targets().size(), 1) << "the second photo is in the first one's cell";
    EXPECT_TRUE(QFile::exists(settings.file("Cha.mdb")));
}

TEST(HeadlessScan, OfflineNamesPlacesWithoutTheWebWhenAskedOnTheCommandLineOrInTheSettings)
{
    LocalHttpServer service;
    AnswerEveryPlaceWithCDS(service);
    service.Start();
    TempFolder root;
    ASSERT_TRUE(WriteBytes(root.file("P0001.JPG"), PhotoBytes(ShotAt(kShot, 30.5130, 105.5912))));
    ASSERT_TRUE(WriteBytes(root.file("P0002.JPG"), PhotoBytes(ShotAt(kShot.addSecs(1), -22.9068, -43.1729))));

    for (const bool flag : {true, false}) {
        TempFolder settings;
        WriteTextFile(settings.file("Config.dyi"), "[GeoServiceUrl]\nGeoServiceUrl=" + service.BaseUrl() + "\n"
                                                       + (flag ? "" : "[GeoMode]\nGeoMode=offline\n"));
        HeadlessScanOptions options;
        options.places = true;
        options.settingsFolder = settings.path();
        options.offline = flag;
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        EXPECT_EQ(RunHeadlessScan(root.dir.path(), options, outStream, errStream), 0);
        const QStringList places = NamesAndPlaces(out);
        EXPECT_EQ(places, QStringList({"P0001.JPG=遂宁市 船山区 船山区", "P0002.JPG=巴西 里约热内卢州 Rio_de_Janeiro"}));
        EXPECT_EQ(service.Targets().size(), 0);
        EXPECT_EQ(err, "地名来自离线数据（没有街道名）\n");
    }
}

TEST(HeadlessExport, APlaceTheUserTypedIsTheFilesPlaceInTheScanAndTheExport)
{
    LocalHttpServer service;
    AnswerEveryPlaceWithCDS(service);
    service.Start();
    TempFolder settings;
    WriteTextFile(settings.file("Config.dyi"), "[GeoServiceUrl]\nGeoServiceUrl=" + service.BaseUrl()
                                                   + "\n[CityText]\nCityText=城市/区县\n");
    // Typed in the window earlier, for the first photo.
    ASSERT_EQ(OpenCacheDb(settings.file("Cha.mdb")).outcome, CacheOpenOutcome::Created);
    ASSERT_TRUE(SaveTypedPlace(CatalogueKey("P0001.JPG", "2017/05/03 14:22:10"), "成都市 武侯区"));
    CloseCacheDb();
    TempFolder card;
    ASSERT_TRUE(WriteBytes(card.file("P0001.JPG"), PhotoBytes(ShotAt(kShot, 30.5130, 105.5912))));
    ASSERT_TRUE(WriteBytes(card.file("P0002.JPG"), PhotoBytes(ShotAt(kShot.addSecs(1), 31.0, 104.0))));

    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    EXPECT_EQ(RunHeadlessScan(card.dir.path(), {true, settings.path()}, outStream, errStream), 0);
    const QStringList places = NamesAndPlaces(out);
    EXPECT_EQ(places, QStringList({"P0001.JPG=成都市 武侯区", "P0002.JPG=C D S"}));

    TempFolder target;
    HeadlessScanOptions options;
    options.settingsFolder = settings.path();
    EXPECT_EQ(RunHeadlessExport(card.dir.path(), target.dir.path(), options, outStream, errStream), 0) << err.toStdString();
    const QStringList copies = FilesBelow(target.path()).filter(QStringLiteral(".JPG"));
    EXPECT_EQ(copies, QStringList({"C/D/I-20170503142211.JPG", "成都市/武侯区/I-20170503142210.JPG"}));
    EXPECT_EQ(service.Targets().size(), 1) << "the typed photo's position is never asked for";
}

TEST(HeadlessExport, StaysInsideItsFolderWhateverTheGeocoderAnswers)
{
    const std::string longName = QString(300, QChar(0x957f)).toStdString(); // 长 × 300: 900 bytes
    LocalHttpServer service;
    service.Get("/ws/geocoder/v1/", [&](const httplib::Request& request, httplib::Response& response) {
        const bool first = request.get_param_value("location") == "30.5130,105.5912";
        const std::string city = first ? ".." : "成都市\\u0001";
        const std::string district = first ? ".hidden" : longName;
        const std::string street = first ? "../.." : " 玉林街道. ";
        response.set_content(R"({"status":0,"result":{"address_component":{"city":")" + city + R"(","district":")"
                                 + district + R"("},"formatted_addresses":{"recommend":")" + street + R"("}}})",
                             "application/json");
    });
    service.Start();
    TempFolder settings;
    WriteTextFile(settings.file("Config.dyi"), "[GeoServiceUrl]\nGeoServiceUrl=" + service.BaseUrl()
                                                   + "\n[CityText]\nCityText=城市/区县/街道\n[MorenCity]\nMorenCity=遂宁市/船山区/灵泉街道\n");
    TempFolder card;
    ASSERT_TRUE(WriteBytes(card.file("P0001.JPG"), PhotoBytes(ShotAt(kShot, 30.5130, 105.5912))));
    ASSERT_TRUE(WriteBytes(card.file("P0002.JPG"), PhotoBytes(ShotAt(kShot.addSecs(1), 31.0, 104.0))));
    TempFolder parent;
    const QString out = parent.file("a/b/out");
    ASSERT_TRUE(QDir().mkpath(out));

    QString lines, err;
    QTextStream lineStream(&lines), errStream(&err);
    HeadlessScanOptions options;
    options.settingsFolder = settings.path();
    EXPECT_EQ(RunHeadlessExport(card.dir.path(), out, options, lineStream, errStream), 0) << err.toStdString();
    EXPECT_EQ(FilesBelow(parent.path()).filter(QRegularExpression("^(?!a/b/out/ascmhl/)")),
              QStringList({"a/b/out/成都市/" + QString(85, QChar(0x957f)) + "/玉林街道/I-20170503142211.JPG",
                           "a/b/out/遂宁市/hidden/灵泉街道/I-20170503142210.JPG"}))
        << "unsafe pieces become safe names; pieces with nothing left take the default place";
}

} // namespace
