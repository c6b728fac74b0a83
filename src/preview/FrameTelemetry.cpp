#include "preview/FrameTelemetry.h"

#include "core/Helpers.h"
#include "metadata/ExifWriter.h"
#include "preview/VideoPreviewLogic.h"

#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QSaveFile>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {
constexpr int kTelemetryMargin = 4;               // pixels kept free at each side
constexpr double kTelemetryMinimumPoints = 6.0;   // below this no line is readable anyway
} // namespace

QString TelemetryText(const videosrt& entry)
{
    return QStringLiteral("TIME:") + entry.Time + QStringLiteral(" D:") + QString::asprintf("%.2f", double(entry.Distance)) +
           QStringLiteral("M LOCATION:") + entry.Location;
}

QFont TelemetryFont()
{
    QFont font(QStringLiteral("Times New Roman"));
    font.setPointSize(33);
    font.setBold(true);
    font.setStyleHint(QFont::Serif);
    return font;
}

bool DrawTelemetry(QImage& picture, const SrtTable& table, int64_t pts)
{
    if (table.Count() == 0)
        return false;
    const std::optional<videosrt> entry = table.Lookup(FormatPlayTime(pts).trimmed());
    if (!entry)
        return false;
    const QString text = TelemetryText(*entry);
    QPainter painter(&picture);
    QFont font = TelemetryFont();
    // A picture narrower than the line (a small window) gets a smaller font, so the whole line
    // stays readable instead of being cut at both ends.
    const int room = picture.width() - 2 * kTelemetryMargin;
    const int width = QFontMetrics(font, &picture).horizontalAdvance(text);
    if (width > room && room > 0)
        font.setPointSizeF(std::max(kTelemetryMinimumPoints, font.pointSizeF() * room / width));
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QFontMetrics metrics(font, &picture);
    const int x = int(picture.width() / 2.0 - metrics.horizontalAdvance(text) / 2.0);
    // y is the top of the text, as a canvas writes it.
    painter.drawText(QPoint(x, 10 + metrics.ascent()), text);
    return true;
}

std::optional<QDateTime> RecordingTime(const QString& time)
{
    QString text = time.trimmed();
    text.replace(u'.', u'/');
    for (const char* format : {"yyyy/M/d H:m:s", "yyyy/M/d H:m"}) {
        const QDateTime parsed = QDateTime::fromString(text, QString::fromLatin1(format));
        if (parsed.isValid())
            return parsed;
    }
    return std::nullopt;
}

QString CaptureFileName(const QDateTime& recorded)
{
    return QStringLiteral("I-") + recorded.toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(".JPG");
}


bool SaveFrameJpeg(const QImage& picture, const QString& path, const QString& longitude, const QDateTime& recorded,
                   const QString& latitude, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (picture.isNull())
        return fail(QStringLiteral("no picture"));
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    std::unique_ptr<void, int (*)(tjhandle)> compressor(tjInitCompress(), tjDestroy);
    if (!compressor)
        return fail(QString::fromLatin1(tjGetErrorStr()));
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (tjCompress2(compressor.get(), rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(), TJPF_BGRX,
                    &buffer, &size, TJSAMP_420, 90, 0) != 0) {
        tjFree(buffer);
        return fail(QString::fromLatin1(tjGetErrorStr2(compressor.get())));
    }
    const QByteArray jpeg(reinterpret_cast<const char*>(buffer), qsizetype(size));
    tjFree(buffer);

    // The shot time in both tags photo tools read; seconds of arc to 1/100 (a whole second is
    // about 30 m, far coarser than the log's four decimals).
    ExifFields fields;
    fields.original = recorded;
    fields.digitized = recorded;
    bool lonOk = false, latOk = false;
    const double lon = longitude.trimmed().toDouble(&lonOk);
    const double lat = latitude.trimmed().toDouble(&latOk);
    if (latOk)
        fields.latitude = GpsFromDegrees(lat, true, 100);
    if (lonOk)
        fields.longitude = GpsFromDegrees(lon, false, 100);
    const QByteArray tagged = InsertApp1Segment(jpeg, BuildExifApp1(fields));
    if (tagged.isEmpty())
        return fail(QStringLiteral("Exif block too large"));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(tagged) != tagged.size() || !file.commit())
        return fail(file.errorString());
    return true;
}

std::optional<CapturePlan> PlanCapture(const SrtTable& table, int64_t pts, const QString& folder)
{
    const std::optional<videosrt> entry = table.Lookup(FormatPlayTime(pts).trimmed());
    if (!entry)
        return std::nullopt;
    const std::optional<QDateTime> recorded = RecordingTime(entry->Time);
    if (!recorded)
        return std::nullopt;
    return CapturePlan{QDir(folder).filePath(CaptureFileName(*recorded)), *entry, *recorded};
}
