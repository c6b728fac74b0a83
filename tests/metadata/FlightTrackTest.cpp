// The per-second track of flight logs as drones in the field write them.
#include "metadata/FlightTrack.h"

#include "FlightLogFixtures.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

QList<FlightTrackPoint> Track(const QString& log)
{
    return ReadFlightTrack(log.toUtf8());
}

const FlightTrackPoint* At(const QList<FlightTrackPoint>& track, const char* key)
{
    for (const FlightTrackPoint& point : track)
        if (point.key == QLatin1String(key))
            return &point;
    return nullptr;
}

TEST(FlightTrack, FieldLogPatternsGiveTheFirstRecordingSecondBySecond)
{
    SixLineShape lostFix;
    lostFix.seconds = 400;
    lostFix.unfixedFrom = 5; // from the sixth second to the fifth minute
    lostFix.unfixedTo = 300;
    SixLineShape elsewhere;
    elsewhere.seconds = 10;
    elsewhere.longitude = 104.0;
    elsewhere.latitude = 30.0;
    SixLineShape unpadded;
    unpadded.paddedDates = false;
    BracketedLogShape otherFlight;
    otherFlight.longitude = 104.0;
    const QDateTime start(QDate(2017, 8, 5), QTime(14, 11, 51));

    struct Case {
        const char* what;
        QString log;
        int points;
        const char* lastKey;
        const char* absentKey;  // a second with no point, or nullptr
        const char* key;        // a point to look at:
        const char* longitude;  // its longitude as written
        const char* time;       // and its time
    };
    const Case cases[] = {
        {"six-line, no fix for five minutes", SixLineLog(lostFix), 5 + 1 + 100 + 1, "00:06:40", "00:00:06", "00:05:00",
         "113.9785", "2017.08.05 14:16:51"},
        {"six-line, two recordings", SixLineLog() + SixLineLog(elsewhere, 21), 21, "00:00:20", nullptr, "00:00:05",
         "113.9490", "2017.08.05 14:11:56"},
        {"bracketed, two recordings", BracketedFlightLog() + BracketedFlightLog(otherFlight), 2, "00:00:01", nullptr,
         "00:00:01", "105.59152", "2021.06.12 10:15:43"},
        {"six-line, dates not padded", SixLineLog(unpadded), 21, "00:00:20", nullptr, "00:00:10", "113.9495",
         "2017.08.05 14:12:01"},
        {"untimed, one entry a second", UntimedBracketedLog(30, [](int n) { return n; }), 30, "00:00:29", "00:00:30",
         "00:00:00", "113.9432", "2017.08.05 14:11:51"},
        {"untimed, a gap the dates tell", UntimedBracketedLog(30, [](int n) { return n < 10 ? n : n + 5; }), 30,
         "00:00:34", "00:00:10", "00:00:15", "113.9442", "2017.08.05 14:12:06"},
        {"untimed, three entries a second", UntimedBracketedLog(30, [](int n) { return n / 3; }), 10, "00:00:09",
         nullptr, "00:00:01", "113.9435", "2017.08.05 14:11:52"},
        {"untimed, two recordings",
         UntimedBracketedLog(10, [](int n) { return n; }) + UntimedBracketedLog(10, [](int n) { return n; }, start.addSecs(3600)),
         10, "00:00:09", "00:00:10", "00:00:09", "113.9441", "2017.08.05 14:12:00"},
        {"untimed, no dates", UntimedBracketedLog(5, [](int n) { return n; }).replace(QStringLiteral("2017.08.05 "), QString()),
         5, "00:00:04", nullptr, "00:00:04", "113.9436", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QList<FlightTrackPoint> track = Track(c.log);
        ASSERT_EQ(track.size(), c.points);
        EXPECT_EQ(track.back().key, QLatin1String(c.lastKey));
        for (qsizetype n = 1; n < track.size(); ++n)
            ASSERT_LT(*PlaySecondOfKey(track[n - 1].key), *PlaySecondOfKey(track[n].key)) << "in play order";
        if (c.absentKey) {
            EXPECT_EQ(At(track, c.absentKey), nullptr) << c.absentKey;
        }
        const FlightTrackPoint* point = At(track, c.key);
        ASSERT_NE(point, nullptr) << c.key;
        EXPECT_EQ(point->position.longitudeText, QLatin1String(c.longitude));
        EXPECT_EQ(point->time, QLatin1String(c.time));
    }
}

TEST(FlightTrack, HeightAndAltitudeAsEachLayoutWritesThem)
{
    struct Case {
        const char* what;
        QString log;
        std::optional<double> height, altitude;
    };
    const Case cases[] = {
        {"six-line barometer", SixLineLog(), 10.0, std::nullopt},
        {"bracketed", BracketedFlightLog(), 12.3, 301.2},
        {"telemetry line", QStringLiteral("1\n00:00:00,000 --> 00:00:01,000\nGPS (8.6517, 49.8716, 19), D 24.5m, H 10.0m\n"),
         10.0, std::nullopt},
        {"latitude first", QStringLiteral("1\n00:00:00,000 --> 00:00:01,000\n2019.08.14 10:22:31\nGPS(30.5130,105.5912,301M)\n"),
         std::nullopt, 301.0},
        {"untimed", UntimedBracketedLog(1, [](int n) { return n; }), std::nullopt, 46.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QList<FlightTrackPoint> track = Track(c.log);
        ASSERT_FALSE(track.isEmpty());
        EXPECT_EQ(track.front().height, c.height);
        EXPECT_EQ(track.front().altitude, c.altitude);
    }
}

} // namespace
