#include "preview/FlightLogTable.h"

#include "metadata/FlightTrack.h"
#include "services/Geocoder.h"
#include "services/LocationCache.h"

#include "BracketedFlightLogs.h"
#include "FlightLogFixtures.h"
#include "LocalHttpServer.h"
#include "TestFiles.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>

void PrintTo(const videosrt& e, std::ostream* os)
{
    *os << "{Location=" << e.Location.toStdString() << " GPSLAt=" << e.GPSLAt.toStdString()
        << " GPSLNg=" << e.GPSLNg.toStdString() << " Distance=" << e.Distance << " Time=" << e.Time.toStdString()
        << '}';
}

namespace {

const QString kHome = QStringLiteral("X(113.9484,22.5797) 2016.05.09 13:14:41");
const QString kAway = QStringLiteral("X(113.9500,22.5800,16) other");

// One entry: number, time line, reference line, position line, one more line and, in the
// usual six-line form, a blank line.
QString Entry(int number, const char* from, const char* to, const QString& reference, const QString& position,
              bool blankLine = true)
{
    QString text = QStringLiteral("%1\n%2,000 --> %3,000\n%4\n%5\nF/2.8, SS 500, ISO 100\n")
                       .arg(number)
                       .arg(QLatin1String(from), QLatin1String(to), reference, position);
    if (blankLine)
        text += u'\n';
    return text;
}

QByteArray Utf16(const QString& text, bool bigEndian)
{
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (QChar c : text) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xFF);
        bytes += bigEndian ? QByteArray{&high, 1} + QByteArray{&low, 1} : QByteArray{&low, 1} + QByteArray{&high, 1};
    }
    return bytes;
}

// A place lookup that answers one text and remembers what it was asked.
class FakeLookup {
public:
    explicit FakeLookup(QString answer = QStringLiteral("深圳市 南山区 科技园")) : answer_(std::move(answer)) {}

    PlaceLookup Function()
    {
        return [this](const QString& lon, const QString& lat, const QString& cell) {
            std::lock_guard lock(mutex_);
            asked_ << lon + u'|' + lat + u'|' + cell;
            return answer_;
        };
    }
    QStringList Asked() const
    {
        std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    const QString answer_;
    mutable std::mutex mutex_;
    QStringList asked_;
};

// The play second of "HH:MM:SS".
int Second(const char* key)
{
    return PlaySecondOfKey(QString::fromLatin1(key)).value();
}

struct Read {
    SrtTable table;
    FakeLookup lookup;
    explicit Read(const QByteArray& bytes, QString answer = QStringLiteral("深圳市 南山区 科技园"))
        : lookup(std::move(answer))
    {
        const std::atomic<bool> running{true};
        readsrtdata(bytes, running, table, lookup.Function());
    }
    explicit Read(const QString& text) : Read(text.toUtf8()) {}
    videosrt At(const char* key) const { return table.Lookup(Second(key)).value_or(videosrt{}); }
};

videosrt Placed(const char* location)
{
    videosrt entry;
    entry.Location = QString::fromUtf8(location);
    return entry;
}

QString TwoDecimals(double value)
{
    return QString::number(value, 'f', 2);
}

TEST(FlightLogReader, SixLineEntriesAreKeyedByStartAndEndSecondLaterEntryWinning)
{
    const QString same = QStringLiteral("X(104.0,30.0) 2016.05.09 13:14:42");
    const Read read(Entry(1, "00:00:00", "00:00:01", kHome, kAway)
                    + Entry(2, "00:00:01", "00:00:02", same, QStringLiteral("GPS(104.0,30.0,20)")));

    EXPECT_EQ(read.table.Count(), 3);
    const videosrt first = read.At("00:00:00");
    EXPECT_EQ(first.GPSLAt, QStringLiteral("113.9500"));
    EXPECT_EQ(first.GPSLNg, QStringLiteral("22.5800"));
    EXPECT_EQ(first.Time, QStringLiteral("2016.05.09 13:14:41"));
    EXPECT_EQ(TwoDecimals(first.Distance), QStringLiteral("167.86"));
    EXPECT_EQ(first.Location, QStringLiteral("科技园"));

    const videosrt second = read.At("00:00:01");
    EXPECT_EQ(second.GPSLAt, QStringLiteral("104.0"));
    EXPECT_EQ(second.Time, QStringLiteral("2016.05.09 13:14:42"));
    EXPECT_EQ(TwoDecimals(second.Distance), QStringLiteral("0.00"));
    EXPECT_EQ(read.At("00:00:02"), second);

    // The place is asked with the position's texts and its degree-and-minute cell.
    EXPECT_EQ(read.lookup.Asked(), (QStringList{"113.9500|22.5800|113572234", "104.0|30.0|1040300"}));
}

TEST(FlightLogReader, NumbersKeepTheirWrittenText)
{
    const Read read(Entry(1, "00:00:07", "00:00:08", QStringLiteral("HOME( -70.6483 ,-33.8568) t"),
                          QStringLiteral("GPS( -70.6483 , +22.5 ,7)")));
    const videosrt entry = read.At("00:00:07");
    EXPECT_EQ(entry.GPSLAt, QStringLiteral(" -70.6483 "));
    EXPECT_EQ(entry.GPSLNg, QStringLiteral(" +22.5 "));
    EXPECT_EQ(read.lookup.Asked(), QStringList{" -70.6483 | +22.5 |-70-382230"});
}

// Flight logs of newer drones: the layouts the six-line reading finds nothing in.

QString Layout1Variant(const QString& log, const char* variant)
{
    QString text = log;
    if (qstrcmp(variant, "spaced and misspelt") == 0) {
        text.replace(QStringLiteral("[latitude: "), QStringLiteral("[latitude : "));
        text.replace(QStringLiteral("[longitude: "), QStringLiteral("[longtitude : "));
        text.replace(QStringLiteral("FrameCnt"), QStringLiteral("SrtCnt"));
    } else if (qstrcmp(variant, "comma before milliseconds") == 0) {
        static const QRegularExpression millis(QStringLiteral(R"((\d\d:\d\d:\d\d)\.(\d\d\d)\n)"));
        text.replace(millis, QStringLiteral("\\1,\\2\n"));
    } else if (qstrcmp(variant, "fields over two lines") == 0) {
        text.replace(QStringLiteral("[ev: 0] "), QStringLiteral("[ev: 0]\n"));
    } else if (qstrcmp(variant, "mark and CR LF") == 0) {
        text.replace(u'\n', QLatin1String("\r\n"));
        text.prepend(QChar(0xFEFF));
    }
    return text;
}

TEST(FlightLogNewerLayouts, SubSecondEntriesGiveOneKeyPerSecondFromTheFirstEntryOfIt)
{
    // 60 entries of 33 ms: seconds 0 and 1, the last one ending in second 1 too.
    const QString log = BracketedFlightLog();
    for (const char* variant : {"plain", "spaced and misspelt", "comma before milliseconds", "fields over two lines",
                                "mark and CR LF"}) {
        SCOPED_TRACE(variant);
        const Read read(Layout1Variant(log, variant));
        EXPECT_EQ(read.table.Count(), 2);
        const videosrt first = read.At("00:00:00");
        EXPECT_EQ(first.GPSLAt, QStringLiteral("105.59121"));
        EXPECT_EQ(first.GPSLNg, QStringLiteral("30.51304"));
        EXPECT_EQ(first.Time, QStringLiteral("2021.06.12 10:15:42"));
        EXPECT_EQ(first.Distance, 0.f);
        EXPECT_EQ(first.Location, QStringLiteral("科技园"));
        // Entry 32 (1023 ms) is the first of second 1; distances are from the first position.
        const videosrt second = read.At("00:00:01");
        EXPECT_EQ(second.GPSLAt, QStringLiteral("105.59152"));
        EXPECT_EQ(second.GPSLNg, QStringLiteral("30.51335"));
        EXPECT_EQ(second.Time, QStringLiteral("2021.06.12 10:15:43"));
        EXPECT_EQ(TwoDecimals(second.Distance), TwoDecimals(GeoDistance(105.59121, 30.51304, 105.59152, 30.51335)));
        // One cell, one look-up.
        EXPECT_EQ(read.lookup.Asked(), QStringList{"105.59121|30.51304|105353030"});
    }
}

TEST(FlightLogNewerLayouts, DistancesAreTheDronesOwnElseFromHomeElseFromTheFirstFix)
{
    const auto telemetry = [](bool withHome, bool withDistance) {
        QString text;
        for (int n = 0; n < 3; ++n)
            text += QStringLiteral("%1\n00:00:0%1,000 --> 00:00:0%2,000\n%3F/2.8, SS 500, ISO 100, EV 0, "
                                   "GPS (-58.381%1, -34.603%1, 19), %4H 10.0m\n\n")
                        .arg(n)
                        .arg(n + 1)
                        .arg(withHome ? QStringLiteral("HOME (-58.3800, -34.6000, 25.0m) ") : QString(),
                             withDistance ? QStringLiteral("D 22%1.21m, ").arg(n) : QString());
        return text;
    };
    const Read homed(telemetry(true, false));
    ASSERT_EQ(homed.table.Count(), 4); // seconds 0 to 2 and the end of the last
    EXPECT_EQ(homed.At("00:00:00").GPSLAt, QStringLiteral("-58.3810"));
    EXPECT_EQ(homed.At("00:00:00").GPSLNg, QStringLiteral("-34.6030"));
    EXPECT_EQ(homed.At("00:00:00").Time, QString()); // this layout has no date
    EXPECT_EQ(TwoDecimals(homed.At("00:00:02").Distance), TwoDecimals(GeoDistance(-58.38, -34.60, -58.3812, -34.6032)));
    EXPECT_EQ(homed.At("00:00:03"), homed.At("00:00:02"));

    const Read unhomed(telemetry(false, false));
    EXPECT_EQ(unhomed.At("00:00:00").Distance, 0.f);
    EXPECT_EQ(TwoDecimals(unhomed.At("00:00:02").Distance),
              TwoDecimals(GeoDistance(-58.3810, -34.6030, -58.3812, -34.6032)));

    // The drone's own figure wins over both.
    for (const bool withHome : {true, false}) {
        const Read own(telemetry(withHome, true));
        EXPECT_EQ(TwoDecimals(own.At("00:00:00").Distance), QStringLiteral("220.21")) << withHome;
        EXPECT_EQ(TwoDecimals(own.At("00:00:02").Distance), QStringLiteral("222.21")) << withHome;
    }
}

TEST(FlightLogNewerLayouts, MixedUnfixedAndTruncatedEntriesDoNotStopTheReading)
{
    const Read read(QStringLiteral(
        "1\n00:00:00,000 --> 00:00:01,000\n2019-08-14 10:22:30.000\n[latitude: N/A] [longitude: N/A]\n\n"
        "2\n00:00:01,000 --> 00:00:02,000\n2019.08.14 10:22:31\nGPS(30.5130,105.5912,301M)\n\n"
        "3\n00:00:02,000 --> 00:00:03,000\nGPS (105.5913, 30.5131, 19) D 24.5m H 10.0m\n\n"
        "4\n00:00:03,000 --> 00:00:04,000\n2019.08.14 10:22:33\n[latitude: 30.51"));
    EXPECT_EQ(read.table.Count(), 3);
    EXPECT_FALSE(read.table.Contains(Second("00:00:00")));
    EXPECT_EQ(read.At("00:00:01").GPSLAt, QStringLiteral("105.5912")); // written latitude first
    EXPECT_EQ(read.At("00:00:01").Time, QStringLiteral("2019.08.14 10:22:31"));
    EXPECT_EQ(read.At("00:00:02").GPSLNg, QStringLiteral("30.5131"));
    EXPECT_EQ(read.At("00:00:03"), read.At("00:00:02"));
    EXPECT_EQ(TwoDecimals(read.At("00:00:02").Distance), QStringLiteral("24.50")) << "the drone's own distance";

    for (const char* nothing : {"", "1", "1\n00:00:00,000 --> 00:00:01,000\n", "1\n00:00:00,000 --> 00:00:01,000\n[latitude: 0.0] [longitude: 0.0]\n"}) {
        const Read empty{QString::fromLatin1(nothing)};
        EXPECT_EQ(empty.table.Count(), 0) << nothing;
        EXPECT_TRUE(empty.lookup.Asked().isEmpty()) << nothing;
    }
}

TEST(FlightLogNewerLayouts, ALongFlightAsksForEachCellOnce)
{
    BracketedLogShape shape;
    shape.entries = 12000; // 396 seconds at 33 ms, the last entry ending at 00:06:36
    const Read read(BracketedFlightLog(shape));
    EXPECT_EQ(read.table.Count(), 397);
    QStringList cells;
    for (int n = 0; n < shape.entries; ++n) {
        const double longitude = QString::number(shape.longitude + n * shape.stepDegrees, 'f', 5).toDouble();
        const double latitude = QString::number(shape.latitude + n * shape.stepDegrees, 'f', 5).toDouble();
        if (!cells.contains(GpsCellKey(longitude, latitude)))
            cells << GpsCellKey(longitude, latitude);
    }
    QStringList askedCells;
    for (const QString& asked : read.lookup.Asked())
        askedCells << asked.section(u'|', 2);
    EXPECT_EQ(askedCells, cells);
    EXPECT_EQ(read.At("00:06:35").Time, QStringLiteral("2021.06.12 10:22:17"));
}

TEST(FlightLogReader, EachCellIsAskedOncePerReadingWhateverTheAnswer)
{
    // With the service unreachable every answer is "未知": it is not asked again for every
    // second of the cell (each would wait out its own time-out).
    SixLineShape sixLine;
    sixLine.seconds = 400;
    const QString logs[] = {SixLineLog(sixLine), UntimedBracketedLog(400, [](int n) { return n; }),
                            BracketedFlightLog()};
    for (const QString& log : logs) {
        const Read read(log.toUtf8(), QStringLiteral("未知"));
        QSet<QString> cells;
        for (const FlightTrackPoint& point : ReadFlightTrack(log.toUtf8()))
            cells.insert(GpsCellKey(point.position.longitude, point.position.latitude));
        EXPECT_EQ(read.lookup.Asked().size(), cells.size());
        EXPECT_GE(read.table.Count(), 2);
        EXPECT_EQ(read.At("00:00:01").Location, QStringLiteral("未知"));
    }
}

TEST(FlightLogDistance, AndoyerLambertWithTheTruncatedFlattening)
{
    struct Case {
        double lon1, lat1, lon2, lat2;
        const char* metres;
    };
    const Case cases[] = {
        {0, 0, 1, 0, "111319.49"},                        // a degree of longitude on the equator
        {0, 0, 0, 1, "110573.14"},                        // a degree of latitude from the equator
        {113.9484, 22.5797, 113.95, 22.58, "167.86"},     // a short flight
        {113.95, 22.58, 113.9484, 22.5797, "167.86"},     // either way round
        {-70.6483, -33.8568, -70.6483, -33.8568, "0.00"}, // the same point
    };
    for (const Case& c : cases)
        EXPECT_EQ(TwoDecimals(GeoDistance(c.lon1, c.lat1, c.lon2, c.lat2)), QLatin1String(c.metres))
            << c.lon1 << ',' << c.lat1 << " to " << c.lon2 << ',' << c.lat2;
}

TEST(FlightLogReader, LocationIsTheStreetOfACityDistrictStreetAnswerOnly)
{
    const std::pair<const char*, const char*> cases[] = {
        {"遂宁市 船山区 灵泉街道", "灵泉街道"},
        {"遂宁市  船山区 灵泉街道 ", "灵泉街道"}, // empty pieces do not count
        {"省 市 区 街道", "省 市 区 街道"},
        {"市 区", "市 区"},
        {"未知", "未知"},
        {"...", "..."},
        {"", ""},
    };
    for (const auto& [answer, location] : cases) {
        const Read read(Entry(1, "00:00:00", "00:00:01", kHome, kAway).toUtf8(), QString::fromUtf8(answer));
        EXPECT_EQ(read.At("00:00:00").Location, QString::fromUtf8(location)) << answer;
    }
}

TEST(FlightLogReader, FiveLineEntriesLoseEverySecondEntry)
{
    QString text;
    const char* seconds[] = {"00:00:00", "00:00:01", "00:00:02", "00:00:03", "00:00:04"};
    for (int n = 0; n < 4; ++n)
        text += Entry(n + 1, seconds[n], seconds[n + 1], kHome, QStringLiteral("GPS(113.95,22.5%1)").arg(n), false);
    const Read read(text);

    EXPECT_EQ(read.lookup.Asked().size(), 2);
    EXPECT_EQ(read.table.Count(), 4);
    EXPECT_EQ(read.At("00:00:01").GPSLNg, QStringLiteral("22.50")) << "the first entry, not the second";
    EXPECT_EQ(read.At("00:00:02").GPSLNg, QStringLiteral("22.52")) << "the third entry";
    EXPECT_FALSE(read.table.Contains(Second("00:00:04")));
}

TEST(FlightLogReader, WhatIsNotAnEntryIsSkipped)
{
    // Lines before the first time line, and a last entry with only its reference line.
    const Read read(QStringLiteral("header\n\nnotes\n") + Entry(1, "00:00:00", "00:00:01", kHome, kAway)
                    + QStringLiteral("2\n00:00:01,000 --> 00:00:02,000\n") + kHome + u'\n');
    EXPECT_EQ(read.table.Count(), 2);
    EXPECT_EQ(read.lookup.Asked().size(), 1);
    EXPECT_EQ(read.At("00:00:01").Time, QStringLiteral("2016.05.09 13:14:41"));
}

TEST(FlightLogReader, AnEntryWithoutAReadablePositionIsPassedOverAndReadingGoesOn)
{
    // Drones write "N/A" or zeros while they have no fix; what cannot be read is passed over the
    // same way. The seconds after it are read as before.
    const QString unfixed[] = {
        QStringLiteral("GPS(N/A,N/A,0)"),
        QStringLiteral("GPS(0.000000,0.000000,0)"),
        QStringLiteral("(113.95,22.58) at the start"), // "(" as first character
        QStringLiteral("GPS(113.95)"),                 // one number
        QStringLiteral("GPS(113.95,22.58"),            // no ")"
        QStringLiteral("GPS(,)"),                      // no numbers
        QStringLiteral("GPS(113.95,N22.58)"),          // not a number
        QStringLiteral("GPS(1 13.95,22.58)"),          // a blank inside
        QStringLiteral("GPS(+-113.95,22.58)"),         // two signs
        QStringLiteral("GPS(inf,22.58)"),              // not finite
        QStringLiteral("GPS(1e999,22.58)"),            // out of range
        QStringLiteral("GPS(113。95,22.58)"),           // a wide full stop
    };
    for (const QString& position : unfixed) {
        const Read read(Entry(1, "00:00:00", "00:00:01", kHome, kAway) + Entry(2, "00:00:02", "00:00:03", kHome, position)
                        + Entry(3, "00:00:04", "00:00:05", kHome, QStringLiteral("GPS(113.9510,22.5810,16)")));
        EXPECT_EQ(read.table.Count(), 4) << position.toStdString();
        EXPECT_TRUE(read.table.Contains(Second("00:00:01")));
        EXPECT_FALSE(read.table.Contains(Second("00:00:02"))) << "no position for that second";
        EXPECT_EQ(read.At("00:00:05").GPSLAt, QStringLiteral("113.9510")) << position.toStdString();
        EXPECT_EQ(read.lookup.Asked().size(), 1) << "one cell";
    }
    // A reference point that cannot be read: the distance is from the last one that could.
    const Read lostHome(Entry(1, "00:00:00", "00:00:01", kHome, kAway)
                        + Entry(2, "00:00:01", "00:00:02", QStringLiteral("HOME(113.9484,nan) t"), kAway));
    EXPECT_EQ(TwoDecimals(lostHome.At("00:00:01").Distance), QStringLiteral("167.86"));
    // A reference line without a pair is no entry of this layout.
    const Read noReference(Entry(1, "00:00:00", "00:00:01", kHome, kAway)
                           + Entry(2, "00:00:02", "00:00:03", QStringLiteral("HOME 113.9484 22.5797"), kAway));
    EXPECT_EQ(noReference.table.Count(), 2);
    // The forms that do convert.
    const Read good(Entry(1, "00:00:00", "00:00:01", kHome, QStringLiteral("GPS(-.5,+22.)"))
                    + Entry(2, "00:00:02", "00:00:03", kHome, QStringLiteral("GPS(\t1e1 ,22.58)")));
    EXPECT_EQ(good.table.Count(), 4);
}

TEST(FlightLogReader, ShortTimeSidesKeepTheSecondsTheyName)
{
    // A side cut short names no play second: the video can never be at it, so it is not kept.
    const std::pair<const char*, QList<int>> cases[] = {
        {"0:0:1 --> 0:0:2", {}},
        {"00:00:05-->00:00:06", {5, 6}},
        {"  00:00:07,5 -->   00:00:08,000  ", {7, 8}},
        {"00:00:09,000 --> 1", {9}},
        {"00:01:00 --> 00:01:01 --> 00:01:02", {60, 61}},
    };
    for (const auto& [timeLine, seconds] : cases) {
        const Read read(QStringLiteral("1\n%1\n%2\n%3\n").arg(QLatin1String(timeLine), kHome, kAway));
        EXPECT_EQ(read.table.Count(), seconds.size()) << timeLine;
        for (int second : seconds)
            EXPECT_TRUE(read.table.Contains(second)) << timeLine << " has no second " << second;
    }
}

TEST(FlightLogReader, ByteOrderMarksAndLineEndsGiveTheSameEntries)
{
    const QString text = Entry(1, "00:00:00", "00:00:01", QStringLiteral("起点(113.9484,22.5797) 2016.05.09 13:14:41 晴"), kAway)
                         + Entry(2, "00:00:01", "00:00:02", kHome, QStringLiteral("GPS(104.0,30.0,20)"));
    QString crlf = text;
    crlf.replace(u'\n', QLatin1String("\r\n"));
    QString cr = text;
    cr.replace(u'\n', u'\r');
    const std::pair<const char*, QByteArray> encodings[] = {
        {"UTF-8", text.toUtf8()},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + text.toUtf8()},
        {"UTF-16 LE", Utf16(text, false)},
        {"UTF-16 BE", Utf16(text, true)},
        {"CR LF", crlf.toUtf8()},
        {"CR", cr.toUtf8()},
        {"UTF-16 LE, CR", Utf16(cr, false)},
    };
    for (const auto& [name, bytes] : encodings) {
        const Read read(bytes);
        EXPECT_EQ(read.table.Count(), 3) << name;
        EXPECT_EQ(read.At("00:00:00").Time, QStringLiteral("2016.05.09 13:14:41")) << name;
        EXPECT_EQ(read.At("00:00:02").GPSLAt, QStringLiteral("104.0")) << name;
    }
}

TEST(FlightLogReader, TheFileReplacesTheTableAndAMissingFileEmptiesIt)
{
    TempFolder folder;
    const QString path = folder.file("V0001.SRT");
    WriteTextFile(path, Entry(1, "00:00:00", "00:00:01", kHome, kAway));
    SrtTable table;
    table.Store(Second("00:09:59"), videosrt{});
    FakeLookup lookup;
    const std::atomic<bool> running{true};

    readsrtfile(path, running, table, lookup.Function());
    EXPECT_EQ(table.Count(), 2);
    EXPECT_FALSE(table.Contains(Second("00:09:59")));

    readsrtfile(folder.file("V0002.SRT"), running, table, lookup.Function());
    EXPECT_EQ(table.Count(), 0);
    readsrtfile(folder.path(), running, table, lookup.Function()); // a folder
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(lookup.Asked().size(), 1);
}

TEST(FlightLogReader, AReaderAlreadyStoppedLeavesTheTableAlone)
{
    TempFolder folder;
    const QString path = folder.file("V0001.SRT");
    WriteTextFile(path, Entry(1, "00:00:00", "00:00:01", kHome, kAway));
    SrtTable table;
    table.Store(Second("00:00:05"), Placed("kept"));
    FakeLookup lookup;
    const std::atomic<bool> stopped{false};

    readsrtfile(path, stopped, table, lookup.Function());
    EXPECT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Lookup(Second("00:00:05"))->Location, QStringLiteral("kept"));
    EXPECT_TRUE(lookup.Asked().isEmpty());
}

TEST(FlightLogTable, StoresReplaceAndLookupsAreCopies)
{
    SrtTable table;
    EXPECT_FALSE(table.Lookup(Second("00:00:00")));
    table.Store(Second("00:00:00"), Placed("a"));
    std::optional<videosrt> copy = table.Lookup(Second("00:00:00"));
    ASSERT_TRUE(copy);
    copy->Location = QStringLiteral("changed");
    EXPECT_EQ(table.Lookup(Second("00:00:00"))->Location, QStringLiteral("a"));
    table.Store(Second("00:00:00"), Placed("b"));
    EXPECT_EQ(table.Lookup(Second("00:00:00"))->Location, QStringLiteral("b"));
    EXPECT_FALSE(table.Contains(Second("00:00:01")));
    EXPECT_EQ(table.Count(), 1);

    std::atomic<bool> running{false};
    EXPECT_FALSE(table.StoreWhile(running, 1, {}));
    EXPECT_FALSE(table.ClearWhile(running));
    EXPECT_EQ(table.Count(), 1);
    running = true;
    EXPECT_TRUE(table.StoreWhile(running, 1, {}));
    EXPECT_EQ(table.Count(), 2);
    EXPECT_TRUE(table.ClearWhile(running));
    EXPECT_EQ(table.Count(), 0);
}

// Lets a test hold a loader inside its place lookup until it is released.
class Gate {
public:
    void Enter()
    {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
    }
    void WaitEntered()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return entered_; });
    }
    void Release()
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool released_ = false;
};

class FlightLogLoader : public testing::Test {
protected:
    // A video and its flight log with entries at the given start seconds.
    QString Video(const char* name, std::initializer_list<int> seconds, const QString& position = kAway)
    {
        QString text;
        int number = 0;
        for (int second : seconds) {
            const QByteArray from = QStringLiteral("00:00:%1").arg(second, 2, 10, QChar(u'0')).toLatin1();
            const QByteArray to = QStringLiteral("00:00:%1").arg(second + 1, 2, 10, QChar(u'0')).toLatin1();
            text += Entry(++number, from.constData(), to.constData(), kHome, position);
        }
        WriteTextFile(folder.file(QLatin1String(name) + QStringLiteral(".srt")), text);
        return folder.file(QLatin1String(name) + QStringLiteral(".mp4"));
    }

    // A lookup that holds the loader at its first entry until the gate opens.
    PlaceLookup HeldLookup(std::atomic<int>& calls)
    {
        return [this, &calls](const QString&, const QString&, const QString&) {
            if (calls++ == 0)
                gate.Enter();
            return QStringLiteral("A B first");
        };
    }

    TempFolder folder;
    Gate gate;
};

TEST_F(FlightLogLoader, ReadsTheCompanionFileThenEndsAndLetsItselfGo)
{
    SrtTable table;
    FakeLookup lookup;
    std::shared_ptr<TLoadThread> loader = TLoadThread::Start(Video("V1", {0, 2}), table, lookup.Function());
    EXPECT_EQ(loader->vfile, folder.file("V1.srt"));
    loader->Wait();
    EXPECT_TRUE(loader->Finished());
    EXPECT_FALSE(loader->Isrunning);
    EXPECT_EQ(table.Count(), 4);

    // Once the holder lets go, the thread's own reference is the last to go.
    const std::weak_ptr<TLoadThread> weak = loader;
    loader.reset();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!weak.expired() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    EXPECT_TRUE(weak.expired());
}

TEST_F(FlightLogLoader, ARestartedLoaderStoresNothingMore)
{
    SrtTable table;
    std::atomic<int> firstCalls = 0;
    const QString first = Video("V1", {0, 2, 4}, QStringLiteral("GPS(1.0,2.0)"));
    const QString second = Video("V2", {2, 6});

    std::shared_ptr<TLoadThread> current;
    RestartLoader(current, first, table, HeldLookup(firstCalls));
    const std::shared_ptr<TLoadThread> old = current;
    gate.WaitEntered(); // the first loader is inside its first entry

    FakeLookup lookup;
    RestartLoader(current, second, table, lookup.Function());
    EXPECT_FALSE(old->Isrunning);
    ASSERT_NE(current, old);
    current->Wait();

    gate.Release();
    old->Wait();
    EXPECT_EQ(firstCalls, 1) << "the first loader stopped before its next entry";
    EXPECT_EQ(table.Count(), 4);
    EXPECT_FALSE(table.Contains(Second("00:00:00")));
    EXPECT_EQ(table.Lookup(Second("00:00:02"))->GPSLAt, QStringLiteral("113.9500"));
    EXPECT_EQ(lookup.Asked().size(), 1) << "both entries lie in one cell";
}

TEST_F(FlightLogLoader, AfterStopTheTableMayGo)
{
    auto table = std::make_unique<SrtTable>();
    std::atomic<int> calls = 0;
    const std::shared_ptr<TLoadThread> loader = TLoadThread::Start(Video("V1", {0, 2}), *table, HeldLookup(calls));
    gate.WaitEntered();
    loader->Stop();
    table.reset(); // the loader still has its entry to finish
    gate.Release();
    loader->Wait();
    EXPECT_EQ(calls, 1);
}

// The cache first, then the geocoder, against a cache file and a local service.
class FlightLogCachedPlace : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(OpenCacheDb(folder.file("Cha.mdb")).outcome, CacheOpenOutcome::Created);
        server.Get("/ws/geocoder/v1/", [](const httplib::Request& request, httplib::Response& response) {
            // One known place; the service is busy for every other.
            const bool known = request.get_param_value("location") == "30.5130,105.5912";
            response.set_content(known ? R"({"status":0,"result":{"address_component":{"city":"遂宁市",)"
                                         R"("district":"船山区"},"formatted_addresses":{"recommend":"灵泉街道"}}})"
                                       : R"({"status":120})",
                                 "application/json");
        });
        server.Start();
        GeocoderConfig config;
        config.baseUrl = server.BaseUrl();
        SetGeocoderConfig(config);
    }
    void TearDown() override
    {
        SetGeocoderConfig(saved);
        CloseCacheDb();
    }

    const GeocoderConfig saved = CurrentGeocoderConfig();
    TempFolder folder;
    LocalHttpServer server;
};

TEST_F(FlightLogCachedPlace, AsksTheWebOnceAndKeepsOnlyRealAnswers)
{
    const PlaceLookup lookup = CachedPlaceLookup();
    const QString place = QStringLiteral("遂宁市 船山区 灵泉街道");
    EXPECT_EQ(lookup("105.5912", "30.5130", "105353030"), place);
    EXPECT_EQ(lookup("105.5999", "30.5199", "105353031"), kPlacePending);
    EXPECT_EQ(server.Targets().size(), 2);

    QString cached;
    EXPECT_TRUE(QueryValue("105353030", "GPS", cached));
    EXPECT_EQ(cached, place);
    EXPECT_FALSE(QueryValue("105353031", "GPS", cached)) << "a busy answer is not kept";

    EXPECT_EQ(lookup("105.5912", "30.5130", "105353030"), place);
    EXPECT_EQ(server.Targets().size(), 2) << "answered from the cache";
    EXPECT_EQ(lookup("105.5999", "30.5199", "105353031"), kPlacePending);
    EXPECT_EQ(server.Targets().size(), 3) << "asked again";

    ASSERT_TRUE(InsertValue("1040300", "甲 乙 丙", "GPS"));
    EXPECT_EQ(lookup("104.0", "30.0", "1040300"), QStringLiteral("甲 乙 丙"));
    EXPECT_EQ(server.Targets().size(), 3);
}

TEST_F(FlightLogCachedPlace, WhenTheWebCannotAnswerEntriesAreNamedOfflineWithoutAskingAgain)
{
    LocalHttpServer portal; // a network that answers every address with its own page
    portal.Get("/ws/geocoder/v1/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html>please log in</html>", "text/html");
    });
    portal.Start();
    GeocoderConfig config = CurrentGeocoderConfig();
    config.baseUrl = portal.BaseUrl();
    SetGeocoderConfig(config);
    const PlaceLookup lookup = CachedPlaceLookup();
    EXPECT_EQ(lookup("105.5912", "30.5130", "105353030"), QStringLiteral("遂宁市 船山区 船山区"));
    EXPECT_EQ(lookup("104.0433", "30.6420", "10423038"), QStringLiteral("成都市 武侯区 武侯区"));
    EXPECT_EQ(portal.Targets().size(), 1) << "the web is given up on after its first failure";
    QString cached;
    EXPECT_FALSE(QueryValue("105353030", "GPS", cached)) << "offline answers are not cached";
}

} // namespace
