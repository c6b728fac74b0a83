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

QString FileSizeText(const QString& path)
{
    struct stat info {};
    return FileSizeText(stat(QFile::encodeName(path).constData(), &info) == 0 ? qint64(info.st_size) : 0);
}

QString ShotTimeText(const QDateTime& local)
{
    return ShotTimeText(local.date(), local.time());
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

namespace {
QString LastWriteTimeText(const QString& path)
{
    return ShotTimeText(QFileInfo(path).lastModified().toLocalTime());
}
} // namespace

PhotoFacts ReadPhotoFacts(const QString& path)
{
    PhotoFacts facts;
    TExifData exif;
    const ExifLoadResult loaded = exif.LoadFromGraphic(path);
    if (!loaded.ok) {
        facts.error = loaded.error;
        facts.shotTime = LastWriteTimeText(path);
        facts.position = kNoPosition;
        return facts;
    }
    const TDateTimeTagValue digitized = exif.DateTimeDigitized();
    QDate date;
    QTime time;
    facts.shotTime = DaysToDateAndTime(digitized.AsDateTime(), date, time) ? ShotTimeText(date, time)
                                                                          : LastWriteTimeText(path);
    const double longitude = GpsDegrees(exif.GPSLongitude(0), exif.GPSLongitude(1), exif.GPSLongitude(2), exif.GPSLongitudeRef());
    const double latitude = GpsDegrees(exif.GPSLatitude(0), exif.GPSLatitude(1), exif.GPSLatitude(2), exif.GPSLatitudeRef());
    facts.position = CoordinateText(longitude) + u',' + CoordinateText(latitude);
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
    entry.sizeText = FileSizeText(path);
    entry.photo = IsPhotoName(path);
    if (entry.photo) {
        PhotoFacts facts = ReadPhotoFacts(path);
        if (!facts.error.isEmpty())
            unreadable << path + QStringLiteral(": ") + facts.error;
        entry.shotTime = std::move(facts.shotTime);
        entry.position = std::move(facts.position);
    } else {
        entry.shotTime = LastWriteTimeText(path);
        entry.position = ReadSrtPosition(SrtCompanion(path));
    }
    return entry;
}

int AddNewEntries(Catalogue& catalogue, const std::vector<NewEntry>& entries, const QString& rootText)
{
    int made = 0;
    for (const NewEntry& entry : entries) {
        const QString name = entry.path.mid(entry.path.lastIndexOf(u'/') + 1);
        if (catalogue.IsListed(name, entry.shotTime))
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
