#include "metadata/FlightTrackOutput.h"

#include <QXmlStreamWriter>

namespace {

std::optional<double> HeightOrAltitude(const FlightTrackPoint& point)
{
    return point.height ? point.height : point.altitude;
}

// Degrees as GPX wants them: a plain decimal, longitude 180 written as -180.
QString GpxDegrees(double degrees, bool longitude)
{
    if (longitude && degrees >= 180)
        degrees -= 360;
    return QString::number(degrees, 'f', 7);
}

// "yyyy.MM.dd hh:mm:ss" as an XML date and time.
QString GpxTime(const QString& time)
{
    QString text = time;
    text.replace(4, 1, u'-').replace(7, 1, u'-').replace(10, 1, u'T');
    return text;
}

} // namespace

QString FlightTrackTsvLine(const FlightTrackPoint& point, const QString& place)
{
    const std::optional<int> second = PlaySecondOfKey(point.key);
    if (!second)
        return {};
    const std::optional<double> height = HeightOrAltitude(point);
    return QString::number(*second) + u'\t' + point.time + u'\t' + point.position.longitudeText.trimmed() + u'\t'
           + point.position.latitudeText.trimmed() + u'\t' + QString::number(point.distance, 'f', 2) + u'\t'
           + (height ? QString::number(*height) : QString()) + u'\t' + place;
}

QByteArray FlightTrackGpx(const QList<FlightTrackPoint>& track, const QString& name)
{
    QByteArray document;
    QXmlStreamWriter xml(&document);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("gpx"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.topografix.com/GPX/1/1"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QStringLiteral("ORVEK-FILE"));
    xml.writeStartElement(QStringLiteral("trk"));
    xml.writeTextElement(QStringLiteral("name"), name);
    xml.writeStartElement(QStringLiteral("trkseg"));
    for (const FlightTrackPoint& point : track) {
        if (!PlaySecondOfKey(point.key) || point.heldOver) // a held-over point repeats the one before
            continue;
        xml.writeStartElement(QStringLiteral("trkpt"));
        xml.writeAttribute(QStringLiteral("lat"), GpxDegrees(point.position.latitude, false));
        xml.writeAttribute(QStringLiteral("lon"), GpxDegrees(point.position.longitude, true));
        const std::optional<double> elevation = point.altitude ? point.altitude : point.height;
        if (elevation)
            xml.writeTextElement(QStringLiteral("ele"), QString::number(*elevation, 'f', 2));
        if (!point.time.isEmpty())
            xml.writeTextElement(QStringLiteral("time"), GpxTime(point.time));
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return document;
}
