#include "preview/FrameTelemetry.h"

#include "core/Helpers.h"
#include "metadata/ExifWriter.h"
#include "preview/VideoPreviewLogic.h"

#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <turbojpeg.h>
#include <vector>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {
constexpr int kTelemetryMargin = 4;               // pixels kept free at each side
constexpr double kTelemetryMinimumPoints = 12.0;  // below this the line is hard to read: two lines instead
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
    const std::optional<int> second = PlaySecondOf(pts);
    const std::optional<videosrt> entry = second ? table.Lookup(*second) : std::nullopt;
    if (!entry)
        return false;
    const QString text = TelemetryText(*entry);
    const int room = picture.width() - 2 * kTelemetryMargin;
    if (room <= 0)
        return true;

    // The whole line in the 33-point font when it fits; else smaller, down to a size still
    // readable; narrower still, in two lines (the place on the second), shrunk to fit. Sizes
    // are measured on the outlines drawn, so nothing reaches past the margins.
    const auto linesAt = [](const QStringList& texts, const QFont& font) {
        std::vector<QPainterPath> paths;
        for (const QString& line : texts) {
            QPainterPath path;
            path.addText(QPointF(0, 0), font, line);
            paths.push_back(path);
        }
        return paths;
    };
    const auto widest = [](const std::vector<QPainterPath>& paths) {
        qreal most = 0;
        for (const QPainterPath& path : paths)
            most = std::max(most, path.boundingRect().width());
        return most;
    };
    const QFont full = TelemetryFont();
    QStringList texts{text};
    qreal scale = std::min<qreal>(1.0, room / std::max<qreal>(1.0, widest(linesAt(texts, full))));
    const qsizetype place = text.indexOf(QStringLiteral(" LOCATION:"));
    if (full.pointSizeF() * scale < kTelemetryMinimumPoints && place > 0) {
        texts = {text.left(place), text.mid(place + 1)};
        scale = std::min<qreal>(1.0, room / std::max<qreal>(1.0, widest(linesAt(texts, full))));
    }
    QFont font = full;
    font.setPointSizeF(full.pointSizeF() * scale * 0.98); // a little room for the outline

    // White with a dark outline: readable on sky, snow and shadow alike.
    const QFontMetrics metrics(font, &picture);
    QPainterPath path;
    int top = 10; // the top of the first line, as a canvas writes it
    for (const QPainterPath& line : linesAt(texts, font)) {
        const QRectF bounds = line.boundingRect();
        path.addPath(line.translated(picture.width() / 2.0 - bounds.center().x(), top + metrics.ascent()));
        top += metrics.height();
    }
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const double outline = std::max(2.0, font.pointSizeF() / 8.0);
    painter.strokePath(path, QPen(QColor(0, 0, 0, 200), outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(path, Qt::white);
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
    const std::optional<int> second = PlaySecondOf(pts);
    const std::optional<videosrt> entry = second ? table.Lookup(*second) : std::nullopt;
    if (!entry)
        return std::nullopt;
    const std::optional<QDateTime> recorded = RecordingTime(entry->Time);
    if (!recorded)
        return std::nullopt;
    return CapturePlan{QDir(folder).filePath(CaptureFileName(*recorded)), *entry, *recorded};
}
