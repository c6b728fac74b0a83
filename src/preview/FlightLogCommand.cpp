#include "preview/FlightLogCommand.h"

#include "core/Helpers.h"
#include "metadata/FlightTrackOutput.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>
#include <cerrno>

int RunFlightLogCommand(const QString& logPath, const QString& gpxPath, const PlaceLookup& lookup, QTextStream& out,
                        QTextStream& err)
{
    QFile log(logPath);
    const bool folder = QFileInfo(logPath).isDir();
    if (folder || !log.open(QIODevice::ReadOnly)) {
        const int error = folder ? EISDIR : errno;
        err << QStringLiteral("无法读取飞行记录 %1：%2").arg(logPath, SystemErrorText(error)) << Qt::endl;
        return 2;
    }
    const QList<FlightTrackPoint> track = ReadFlightTrack(log.readAll());
    if (track.isEmpty()) {
        err << QStringLiteral("%1 中没有位置：它不是飞行记录，或者记录里没有 GPS 定位。").arg(logPath) << Qt::endl;
        return 1;
    }
    CellPlaces places(lookup);
    for (const FlightTrackPoint& point : track) {
        const QString line = FlightTrackTsvLine(point, places.Of(point.position));
        if (!line.isEmpty())
            out << line << '\n';
    }
    out.flush();
    if (gpxPath.isEmpty())
        return 0;
    QSaveFile gpx(gpxPath);
    errno = 0;
    if (!gpx.open(QIODevice::WriteOnly) || gpx.write(FlightTrackGpx(track, QFileInfo(logPath).completeBaseName())) < 0
        || !gpx.commit()) {
        const QString why = errno != 0 ? SystemErrorText(errno) : gpx.errorString();
        err << QStringLiteral("无法写入 GPX 文件 %1：%2").arg(gpxPath, why) << Qt::endl;
        return 1;
    }
    return 0;
}
