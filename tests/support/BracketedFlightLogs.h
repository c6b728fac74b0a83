#pragma once
// Flight logs as newer drones write them: one entry per video frame with bracketed fields and a
// date line, the drone drifting a little from frame to frame.

#include <QDateTime>
#include <QString>

struct BracketedLogShape {
    int entries = 60;
    int frameMs = 33;                // each entry lasts one frame
    double longitude = 105.59121;    // of the first entry
    double latitude = 30.51304;
    double stepDegrees = 0.00001;    // the drift per entry, north and east
    int unfixedEntries = 0;          // entries before these that write "N/A" (no fix yet)
    QDateTime start{QDate(2021, 6, 12), QTime(10, 15, 42)}; // the date line of the first entry
};

// "HH:MM:SS,mmm" of a play time.
inline QString SubtitleTime(qint64 ms)
{
    return QStringLiteral("%1:%2:%3,%4")
        .arg(ms / 3600000, 2, 10, QChar(u'0'))
        .arg(ms / 60000 % 60, 2, 10, QChar(u'0'))
        .arg(ms / 1000 % 60, 2, 10, QChar(u'0'))
        .arg(ms % 1000, 3, 10, QChar(u'0'));
}

inline QString BracketedFlightLog(const BracketedLogShape& shape = {})
{
    QString text;
    const int total = shape.unfixedEntries + shape.entries;
    for (int n = 0; n < total; ++n) {
        const qint64 from = qint64(n) * shape.frameMs;
        const int fixed = n - shape.unfixedEntries;
        const QString latitude =
            fixed < 0 ? QStringLiteral("N/A") : QString::number(shape.latitude + fixed * shape.stepDegrees, 'f', 5);
        const QString longitude =
            fixed < 0 ? QStringLiteral("N/A") : QString::number(shape.longitude + fixed * shape.stepDegrees, 'f', 5);
        text += QStringLiteral("%1\n%2 --> %3\n<font size=\"28\">FrameCnt: %1, DiffTime: %4ms\n%5\n"
                               "[iso: 100] [shutter: 1/640.0] [fnum: 2.8] [ev: 0] [latitude: %6] [longitude: %7] "
                               "[rel_alt: 12.300 abs_alt: 301.2] </font>\n\n")
                    .arg(n + 1)
                    .arg(SubtitleTime(from), SubtitleTime(from + shape.frameMs))
                    .arg(shape.frameMs)
                    .arg(shape.start.addMSecs(from).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")), latitude,
                         longitude);
    }
    return text;
}
