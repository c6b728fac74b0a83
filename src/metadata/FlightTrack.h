#pragma once
// The flight as its log tells it, one point per play second: what the video window draws over
// each second and what the flight-log command prints and writes as a GPX track.

#include "metadata/FlightLogLayouts.h"

#include <QByteArray>
#include <QList>
#include <atomic>

struct FlightTrackPoint {
    QString key;  // the play second, "HH:MM:SS" (in a malformed six-line log, as cut from it)
    QString time; // "yyyy.MM.dd hh:mm:ss", empty when the log has no date
    FlightLogPoint position;
    double distance = 0;            // metres from home
    std::optional<double> height;   // metres above the take-off point
    std::optional<double> altitude; // metres above the sea
    bool heldOver = false;          // no entry starts in this second: it holds the one ending in it
};

// Metres between two positions in decimal degrees (Andoyer-Lambert on the ellipsoid with
// a = 6378137 m and flattening 1/298.257); 0 when they are equal.
double GeoDistance(double lon1, double lat1, double lon2, double lat2);

// The points of a log's first recording, in play order. The six-line layout is read when any of
// its entries has a position, the layouts of newer drones otherwise. Entries without a fix are
// passed over. A second holds the first entry with a fix that starts in it; a second in which
// none starts holds the last one that ends in it. The distance is the drone's own where the
// log gives it, else from the home point, else from the first fix. Reading ends early, with
// what was read so far, once running (when given) is cleared.
QList<FlightTrackPoint> ReadFlightTrack(const QStringList& lines, const std::atomic<bool>* running = nullptr);
// The same of a log's bytes (a byte-order mark selects UTF-8 or UTF-16).
QList<FlightTrackPoint> ReadFlightTrack(const QByteArray& bytes, const std::atomic<bool>* running = nullptr);
