#pragma once
// The flight telemetry drawn over each video picture, and the frame capture: the picture on
// screen saved as a JPEG named after its recording time, with that time and the position in
// its Exif block.

#include "preview/FlightLogTable.h"

#include <QDateTime>
#include <QFont>
#include <QImage>
#include <QString>
#include <optional>

// "TIME:<time> D:<distance>M LOCATION:<place>".
QString TelemetryText(const videosrt& entry);
// White bold 33-point "Times New Roman" (its metric twin where it is not installed).
QFont TelemetryFont();
// Draws the line of the entry for the picture's time centred at the top, 10 pixels down, in
// TelemetryFont, white with a dark outline; made smaller when the picture is narrower than the
// line (not below a readable size: then in two lines, the place on the second); false when the
// table has no entry for that second.
bool DrawTelemetry(QImage& picture, const SrtTable& table, int64_t pts);

// The recording time of an entry ("yyyy.mm.dd hh:mm:ss"); nullopt when it is not one.
std::optional<QDateTime> RecordingTime(const QString& time);
// "I-yyyymmddhhmmss.JPG".
QString CaptureFileName(const QDateTime& recorded);

// Writes picture as a baseline JPEG of quality 90 with DateTimeDigitized and the position
// (whole degrees, minutes and seconds, absolute, with the hemisphere references). The file
// appears complete or not at all; an existing file of that name is replaced.
bool SaveFrameJpeg(const QImage& picture, const QString& path, const QString& longitude, const QDateTime& recorded,
                   const QString& latitude, QString* error = nullptr);

// The file a capture of the picture at pts writes into folder; nullopt when the flight log has
// no entry for that second or its time is not a date.
struct CapturePlan {
    QString path;
    videosrt entry;
    QDateTime recorded;
};
std::optional<CapturePlan> PlanCapture(const SrtTable& table, int64_t pts, const QString& folder);
