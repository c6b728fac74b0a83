// Feeds arbitrary bytes to the flight-log readers as the content of a subtitle file: the video
// window's telemetry table and the scan's position. Nothing may crash or hang; every entry (a
// time line) asks for at most one place and lands under at most two keys; the position is a
// pair of texts.

#include "preview/FlightLogTable.h"

#include <QBuffer>
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
    // An upper bound on the time lines: UTF-16 text holds "-->" as wide characters.
    const qsizetype timeLines = bytes.count("-->") + bytes.count(QByteArray("-\0-\0>", 5))
                                + bytes.count(QByteArray("\0-\0-\0>", 5));
    if (lookups > timeLines || table.Count() > 2 * timeLines)
        std::abort();

    QBuffer log;
    log.setData(bytes);
    log.open(QIODevice::ReadOnly);
    if (!FlightLogPosition(log).contains(u','))
        std::abort();
    return 0;
}
