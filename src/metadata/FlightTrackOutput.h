#pragma once
// A flight track for the user and for scripts: one tab-separated line per second, and the
// track as a GPX 1.1 document for map tools.

#include "metadata/FlightTrack.h"

#include <QByteArray>
#include <QString>

// "second<TAB>time<TAB>longitude<TAB>latitude<TAB>metres<TAB>height<TAB>place": the play second
// as a whole number, the position as the log writes it, the distance from home to the
// centimetre, the height above the take-off point (else the altitude the log gives; empty when
// it gives neither). Empty for a point whose key is no play second.
QString FlightTrackTsvLine(const FlightTrackPoint& point, const QString& place);

// The points as one GPX 1.1 track named name: a trkpt per point (less held-over ones, which
// repeat the point before) with lat, lon, ele (the
// altitude, else the height, when the log gives one) and time (the drone's clock, which keeps
// no time zone, so none is written).
QByteArray FlightTrackGpx(const QList<FlightTrackPoint>& track, const QString& name);
