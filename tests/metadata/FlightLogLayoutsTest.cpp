// Reading the entries of flight logs in the layouts of newer drones.
#include "metadata/FlightLogLayouts.h"

#include <gtest/gtest.h>

namespace {

QList<FlightLogEntry> Entries(const QString& text)
{
    QList<FlightLogEntry> entries;
    ForEachFlightLogEntry(text.split(u'\n'), [&](const FlightLogEntry& entry) {
        entries << entry;
        return true;
    });
    return entries;
}

// One entry with the given lines after its index and time line.
QString OneEntry(const char* body)
{
    return QStringLiteral("1\n00:00:00,000 --> 00:00:00,033\n") + QString::fromUtf8(body) + QStringLiteral("\n\n");
}

QString PointText(const std::optional<FlightLogPoint>& point)
{
    return point ? point->longitudeText + u'|' + point->latitudeText : QStringLiteral("none");
}

TEST(FlightLogLayouts, EachLayoutAndItsVariantsGiveLongitudeLatitudeAndDate)
{
    struct Case {
        const char* what;
        const char* body;
        const char* position; // "longitude|latitude" as written, or "none"
        const char* time;
        const char* home;
        bool latitudeFirst;
    };
    const Case cases[] = {
        {"bracketed fields", "<font size=\"28\">FrameCnt: 1, DiffTime: 33ms\n2021-06-12 10:15:42.318\n"
         "[iso: 100] [shutter: 1/640.0] [fnum: 2.8] [ev: 0] [latitude: 30.51304] [longitude: 105.59121] "
         "[rel_alt: 12.300 abs_alt: 301.2] </font>",
         "105.59121|30.51304", "2021.06.12 10:15:42", "none", false},
        {"spaced names, misspelling, SrtCnt, comma before milliseconds",
         "<font size=\"36\">SrtCnt : 1, DiffTime : 33ms\n2021-06-12 10:15:42,318\n"
         "[iso : 100] [shutter : 1/640.0] [LATITUDE : 30.51304] [longtitude : 105.59121] [altitude: 301.2]</font>",
         "105.59121|30.51304", "2021.06.12 10:15:42", "none", false},
        {"fields spread over two lines", "FrameCnt: 7, DiffTime: 33ms\n2022/1/5 8:04:09.001\n[iso: 100] [latitude:\n"
         "-33.8568] [longitude: -70.6483] [rel_alt: 1.0 abs_alt: 5.0]",
         "-70.6483|-33.8568", "2022.01.05 08:04:09", "none", false},
        {"short names", "[lat: 51.5007] [lon: -0.1246]", "-0.1246|51.5007", "", "none", false},
        {"no fix yet", "2021-06-12 10:15:42.318\n[latitude: N/A] [longitude: N/A]", "none", "2021.06.12 10:15:42",
         "none", false},
        {"zero before the fix", "[latitude: 0.000000] [longitude: 0.000000]", "none", "", "none", false},
        {"out of range", "[latitude: 95.1] [longitude: 105.5]", "none", "", "none", false},
        {"telemetry line", "F/2.8, SS 500, ISO 100, EV 0, DZOOM 1.000, GPS (8.6517, 49.8716, 19), D 24.5m, H 10.0m",
         "8.6517|49.8716", "", "none", false},
        {"telemetry line with home", "HOME (8.6500, 49.8700, 105.2m) D 24.5m H 10.0m gps (8.6517, 49.8716, 19)",
         "8.6517|49.8716", "", "8.6500|49.8700", false},
        {"telemetry line, western and southern", "F/2.8 GPS (-58.3816, -34.6037, 12) D 3.0m H 4.0m",
         "-58.3816|-34.6037", "", "none", false},
        {"date line and latitude first", "2019.08.14 10:22:31\nGPS(30.5130,105.5912,301M)", "105.5912|30.5130",
         "2019.08.14 10:22:31", "none", true},
        {"latitude first, a longitude beyond 90", "2019.08.14 10:22:31\nGPS(-33.8568,-151.2153,12.5m)",
         "-151.2153|-33.8568", "2019.08.14 10:22:31", "none", true},
        {"six-line entry", "HOME(113.9484,22.5797) 2016.05.09 13:14:41\nGPS(113.9500,22.5800,16) BAROMETER:1.9",
         "113.9500|22.5800", "2016.05.09 13:14:41", "113.9484|22.5797", false},
        {"longitude written second where the latitude cannot be", "GPS (22.58, 113.95, 7)", "113.95|22.58", "", "none",
         false},
        {"nothing to read", "<font size=\"28\">FrameCnt: 1</font>", "none", "", "none", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QList<FlightLogEntry> entries = Entries(OneEntry(c.body));
        ASSERT_EQ(entries.size(), 1);
        EXPECT_EQ(PointText(entries[0].position), QString::fromLatin1(c.position));
        EXPECT_EQ(entries[0].time, QString::fromLatin1(c.time));
        EXPECT_EQ(PointText(entries[0].home), QString::fromLatin1(c.home));
        EXPECT_EQ(entries[0].latitudeFirst, c.latitudeFirst);
        EXPECT_EQ(entries[0].startKey, QStringLiteral("00:00:00"));
    }
}

TEST(FlightLogLayouts, NumbersAreReadAsDegrees)
{
    const FlightLogEntry entry = Entries(OneEntry("[latitude: 30.51304] [longitude: 105.59121]")).value(0);
    ASSERT_TRUE(entry.position);
    EXPECT_DOUBLE_EQ(entry.position->longitude, 105.59121);
    EXPECT_DOUBLE_EQ(entry.position->latitude, 30.51304);

    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {{" +22.5 ", 22.5}, {"-70.6483", -70.6483}, {".5", 0.5}, {"inf", std::nullopt},
                          {"--1", std::nullopt}, {"1.2.3", std::nullopt}, {"", std::nullopt}, {"N/A", std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseDegrees(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(FlightLogLayouts, EntriesAreSplitAtTimeLinesWhateverSurroundsThem)
{
    const QString text = QStringLiteral(
        "\n"
        "1\n00:00:00,000 --> 00:00:00,033\n[latitude: 30.1] [longitude: 105.1]\n\n"
        "2\n00:00:00,033 --> 00:00:00,066\n\n"                 // an entry with nothing in it
        "3\n00:00:00,066 --> 00:00:01,000\nGPS(30.2,105.2,9M)\n" // no blank line before the next
        "4\n00:00:01,000 --> 00:00:02,000\n2021-06-12 10:15:43\n[latitude: 30.3] [longi"); // cut off
    const QList<FlightLogEntry> entries = Entries(text);
    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(PointText(entries[0].position), QStringLiteral("105.1|30.1"));
    EXPECT_EQ(PointText(entries[1].position), QStringLiteral("none"));
    // The next entry's index "4" is not read as part of this one.
    EXPECT_EQ(PointText(entries[2].position), QStringLiteral("105.2|30.2"));
    EXPECT_EQ(entries[2].endKey, QStringLiteral("00:00:01"));
    EXPECT_EQ(PointText(entries[3].position), QStringLiteral("none"));
    EXPECT_EQ(entries[3].time, QStringLiteral("2021.06.12 10:15:43"));

    for (const char* nothing : {"", "1", "1\n", "just some words\nand more"})
        EXPECT_TRUE(Entries(QString::fromLatin1(nothing)).isEmpty()) << nothing;
    EXPECT_EQ(Entries(QStringLiteral("00:00:00,000 -->")).size(), 1); // a time line with nothing after it
}

TEST(FlightLogLayouts, VisitingStopsWhenAsked)
{
    QString text;
    for (int n = 0; n < 5; ++n)
        text += QStringLiteral("%1\n00:00:0%1,000 --> 00:00:0%2,000\nGPS (8.6, 49.8, 19)\n\n").arg(n).arg(n + 1);
    int visited = 0;
    ForEachFlightLogEntry(text.split(u'\n'), [&](const FlightLogEntry&) { return ++visited < 2; });
    EXPECT_EQ(visited, 2);
}

} // namespace
