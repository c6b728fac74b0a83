#include "catalogue/CatalogueEntry.h"

#include "core/Helpers.h"

#include <array>
#include <cmath>

QString CatalogueKey(const QString& name, const QString& shotTimeText)
{
    return TrimLowChars(name + shotTimeText);
}

void SetEntryFolder(CatalogueEntry& entry, const QString& folder, const QString& rootText)
{
    const QString root = TrimLowChars(rootText);
    // Only a leading root is taken off: the same text deeper in the path is a folder of its own.
    if (!root.isEmpty() && folder.startsWith(root)) {
        entry.root = root;
        entry.folder = folder.mid(root.size());
    } else {
        entry.root.clear();
        entry.folder = folder;
    }
}

QString PositionText(const std::optional<GeoPoint>& position)
{
    return position ? CoordinateText(position->longitude) + u',' + CoordinateText(position->latitude) : kNoPosition;
}

std::optional<GeoPoint> PositionFromText(const QString& text)
{
    const QString trimmed = TrimLowChars(text);
    if (trimmed == kNoPosition)
        return std::nullopt;
    std::array<QString, 2> pieces;
    SplitStr(trimmed, pieces, u',');
    bool longitudeOk = false;
    bool latitudeOk = false;
    const GeoPoint point{pieces[0].toDouble(&longitudeOk), pieces[1].toDouble(&latitudeOk)};
    if (!longitudeOk || !latitudeOk)
        return std::nullopt;
    return point;
}

QString ShotTimeText(const QDateTime& shotTime)
{
    return ShotTimeText(shotTime.date(), shotTime.time());
}

QString ShotTimeText(const QDate& date, const QTime& time)
{
    // Written digit by digit: this runs for every file of a scan.
    if (!date.isValid() || date.year() < 0 || date.year() > 9999)
        return QStringLiteral("0000/00/00 00:00:00");
    char text[20];
    const auto put = [&](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char('0' + value % 10);
    };
    put(0, date.year(), 4);
    text[4] = '/';
    put(5, date.month(), 2);
    text[7] = '/';
    put(8, date.day(), 2);
    text[10] = ' ';
    put(11, time.hour(), 2);
    text[13] = ':';
    put(14, time.minute(), 2);
    text[16] = ':';
    put(17, time.second(), 2);
    return QString::fromLatin1(text, 19);
}

QDateTime WallClock(const QDate& date, const QTime& time)
{
    return QDateTime(date, time, Qt::UTC);
}

QDateTime ShotTimeFromText(const QString& text)
{
    // Read digit by digit, as it was written.
    if (text.size() != 19)
        return {};
    int fields[6] = {};
    const int starts[6] = {0, 5, 8, 11, 14, 17};
    const int widths[6] = {4, 2, 2, 2, 2, 2};
    for (int f = 0; f < 6; ++f)
        for (int i = 0; i < widths[f]; ++i) {
            const char16_t c = text[starts[f] + i].unicode();
            if (c < u'0' || c > u'9')
                return {};
            fields[f] = fields[f] * 10 + (c - u'0');
        }
    if (text[4] != u'/' || text[7] != u'/' || text[10] != u' ' || text[13] != u':' || text[16] != u':')
        return {};
    const QDate date(fields[0], fields[1], fields[2]);
    const QTime time(fields[3], fields[4], fields[5]);
    if (!date.isValid() || !time.isValid())
        return {};
    return WallClock(date, time);
}

QString FileSizeText(qint64 bytes)
{
    // Hundredths of a MiB, halves rounded away from zero.
    const qint64 hundredths = std::llround(double(bytes) * 100.0 / 1048576.0);
    // Written right to left: two decimals, the point, then digits with "," every three.
    char text[40];
    char* at = text + sizeof text;
    qint64 rest = hundredths;
    *--at = char('0' + rest % 10);
    rest /= 10;
    *--at = char('0' + rest % 10);
    rest /= 10;
    *--at = '.';
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0)
            *--at = ',';
        *--at = char('0' + rest % 10);
        rest /= 10;
        ++digits;
    } while (rest > 0);
    qsizetype length = text + sizeof text - at;
    if (length >= 3 && *at == '0') { // ".50" rather than "0.50"
        ++at;
        --length;
    }
    return QString::fromLatin1(at, length);
}
