#include "preview/PhotoCaption.h"

#include "catalogue/FolderScan.h"
#include "core/Helpers.h"
#include "metadata/ExifData.h"
#include "services/LocationCache.h"

QString PhotoPlaceKey(const TExifData& exif)
{
    const double longitude = GpsDegrees(exif.GPSLongitude(0), exif.GPSLongitude(1), exif.GPSLongitude(2), exif.GPSLongitudeRef());
    const double latitude = GpsDegrees(exif.GPSLatitude(0), exif.GPSLatitude(1), exif.GPSLatitude(2), exif.GPSLatitudeRef());
    const QString longitudeText = CoordinateText(longitude);
    const QString latitudeText = CoordinateText(latitude);
    if (longitudeText == QLatin1String("0.0000") && latitudeText == QLatin1String("0.0000"))
        return {};
    return GpsCellKey(longitudeText.toDouble(), latitudeText.toDouble());
}

QString PhotoCaption(const TExifData& exif)
{
    const QString date = exif.DateTimeDigitized().AsString();
    const QString key = PhotoPlaceKey(exif);
    QString place;
    if (!key.isEmpty() && QueryValue(key, QStringLiteral("GPS"), place))
        return date + u' ' + place;
    return date;
}
