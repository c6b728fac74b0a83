#include "catalogue/FolderScan.h"

#include "catalogue/Catalogue.h"
#include "catalogue/FileTimes.h"
#include "core/Helpers.h"
#include "metadata/ExifData.h"
#include "metadata/FlightLog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <optional>

namespace {
constexpr int kProgressEveryMs = 100;

// Calls a progress function at most every kProgressEveryMs.
class Throttle {
public:
    explicit Throttle(int everyMs = kProgressEveryMs)
        : everyMs_(everyMs)
    {
        timer_.start();
    }
    bool Due()
    {
        if (timer_.elapsed() < everyMs_)
            return false;
        timer_.restart();
        return true;
    }

private:
    int everyMs_;
    QElapsedTimer timer_;
};

bool IsFolder(const QByteArray& path, unsigned char type, bool& isLink)
{
    isLink = type == DT_LNK;
    if (type == DT_DIR || type == DT_REG)
        return type == DT_DIR;
    struct stat info {};
    if (lstat(path.constData(), &info) != 0)
        return false;
    isLink = S_ISLNK(info.st_mode);
    if (isLink && stat(path.constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode);
}

void Walk(const QByteArray& prefix, const QString& extensions, QStringList& paths,
          const std::function<void(int)>& found, Throttle& throttle)
{
    DIR* folder = opendir(prefix.constData());
    if (!folder)
        return;
    while (const dirent* entry = readdir(folder)) {
        // Hidden entries (names beginning with ".", which covers "." and "..") are skipped.
        if (entry->d_name[0] == '.')
            continue;
        const QByteArray path = prefix + entry->d_name;
        bool isLink = false;
        if (IsFolder(path, entry->d_type, isLink)) {
            if (!isLink) // linked folders could lead round in circles
                Walk(path + '/', extensions, paths, found, throttle);
        } else if (entry->d_type == DT_REG || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            const QString name = QFile::decodeName(entry->d_name);
            if (HasListedExt(name, extensions)) {
                paths << QFile::decodeName(path);
                if (found && throttle.Due())
                    found(int(paths.size()));
            }
        }
    }
    closedir(folder);
}

} // namespace


void WalkFolder(const QString& folder, const QString& extensions, QStringList& paths,
                const std::function<void(int)>& found)
{
    QByteArray prefix = QFile::encodeName(folder);
    while (prefix.size() > 1 && prefix.endsWith('/'))
        prefix.chop(1);
    if (prefix != "/")
        prefix += '/';
    Throttle throttle;
    const qsizetype first = paths.size();
    Walk(prefix, extensions, paths, found, throttle);
    // In path order, whatever order the file system gives: the list shows a card as its
    // folders and names run.
    std::sort(paths.begin() + first, paths.end());
}

qint64 FileBytes(const QString& path)
{
    struct stat info {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? qint64(info.st_size) : 0;
}

namespace {
// The file's last-write time on this machine's clock.
QDateTime LastWriteTime(const QString& path)
{
    const QDateTime local = QFileInfo(path).lastModified().toLocalTime();
    return WallClock(local.date(), local.time());
}

// A position kept to the four decimals the list shows, so that the place looked up is the one
// for the position shown.
std::optional<GeoPoint> ShownPosition(double longitude, double latitude)
{
    return PositionFromText(CoordinateText(longitude) + u',' + CoordinateText(latitude));
}
} // namespace

PhotoFacts ReadPhotoFacts(const QString& path)
{
    PhotoFacts facts;
    TExifData exif;
    const ExifLoadResult loaded = exif.LoadFromGraphic(path);
    if (!loaded.ok) {
        facts.error = loaded.error;
        facts.shotTime = LastWriteTime(path);
        return facts;
    }
    const TDateTimeTagValue digitized = exif.DateTimeDigitized();
    QDate date;
    QTime time;
    if (DaysToDateAndTime(digitized.AsDateTime(), date, time)) {
        facts.shotTime = WallClock(date, time);
        facts.shotTimeFrom = TimeSource::Exif;
    } else {
        facts.shotTime = LastWriteTime(path);
    }
    const double longitude = GpsDegrees(exif.GPSLongitude(0), exif.GPSLongitude(1), exif.GPSLongitude(2), exif.GPSLongitudeRef());
    const double latitude = GpsDegrees(exif.GPSLatitude(0), exif.GPSLatitude(1), exif.GPSLatitude(2), exif.GPSLatitudeRef());
    facts.position = ShownPosition(longitude, latitude);
    return facts;
}

QDateTime ParseScanTime(const QString& text)
{
    const QString trimmed = text.trimmed();
    for (const char* format : {"yyyy/M/d H:m:s", "yyyy/M/d H:m", "yyyy/M/d", "yyyy-M-d H:m:s", "yyyy-M-d"}) {
        const QDateTime parsed = QDateTime::fromString(trimmed, QString::fromLatin1(format));
        if (parsed.isValid())
            return parsed;
    }
    return {};
}

EntryReader::EntryReader(const BuildOptions& options)
    : applyMode_(options.applyMode)
    , kind_(options.mode.kind)
    , startOfToday_(QDate::currentDate(), QTime(0, 0))
{
    if (applyMode_ && kind_ == ScanMode::Since) {
        since_ = ParseScanTime(options.mode.scanTimeText);
        badScanTime_ = !since_.isValid();
    }
}

std::optional<NewEntry> EntryReader::Read(const QString& path, QStringList& unreadable) const
{
    if (badScanTime_)
        return std::nullopt;
    if (applyMode_ && kind_ != ScanMode::All) {
        const QDateTime created = FileCreationTime(path);
        if (created < (kind_ == ScanMode::Today ? startOfToday_ : since_))
            return std::nullopt;
    }
    NewEntry entry;
    entry.path = path;
    entry.bytes = FileBytes(path);
    entry.kind = IsPhotoName(path) ? MediaKind::Photo : MediaKind::Video;
    if (entry.kind == MediaKind::Photo) {
        PhotoFacts facts = ReadPhotoFacts(path);
        if (!facts.error.isEmpty())
            unreadable << path + QStringLiteral(": ") + facts.error;
        entry.shotTime = facts.shotTime;
        entry.shotTimeFrom = facts.shotTimeFrom;
        entry.position = facts.position;
    } else {
        entry.shotTime = LastWriteTime(path);
        entry.position = PositionFromText(ReadSrtPosition(SrtCompanion(path)));
    }
    return entry;
}

int AddNewEntries(Catalogue& catalogue, const std::vector<NewEntry>& entries, const QString& rootText)
{
    int made = 0;
    for (const NewEntry& entry : entries) {
        const QString name = entry.path.mid(entry.path.lastIndexOf(u'/') + 1);
        if (catalogue.IsListed(CatalogueKey(name, ShotTimeText(entry.shotTime))))
            continue;
        catalogue.AddEntry(entry, rootText);
        ++made;
    }
    catalogue.Flush();
    return made;
}

namespace {

// Reads the files and hands their entries over in batches (see ScanInBatches).
ScanOutcome ReadInBatches(const QStringList& files, const BuildOptions& options, std::stop_token stop,
                          const ScanSteps& steps)
{
    ScanOutcome outcome;
    outcome.files = int(files.size());
    const EntryReader reader(options);
    if (reader.BadScanTime() && !files.isEmpty()) {
        outcome.badScanTime = true; // checked at the first file, before it is used
        return outcome;
    }
    Throttle throttle(steps.batchEveryMs);
    std::vector<NewEntry> batch;
    int examined = 0;
    for (; examined < files.size(); ++examined) {
        if (stop.stop_requested())
            break;
        if (std::optional<NewEntry> entry = reader.Read(files[examined], outcome.unreadable))
            batch.push_back(std::move(*entry));
        if (throttle.Due()) {
            steps.batch(std::move(batch), examined + 1, int(files.size()));
            batch.clear();
        }
    }
    outcome.cancelled = stop.stop_requested();
    steps.batch(std::move(batch), examined, int(files.size()));
    return outcome;
}

} // namespace

BuildReport BuildEntries(Catalogue& catalogue, const QStringList& paths, const BuildOptions& options)
{
    BuildReport report;
    ScanSteps steps;
    steps.batch = [&](std::vector<NewEntry> batch, int examined, int total) {
        report.made += AddNewEntries(catalogue, batch, options.rootText);
        if (options.progress)
            options.progress(examined, total);
    };
    const ScanOutcome outcome = ReadInBatches(paths, options, {}, steps);
    report.badScanTime = outcome.badScanTime;
    report.unreadable = outcome.unreadable;
    return report;
}

ScanOutcome ScanInBatches(const QStringList& paths, const BuildOptions& options, std::stop_token stop,
                          const ScanSteps& steps)
{
    QStringList files;
    for (const QString& path : paths) {
        if (stop.stop_requested())
            break;
        if (QFileInfo(path).isDir())
            WalkFolder(path, kScanExtensions, files, steps.walking);
        else
            files << path;
    }
    return ReadInBatches(files, options, stop, steps);
}
