#include "catalogue/FolderScan.h"

#include "catalogue/Catalogue.h"
#include "catalogue/FileTimes.h"
#include "metadata/ExifData.h"
#include "services/Helpers.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <array>
#include <cmath>
#include <optional>

namespace {
constexpr int kProgressEveryMs = 100;
const QString kNoPositionText = QStringLiteral("0.0000,0.0000");

// Calls a progress function at most every kProgressEveryMs.
class Throttle {
public:
    Throttle() { timer_.start(); }
    bool Due()
    {
        if (timer_.elapsed() < kProgressEveryMs)
            return false;
        timer_.restart();
        return true;
    }

private:
    QElapsedTimer timer_;
};

void Walk(const QString& folder, const QString& extensions, QStringList& paths,
          const std::function<void(int)>& found, Throttle& throttle)
{
    QString prefix = folder;
    if (prefix.endsWith(u'/') && prefix.size() > 1)
        prefix.chop(1);
    prefix += u'/';
    if (prefix == QLatin1String("//"))
        prefix = QStringLiteral("/");
    // Hidden entries (names beginning with ".") and special files are not listed at all.
    QDirIterator entries(prefix, QDir::AllEntries | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo info = entries.fileInfo();
        if (info.isDir()) {
            if (!info.isSymLink())
                Walk(prefix + info.fileName(), extensions, paths, found, throttle);
        } else if (HasListedExt(info.fileName(), extensions)) {
            paths << prefix + info.fileName();
            if (found && throttle.Due())
                found(int(paths.size()));
        }
    }
}

} // namespace

bool HasListedExt(const QString& name, const QString& extensions)
{
    std::array<QString, 8> pieces;
    const int count = std::min<int>(SplitStr(extensions, pieces, u'|'), int(pieces.size()));
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot < 0 ? QString() : LowerAsciiLetters(name.mid(dot));
    for (int i = 0; i < count; ++i)
        if (extension == pieces[size_t(i)])
            return true;
    return false;
}

void WalkFolder(const QString& folder, const QString& extensions, QStringList& paths,
                const std::function<void(int)>& found)
{
    Throttle throttle;
    Walk(folder, extensions, paths, found, throttle);
}

QString FileSizeText(qint64 bytes)
{
    // Hundredths of a MiB, halves rounded away from zero.
    const qint64 hundredths = std::llround(double(bytes) * 100.0 / 1048576.0);
    QString whole = QString::number(hundredths / 100);
    for (qsizetype at = whole.size() - 3; at > 0; at -= 3)
        whole.insert(at, u',');
    QString text = whole + u'.' + QStringLiteral("%1").arg(hundredths % 100, 2, 10, QChar(u'0'));
    if (text.size() >= 3 && text.startsWith(u'0'))
        text.remove(0, 1);
    return text;
}

QString FileSizeText(const QString& path)
{
    const QFileInfo info(path);
    return FileSizeText(info.exists() ? info.size() : 0);
}

namespace {

// Text of the start of a file: a byte-order mark selects UTF-8 or UTF-16, otherwise UTF-8.
QString DecodeText(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringConverter::Utf16LE).decode(bytes.mid(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringConverter::Utf16BE).decode(bytes.mid(2));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    return QString::fromUtf8(bytes);
}

// The fourth line of a file (lines end at CR LF, LF or CR), or nothing when it has fewer.
// Only as much of the file is read as the first four lines need.
std::optional<QString> FourthLine(QFile& file)
{
    QByteArray bytes;
    for (;;) {
        const QByteArray more = file.read(bytes.isEmpty() ? 4096 : bytes.size());
        bytes += more;
        const bool complete = more.isEmpty();
        const QString text = DecodeText(bytes);
        int line = 0;
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c != u'\r' && c != u'\n')
                continue;
            if (line == 3)
                return text.mid(start, i - start);
            ++line;
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
        if (complete)
            return line == 3 && start < text.size() ? std::optional<QString>(text.mid(start)) : std::nullopt;
    }
}

} // namespace

QString ReadSrtPosition(const QString& srtPath)
{
    QFile file(srtPath);
    if (srtPath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return kNoPositionText;
    const std::optional<QString> fourth = FourthLine(file);
    if (!fourth)
        return kNoPositionText;
    const QString line = TrimLowChars(*fourth);
    const qsizetype open = line.indexOf(u'(');
    const qsizetype close = line.indexOf(u')');
    if (open < 1) // no "(", or only as the first character
        return kNoPositionText;
    const QString inner = close > open ? line.mid(open + 1, close - open - 1) : QString();
    std::array<QString, 4> pieces;
    SplitStr(inner, pieces, u',');
    return pieces[0] + u',' + pieces[1];
}

QString SrtCompanion(const QString& videoPath)
{
    const QFileInfo video(videoPath);
    const QString stem = video.path() + u'/' + video.completeBaseName();
    for (const char* extension : {".SRT", ".srt"})
        if (QFileInfo::exists(stem + QLatin1String(extension)))
            return stem + QLatin1String(extension);
    // Any other mix of cases: look at the folder's files once.
    const QStringList others = QDir(video.path()).entryList({video.completeBaseName() + QStringLiteral(".[sS][rR][tT]")},
                                                             QDir::Files | QDir::CaseSensitive);
    return others.isEmpty() ? QString() : video.path() + u'/' + others.front();
}

QString CoordinateText(double degrees)
{
    QString text = QString::asprintf("%.4f", degrees);
    if (text == QLatin1String("-0.0000"))
        text = QStringLiteral("0.0000");
    return text;
}

QString ShotTimeText(const QDateTime& local)
{
    return local.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
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
        facts.position = kNoPositionText;
        return facts;
    }
    const TDateTimeTagValue digitized = exif.DateTimeDigitized();
    facts.shotTime = digitized.MissingOrInvalid() ? LastWriteTimeText(path)
                                                  : ShotTimeText(DaysToDateTime(digitized.AsDateTime()));
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

BuildReport BuildEntries(Catalogue& catalogue, const QStringList& paths, const BuildOptions& options)
{
    BuildReport report;
    const QDateTime startOfToday(QDate::currentDate(), QTime(0, 0));
    QDateTime since;
    if (options.applyMode && options.mode.kind == ScanMode::Since)
        since = ParseScanTime(options.mode.scanTimeText);
    Throttle throttle;

    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString& path = paths[i];
        if (options.progress && throttle.Due())
            options.progress(int(i), int(paths.size()));

        if (options.applyMode && options.mode.kind != ScanMode::All) {
            if (options.mode.kind == ScanMode::Since && !since.isValid()) {
                report.badScanTime = true; // checked at the first file, before it is used
                break;
            }
            const QDateTime created = FileCreationTime(path);
            if (created < (options.mode.kind == ScanMode::Today ? startOfToday : since))
                continue;
        }

        NewEntry entry;
        entry.path = path;
        entry.sizeText = FileSizeText(path);
        const qsizetype dot = path.lastIndexOf(u'.');
        entry.photo = LowerAsciiLetters(path.mid(dot)) == QLatin1String(".jpg");
        if (entry.photo) {
            PhotoFacts facts = ReadPhotoFacts(path);
            if (!facts.error.isEmpty())
                report.unreadable << path + QStringLiteral(": ") + facts.error;
            entry.shotTime = std::move(facts.shotTime);
            entry.position = std::move(facts.position);
        } else {
            entry.shotTime = LastWriteTimeText(path);
            entry.position = ReadSrtPosition(SrtCompanion(path));
        }
        const QString name = path.mid(path.lastIndexOf(u'/') + 1);
        if (catalogue.IsListed(name, entry.shotTime))
            continue;
        catalogue.AddEntry(entry, options.rootText);
        ++report.made;
    }
    catalogue.Flush();
    if (options.progress)
        options.progress(int(paths.size()), int(paths.size()));
    return report;
}
