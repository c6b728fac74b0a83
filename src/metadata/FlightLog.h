#pragma once
// The flight-log subtitle file the drone writes beside each video: finding it, the position
// the scan lists for the video, and the "label(a,b,…)" field of the six-line layout. The
// layouts of newer drones are read in FlightLogLayouts.h; the telemetry table that the video
// window fills from a log lives with the window (preview/FlightLogTable.h).

#include <QIODevice>
#include <QString>

// The subtitle file beside a video: same folder and name with the extension ".SRT", found
// whatever the case of that extension. Empty when there is none.
QString SrtCompanion(const QString& videoPath);

// The subtitle file the video window reads: the video's path with the extension replaced by
// ".SRT" (appended to a name without one); when that file is missing but one differing only in
// the case of ".SRT" is there, that one.
QString SrtPathFor(const QString& videoPath);

enum class BracketPart {
    Pair,  // the first two ","-separated fields inside the first "(" … ")", joined with ","
    After, // the text after the first ")", blanks trimmed
};

// A field of a "label(a,b,…) text" line; empty when the line has no "(" or starts with one.
// Without a ")" after the "(", Pair gives "," and After gives the empty text.
QString ParseBracketField(const QString& line, BracketPart part);

// "longitude,latitude" of a flight log: from its fourth line "label(lon,lat,…)" as written
// there when that is a valid position; otherwise the first valid position of its entries in
// the layouts of newer drones, each number to four decimals; otherwise the fourth line's pair
// as written, or "0.0000,0.0000" when the log has no such line. Only as much of the log is
// read as that needs.
QString FlightLogPosition(QIODevice& log);
// The same of the file at srtPath; "0.0000,0.0000" when it cannot be read.
QString ReadSrtPosition(const QString& srtPath);
