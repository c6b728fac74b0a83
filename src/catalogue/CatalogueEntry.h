#pragma once
// One listed file as the catalogue knows it, in typed fields: where it is, what it is, when and
// where it was shot, what its place is and how the export left it. The texts the list shows are
// made from these fields in one place (CatalogueListModel::Text).

#include <QDateTime>
#include <QString>
#include <optional>

enum class MediaKind { Photo, Video };

// Where a shot time came from: the photo's Exif clock, or the file's last-write time (videos,
// and photos without an Exif time).
enum class TimeSource { Exif, FileTime };

// Where the place shown for a file came from. Pending: not looked up yet ("..."). Unknown: looked
// up, nothing found (or no position to look up).
enum class PlaceState { Pending, Cache, Web, Offline, Typed, Unknown };

struct GeoPoint {
    double longitude = 0;
    double latitude = 0;
};

struct CatalogueEntry {
    QString key;    // CatalogueKey(name, shot time text), fixed when the file is listed
    QString name;   // file name with extension, without folder
    QString folder; // the file's folder with trailing "/", relative to root when root is set
    // The catalogue root that folder was made relative to, as it was then (empty when folder is
    // whole). Keeping it means an entry still names its own file after the user has chosen
    // another root.
    QString root;
    MediaKind kind = MediaKind::Photo;
    qint64 bytes = 0;
    // The wall-clock time the camera or the file gave, with no time zone applied: kept in UTC
    // so that no zone rule (a summer-time gap) can move it. Invalid when there was no valid date.
    QDateTime shotTime;
    TimeSource shotTimeFrom = TimeSource::FileTime;
    std::optional<GeoPoint> position;
    QString place; // as shown: "..." while pending
    PlaceState placeState = PlaceState::Pending;
    QString status; // the export's progress ("0".."100") or its end word; empty before an export

    // The full path of the file: root + folder + name.
    QString Path() const { return root + folder + name; }
};

// Position text of a file without a position.
inline const QString kNoPosition = QStringLiteral("0.0000,0.0000");

// File name followed by shot time, with characters U+0000..U+0020 trimmed from both ends.
QString CatalogueKey(const QString& name, const QString& shotTimeText);

// Sets folder and root of an entry for a file in folder (with trailing "/"). rootText is the
// catalogue root; it is trimmed of U+0000..U+0020. A folder that begins with the root keeps the
// part below the root; any other folder is kept whole.
void SetEntryFolder(CatalogueEntry& entry, const QString& folder, const QString& rootText);

// "longitude,latitude" with four decimals; kNoPosition for none.
QString PositionText(const std::optional<GeoPoint>& position);
// The point of a position text; none for kNoPosition or a text that is not two numbers.
std::optional<GeoPoint> PositionFromText(const QString& text);

// The shot-time text "yyyy/MM/dd HH:mm:ss"; "0000/00/00 00:00:00" for an invalid time or a year
// outside 0..9999.
QString ShotTimeText(const QDateTime& shotTime);
QString ShotTimeText(const QDate& date, const QTime& time);
// The shot time of a text in that form; invalid when it is not one.
QDateTime ShotTimeFromText(const QString& text);
// A wall-clock time as entries keep it (see CatalogueEntry::shotTime).
QDateTime WallClock(const QDate& date, const QTime& time);

// The size in MiB with two decimals and "," between thousands, without a lone leading "0":
// ".50", ".00", "1.00", "1,177.38".
QString FileSizeText(qint64 bytes);
