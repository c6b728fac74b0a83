#pragma once
// Flight logs as drones in the field write them, made in code: six-line logs with stretches
// without a fix, logs holding two recordings, dates not padded with zeros, and bracketed logs
// without time lines.

#include "BracketedFlightLogs.h"

#include <QDateTime>
#include <QString>

struct SixLineShape {
    int seconds = 20;
    double longitude = 113.9484; // the home point; the drone flies east from it
    double latitude = 22.5797;
    double stepDegrees = 0.0001;  // per second
    int unfixedFrom = -1;         // the seconds [unfixedFrom, unfixedTo) write "N/A"
    int unfixedTo = -1;
    bool paddedDates = true;      // "2017.08.05 14:11:51" or "2017.8.5 14:11:51"
    QDateTime start{QDate(2017, 8, 5), QTime(14, 11, 51)};
};

// One recording of six-line entries, one second each, numbered from firstNumber.
inline QString SixLineLog(const SixLineShape& shape = {}, int firstNumber = 1)
{
    QString text;
    for (int n = 0; n < shape.seconds; ++n) {
        const bool unfixed = n >= shape.unfixedFrom && n < shape.unfixedTo;
        const QString position = unfixed ? QStringLiteral("N/A,N/A")
                                         : QStringLiteral("%1,%2")
                                               .arg(shape.longitude + (n + 1) * shape.stepDegrees, 0, 'f', 4)
                                               .arg(shape.latitude, 0, 'f', 4);
        const QDateTime at = shape.start.addSecs(n);
        const QString date = at.toString(shape.paddedDates ? QStringLiteral("yyyy.MM.dd hh:mm:ss")
                                                           : QStringLiteral("yyyy.M.d h:m:s"));
        text += QStringLiteral("%1\r\n%2 --> %3\r\nHOME(%4,%5) %6\r\nGPS(%7,%8) BAROMETER:%9\r\n"
                               "ISO:100 Shutter:60 EV:0 Fnum:F2.2\r\n\r\n")
                    .arg(firstNumber + n)
                    .arg(SubtitleTime(n * 1000LL), SubtitleTime(n * 1000LL + 1000))
                    .arg(shape.longitude, 0, 'f', 4)
                    .arg(shape.latitude, 0, 'f', 4)
                    .arg(date, position, unfixed ? QStringLiteral("0") : QStringLiteral("16"))
                    .arg(10.0 + n, 0, 'f', 1);
    }
    return text;
}

// Bracketed entries without time lines: an index line, a date line followed by frame counters,
// a line of bracketed fields and a blank line. Entry n is dated secondOf(n) after the start.
template <typename SecondOf>
QString UntimedBracketedLog(int entries, SecondOf secondOf, const QDateTime& start = {QDate(2017, 8, 5), QTime(14, 11, 51)})
{
    QString text;
    for (int n = 0; n < entries; ++n)
        text += QStringLiteral("%1\n%2,393,525,393,525\n[iso : 100] [shutter : 1/640.0] [fnum : 280] [ev : 0] "
                               "[latitude: %3] [longtitude: %4] [altitude: %5] \n\n")
                    .arg(n + 1)
                    .arg(start.addSecs(secondOf(n)).toString(QStringLiteral("yyyy.MM.dd hh:mm:ss")))
                    .arg(22.5432 + n * 0.0001, 0, 'f', 4)
                    .arg(113.9432 + n * 0.0001, 0, 'f', 4)
                    .arg(46.0 + n, 0, 'f', 3);
    return text;
}
