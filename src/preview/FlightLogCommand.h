#pragma once
// The flight-log command for the user and for scripts: a log's per-second track printed as
// tab-separated lines and, when asked, written as a GPX track.

#include "preview/FlightLogTable.h"

#include <QString>

class QTextStream;

// Reads the log at logPath and writes one line per play second with a position (see
// FlightTrackTsvLine) to out, each with the full place name of its cell from lookup; with a
// gpxPath, also writes the track there as GPX 1.1 (replacing the file whole or not at all).
// Messages go to err. Returns the exit code: 0; 1 when the log holds no position or the GPX
// file cannot be written; 2 when the log cannot be read.
int RunFlightLogCommand(const QString& logPath, const QString& gpxPath, const PlaceLookup& lookup, QTextStream& out,
                        QTextStream& err);
