#pragma once
// The flight-log subtitle layouts of newer drones, read entry by entry. An entry is the text
// after a time line ("00:00:00,000 --> 00:00:00,033") up to the next one; within it the reader
// recognises, whatever the spacing and case:
//   - named fields "[latitude: 30.51304] [longitude: 105.59121]" (also "lat", "lon", "lng" and
//     the misspelling "longtitude");
//   - a position "GPS (lon, lat, n)" and a home point "HOME (lon, lat, alt)";
//   - a position "GPS(lat,lon,301M)" latitude first, in entries without a reference point;
//   - the older "LABEL(lon,lat) date" reference point and "LABEL(lon,lat,alt)" position;
//   - a date line "2021-06-12 10:15:42.318" (also with "." or "/" between the date's parts).

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
    QString startKey; // "HH:MM:SS" of the time line's first side
    QString endKey;   // and of its second
    QString time;     // the date line as "yyyy.MM.dd hh:mm:ss"; empty when the entry has none
    std::optional<FlightLogPoint> position; // only a valid one (see IsValidPosition)
    std::optional<FlightLogPoint> home;     // the reference point, when valid
    bool latitudeFirst = false;             // the position was written latitude first
};

// Decimal degrees: an optional sign, "." as the decimal point, blanks around allowed.
std::optional<double> ParseDegrees(const QString& text);

// Inside the ranges of longitude and latitude and not 0,0, which drones write before they
// have a fix.
bool IsValidPosition(double longitude, double latitude);

// Calls visit with each entry of the lines in file order until it returns false. Lines before
// the first time line, blank lines and the index line before each time line are not part of
// any entry; an entry's lines are read as one, so fields spread over two lines are found.
void ForEachFlightLogEntry(const QStringList& lines, const std::function<bool(const FlightLogEntry&)>& visit);
