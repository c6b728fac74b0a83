#pragma once
// The entries of a flight log, in the layouts drones write. Two readers give the same entry:
//
// The six-line layout: a time line ("00:00:00,000 --> 00:00:01,000"), a reference line
// "LABEL(lon,lat) date", a position line "LABEL(lon,lat,…) text" and three more lines.
//
// The layouts of newer drones. An entry is the text after a time line up to the next one; in
// logs without time lines, a block of lines after an index line or a blank line that holds a
// date or a position. Within an entry the reader recognises, whatever the spacing and case:
//   - named fields "[latitude: 30.51304] [longitude: 105.59121]" (also "lat", "lon", "lng" and
//     the misspelling "longtitude");
//   - a position "GPS (lon, lat, n)" and a home point "HOME (lon, lat, alt)";
//   - a position "GPS(lat,lon,301M)" latitude first, in entries without a reference point;
//   - the older "LABEL(lon,lat) date" reference point and "LABEL(lon,lat,alt)" position;
//   - a date line "2021-06-12 10:15:42.318" (also with "." or "/" between the date's parts, and
//     parts not padded with zeros);
//   - the drone's own distance from home "D 24.5m", its height "H 10.0m", "rel_alt: 12.3" or
//     "BAROMETER:1.9", and its altitude above the sea "abs_alt: 301.2" or "altitude: 46.1".
//
// Both readers keep to the log's first recording: a log that holds a second one (its play
// times start again) ends where the play time first goes back.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// A position in decimal degrees with its numbers as written.
struct FlightLogPoint {
    double longitude = 0;
    double latitude = 0;
    QString longitudeText;
    QString latitudeText;
};

struct FlightLogEntry {
    QString startKey; // "HH:MM:SS" of the time line's first side (in logs without time lines, of
    QString endKey;   // the second the entry falls in) and of its second side
    std::optional<int> second;              // the play second of startKey, when it reads as one
    QString time;     // the date line as "yyyy.MM.dd hh:mm:ss"; empty when the entry has none
    std::optional<FlightLogPoint> position; // only a valid one (see IsValidPosition)
    std::optional<FlightLogPoint> home;     // the reference point, when valid
    std::optional<double> distance;         // metres from home, as the drone measured it
    std::optional<double> height;           // metres above the take-off point
    std::optional<double> altitude;         // metres above the sea
    bool latitudeFirst = false;             // the position was written latitude first
};

// Decimal degrees: an optional sign, "." as the decimal point, blanks around allowed.
std::optional<double> ParseDegrees(const QString& text);

// Inside the ranges of longitude and latitude and not 0,0, which drones write before they
// have a fix.
bool IsValidPosition(double longitude, double latitude);

// The play second of a key "HH:MM:SS"; nullopt for any other text.
std::optional<int> PlaySecondOfKey(QStringView key);
// "HH:MM:SS" of a play second.
QString KeyOfPlaySecond(int second);

// Calls visit with each entry of the newer layouts in file order until it returns false or
// the first recording ends. Lines before the first time line, blank lines and the index line
// before each time line are not part of any entry; an entry's lines are read as one, so fields
// spread over two lines are found. In a log without time lines, consecutive entries are
// consecutive seconds from 00:00:00, unless their dates say otherwise.
void ForEachFlightLogEntry(const QStringList& lines, const std::function<bool(const FlightLogEntry&)>& visit);

// Calls visit with each six-line entry until it returns false or the first recording ends.
// The time line's sides give the keys (their first eight characters, trimmed), the reference
// line the home point and the time, the position line the position. An entry whose lines hold
// no readable position (no fix yet, or lost) is visited without one. After an entry the next
// time line is looked for six lines on, so entries of fewer lines are partly passed over.
void ForEachSixLineEntry(const QStringList& lines, const std::function<bool(const FlightLogEntry&)>& visit);
