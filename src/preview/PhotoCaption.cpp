#include "preview/PhotoCaption.h"

#include "catalogue/FolderScan.h"
#include "core/Helpers.h"
#include "metadata/ExifData.h"
#include "services/Geocoder.h"
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

QString PhotoCaption(const TExifData& exif, const QString& listPlace)
{
    QString date;
    QDate day;
    QTime time;
    if (!exif.DateTimeDigitized().MissingOrInvalid() && DaysToDateAndTime(exif.DateTimeDigitized().AsDateTime(), day, time))
        date = QDateTime(day, time).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    QString place = TrimLowChars(listPlace);
    if (place.isEmpty() || place == kPlacePending) {
        place.clear();
        const QString key = PhotoPlaceKey(exif);
        if (!key.isEmpty())
            QueryValue(key, QStringLiteral("GPS"), place);
    }
    return place.isEmpty() ? date : date + u' ' + place;
}
