#include "metadata/FlightTrack.h"

#include "core/Helpers.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <numbers>

double GeoDistance(double lon1, double lat1, double lon2, double lat2)
{
    // 1/298.257 truncated, not WGS-84's 1/298.257223563: the shown distances depend on it to
    // the centimetre.
    constexpr double kEquatorRadius = 6378137.0;
    constexpr double kFlattening = 0.0033528131778969143;
    if (lat2 == lat1 && lon2 == lon1)
        return 0;
    const auto radians = [](double degrees) { return degrees * std::numbers::pi / 180; };
    const auto square = [](double v) { return v * v; };
    const double sF = square(std::sin(radians((lat2 + lat1) / 2)));
    const double sG = square(std::sin(radians((lat2 - lat1) / 2)));
    const double sL = square(std::sin(radians((lon2 - lon1) / 2)));
    const double P = sG * (1 - sL) + (1 - sF) * sL;
    const double Q = (1 - sG) * (1 - sL) + sF * sL;
    const double w = std::atan(std::sqrt(P / Q));
    const double R = std::sqrt(P * Q) / w;
    const double D = 2 * w * kEquatorRadius;
    const double H1 = (3 * R - 1) / (2 * Q);
    const double H2 = (3 * R + 1) / (2 * P);
    return D * (1 + kFlattening * (H1 * sF * (1 - sG) - H2 * (1 - sF) * sG));
}

namespace {

// Gathers the points of one reading, entry by entry.
class TrackBuilder {
public:
    void Add(const FlightLogEntry& entry)
    {
        if (entry.home)
            home_ = entry.home;
        if (!entry.position)
            return; // no fix: no position for this second, its time still counted
        const FlightLogPoint& at = *entry.position;
        if (!firstFix_)
            firstFix_ = at;
        const FlightLogPoint& from = home_ ? *home_ : *firstFix_;
        FlightTrackPoint point;
        point.time = entry.time;
        point.position = at;
        point.distance = entry.distance ? *entry.distance
                                        : GeoDistance(from.longitude, from.latitude, at.longitude, at.latitude);
        point.height = entry.height;
        point.altitude = entry.altitude;

        // The first entry starting in a second holds it; one that only ends there fills it
        // until an entry starts in it.
        point.key = entry.startKey;
        if (!starts_.contains(point.key)) {
            starts_.insert(point.key);
            Put(point);
        }
        if (entry.endKey != entry.startKey && !starts_.contains(entry.endKey)) {
            point.key = entry.endKey;
            point.heldOver = true;
            Put(point);
        }
    }

    QList<FlightTrackPoint> Take()
    {
        // Play order; keys that are no play second keep their order after the others. Most
        // logs are in order already, but for the one second an entry ends in.
        const auto before = [](const FlightTrackPoint& a, const FlightTrackPoint& b) {
            const std::optional<int> first = PlaySecondOfKey(a.key);
            const std::optional<int> second = PlaySecondOfKey(b.key);
            return first && (!second || *first < *second);
        };
        if (!std::is_sorted(points_.begin(), points_.end(), before))
            std::stable_sort(points_.begin(), points_.end(), before);
        return std::move(points_);
    }

private:
    void Put(const FlightTrackPoint& point)
    {
        const auto found = at_.constFind(point.key);
        if (found != at_.constEnd()) {
            points_[*found] = point;
        } else {
            at_.insert(point.key, points_.size());
            points_.append(point);
        }
    }

    QList<FlightTrackPoint> points_;
    QHash<QString, qsizetype> at_; // index in points_ by key
    QSet<QString> starts_;         // keys an entry with a fix starts in
    std::optional<FlightLogPoint> home_;
    std::optional<FlightLogPoint> firstFix_;
};

} // namespace

QList<FlightTrackPoint> ReadFlightTrack(const QStringList& lines, const std::atomic<bool>* running)
{
    const auto goOn = [running] { return !running || running->load(); };
    TrackBuilder sixLine;
    bool sixLineFixes = false;
    ForEachSixLineEntry(lines, [&](const FlightLogEntry& entry) {
        sixLineFixes = sixLineFixes || entry.position.has_value();
        sixLine.Add(entry);
        return goOn();
    });
    if (sixLineFixes || !goOn())
        return sixLine.Take();
    TrackBuilder newer;
    ForEachFlightLogEntry(lines, [&](const FlightLogEntry& entry) {
        newer.Add(entry);
        return goOn();
    });
    return newer.Take();
}

QList<FlightTrackPoint> ReadFlightTrack(const QByteArray& bytes, const std::atomic<bool>* running)
{
    return ReadFlightTrack(SplitLines(DecodeTextFile(bytes)), running);
}
