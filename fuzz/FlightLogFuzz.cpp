// Feeds arbitrary bytes to the flight-log readers as the content of a subtitle file: the video
// window's telemetry table and the scan's position. Nothing may crash or hang; places are asked
// for at most once per stored second; the position is a pair of texts; the track's GPX parses.

#include "metadata/FlightTrackOutput.h"
#include "preview/FlightLogTable.h"

#include <QBuffer>
#include <QXmlStreamReader>
#include <atomic>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    SrtTable table;
    int lookups = 0;
    const std::atomic<bool> running{true};
    // Three pieces, so that the street rule runs too.
    readsrtdata(bytes, running, table, [&](const QString& lon, const QString& lat, const QString& cellKey) {
        ++lookups;
        return lon + u' ' + lat + u' ' + cellKey;
    });
    // A look-up is made once per cell of a stored second; an entry takes at least one line and
    // lands under at most two keys.
    const qsizetype lines = bytes.count('\n') + bytes.count('\r') + 1;
    if (lookups > table.Count() || table.Count() > 2 * lines)
        std::abort();

    QBuffer log;
    log.setData(bytes);
    log.open(QIODevice::ReadOnly);
    if (!FlightLogPosition(log).contains(u','))
        std::abort();

    // The track as GPX is always well-formed XML.
    QXmlStreamReader gpx(FlightTrackGpx(ReadFlightTrack(bytes), QStringLiteral("fuzz")));
    while (!gpx.atEnd())
        gpx.readNext();
    if (gpx.hasError())
        std::abort();
    return 0;
}
