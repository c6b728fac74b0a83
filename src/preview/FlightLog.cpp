#include "preview/FlightLog.h"

#include "catalogue/FolderScan.h"
#include "services/Geocoder.h"
#include "services/Helpers.h"
#include "services/LocationCache.h"

#include <QFile>
#include <QFileInfo>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>
#include <system_error>
#include <thread>

void SrtTable::Clear()
{
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void SrtTable::Store(const QString& key, const videosrt& entry)
{
    std::lock_guard lock(mutex_);
    entries_.insert(key, entry);
}

bool SrtTable::Contains(const QString& key) const
{
    std::lock_guard lock(mutex_);
    return entries_.contains(key);
}

std::optional<videosrt> SrtTable::Lookup(const QString& key) const
{
    std::lock_guard lock(mutex_);
    const auto found = entries_.constFind(key);
    if (found == entries_.constEnd())
        return std::nullopt;
    return *found;
}

int SrtTable::Count() const
{
    std::lock_guard lock(mutex_);
    return int(entries_.size());
}

bool SrtTable::ClearWhile(const std::atomic<bool>& running)
{
    std::lock_guard lock(mutex_);
    if (!running)
        return false;
    entries_.clear();
    return true;
}

bool SrtTable::StoreWhile(const std::atomic<bool>& running, const QString& startKey, const QString& endKey,
                          const videosrt& entry)
{
    std::lock_guard lock(mutex_);
    if (!running)
        return false;
    entries_.insert(startKey, entry);
    entries_.insert(endKey, entry);
    return true;
}

QString ParseBracketField(const QString& line, BracketPart part)
{
    const qsizetype open = line.indexOf(u'(');
    if (open < 1) // none, or only as the first character
        return {};
    const qsizetype close = line.indexOf(u')');
    if (part == BracketPart::After)
        return close < 0 ? QString() : TrimLowChars(line.mid(close + 1));
    const QString inner = close > open ? line.mid(open + 1, close - open - 1) : QString();
    std::array<QString, 4> fields;
    SplitStr(inner, fields, u',');
    return fields[0] + u',' + fields[1];
}

double GeoDistance(double lon1, double lat1, double lon2, double lat2)
{
    // 1/298.257 truncated, not WGS-84's 1/298.257223563: the shown distances depend on it to
    // the centimetre.
    constexpr double kEquatorRadius = 6378137.0;
    constexpr double kFlattening = 0.0033528131778969143;
    if (lat2 == lat1 && lon2 == lon1)
        return 0;
    const auto radians = [](double degrees) { return degrees * std::numbers::pi / 180; };
    const auto square = [](double v) { return v * v; };
    const double sF = square(std::sin(radians((lat2 + lat1) / 2)));
    const double sG = square(std::sin(radians((lat2 - lat1) / 2)));
    const double sL = square(std::sin(radians((lon2 - lon1) / 2)));
    const double P = sG * (1 - sL) + (1 - sF) * sL;
    const double Q = (1 - sG) * (1 - sL) + sF * sL;
    const double w = std::atan(std::sqrt(P / Q));
    const double R = std::sqrt(P * Q) / w;
    const double D = 2 * w * kEquatorRadius;
    const double H1 = (3 * R - 1) / (2 * Q);
    const double H2 = (3 * R + 1) / (2 * P);
    return D * (1 + kFlattening * (H1 * sF * (1 - sG) - H2 * (1 - sF) * sG));
}

PlaceLookup CachedPlaceLookup()
{
    return [](const QString& lonText, const QString& latText, const QString& cellKey) {
        const QString table = QStringLiteral("GPS");
        QString place;
        if (QueryValue(cellKey, table, place))
            return place;
        place = GetPlaceName(lonText, latText);
        // A failure or a busy service is asked again next time.
        if (place != kPlaceUnknown && place != kPlacePending)
            InsertValue(cellKey, place, table);
        return place;
    };
}

namespace {

// Decimal degrees: an optional sign, "." as the decimal point, blanks around allowed.
std::optional<double> ParseDegrees(const QString& text)
{
    const QByteArray latin = TrimLowChars(text).toLatin1();
    const char* begin = latin.constData();
    const char* const end = begin + latin.size();
    const bool negative = begin != end && *begin == '-';
    if (begin != end && (*begin == '-' || *begin == '+'))
        ++begin;
    // from_chars would also take "inf", "nan" and a second sign.
    if (begin == end || !((*begin >= '0' && *begin <= '9') || *begin == '.'))
        return std::nullopt;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

// The first eight characters of a side of a time line: "HH:MM:SS" in a well-formed file.
QString PlayTimeKey(const QString& side)
{
    return TrimLowChars(side).left(8);
}

} // namespace

namespace {

// Where the reader puts what it reads. Each returns false when reading is to end.
struct EntryTarget {
    std::function<bool()> clear;
    std::function<bool(const QString& startKey, const QString& endKey, const videosrt& entry)> store;
};

void ReadEntries(const QByteArray& bytes, const std::atomic<bool>& running, const EntryTarget& target,
                 const PlaceLookup& lookup)
{
    const QStringList lines = SplitLines(DecodeTextFile(bytes));
    qsizetype i = 0;
    while (lines.size() > i + 2 && running) {
        const QString& timeLine = lines[i];
        if (!timeLine.contains(QLatin1String("-->"))) {
            ++i;
            continue;
        }
        std::array<QString, 4> sides;
        SplitStr(timeLine, sides, u'>');
        const QString& referenceLine = lines[i + 1];
        std::array<QString, 4> reference;
        std::array<QString, 4> position;
        if (SplitStr(ParseBracketField(lines[i + 2], BracketPart::Pair), position, u',') < 2
            || SplitStr(ParseBracketField(referenceLine, BracketPart::Pair), reference, u',') < 2)
            return;
        const std::optional<double> x = ParseDegrees(position[0]);
        const std::optional<double> y = ParseDegrees(position[1]);
        const std::optional<double> rx = ParseDegrees(reference[0]);
        const std::optional<double> ry = ParseDegrees(reference[1]);
        if (!x || !y || !rx || !ry)
            return;

        videosrt entry;
        entry.Distance = float(GeoDistance(*rx, *ry, *x, *y));
        entry.GPSLAt = position[0];
        entry.GPSLNg = position[1];
        entry.Time = ParseBracketField(referenceLine, BracketPart::After);
        const QString place = lookup(position[0], position[1], GpsCellKey(*x, *y));
        // "city district street": the street alone fits the overlay.
        std::array<QString, 4> placeParts;
        entry.Location = SplitStr(place, placeParts, u' ') == 3 ? placeParts[2] : place;
        if (!target.store(PlayTimeKey(sides[0]), PlayTimeKey(sides[1]), entry))
            return;
        i += 6;
    }
}

void ReadFileInto(const QString& path, const std::atomic<bool>& running, const EntryTarget& target,
                  const PlaceLookup& lookup)
{
    // A reader asked to stop before it began must not empty its successor's table.
    if (!target.clear())
        return;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    ReadEntries(file.readAll(), running, target, lookup);
}

EntryTarget TableTarget(const std::atomic<bool>& running, SrtTable& table)
{
    return {[&] { return table.ClearWhile(running); },
            [&](const QString& startKey, const QString& endKey, const videosrt& entry) {
                return table.StoreWhile(running, startKey, endKey, entry);
            }};
}

} // namespace

void readsrtdata(const QByteArray& bytes, const std::atomic<bool>& running, SrtTable& table, const PlaceLookup& lookup)
{
    ReadEntries(bytes, running, TableTarget(running, table), lookup);
}

void readsrtfile(const QString& path, const std::atomic<bool>& running, SrtTable& table, const PlaceLookup& lookup)
{
    ReadFileInto(path, running, TableTarget(running, table), lookup);
}

QString SrtPathFor(const QString& videoPath)
{
    const QString name = QFileInfo(videoPath).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString exact = videoPath.left(videoPath.size() - name.size() + (dot < 0 ? name.size() : dot))
                          + QStringLiteral(".SRT");
    if (QFileInfo::exists(exact))
        return exact;
    const QString otherCase = SrtCompanion(videoPath);
    return otherCase.isEmpty() ? exact : otherCase;
}

TLoadThread::TLoadThread(Private, QString path, SrtTable& table, PlaceLookup lookup)
    : vfile(std::move(path)), table_(table), lookup_(std::move(lookup))
{
}

std::shared_ptr<TLoadThread> TLoadThread::Start(const QString& videoPath, SrtTable& table, PlaceLookup lookup)
{
    auto loader = std::make_shared<TLoadThread>(Private{}, SrtPathFor(videoPath), table, std::move(lookup));
    try {
        // The thread's own reference keeps the loader alive until the thread ends.
        std::thread([loader] { loader->Run(); }).detach();
    } catch (const std::system_error&) {
        loader->Isrunning = false;
        std::lock_guard lock(loader->doneMutex_);
        loader->done_ = true;
    }
    return loader;
}

void TLoadThread::Run()
{
    // Every use of the table checks the flag under tableAccess_, so Stop() can cut it off.
    const auto whileRunning = [this](const auto& use) {
        std::lock_guard lock(tableAccess_);
        if (!Isrunning)
            return false;
        use();
        return true;
    };
    const EntryTarget target{
        [&] { return whileRunning([&] { table_.Clear(); }); },
        [&](const QString& startKey, const QString& endKey, const videosrt& entry) {
            return whileRunning([&] { table_.StoreWhile(Isrunning, startKey, endKey, entry); });
        }};
    ReadFileInto(vfile, Isrunning, target, lookup_);
    Isrunning = false;
    {
        std::lock_guard lock(doneMutex_);
        done_ = true;
    }
    doneChanged_.notify_all();
}

void TLoadThread::Stop()
{
    std::lock_guard lock(tableAccess_);
    Isrunning = false;
}

bool TLoadThread::Finished() const
{
    std::lock_guard lock(doneMutex_);
    return done_;
}

void TLoadThread::Wait() const
{
    std::unique_lock lock(doneMutex_);
    doneChanged_.wait(lock, [this] { return done_; });
}

void RestartLoader(std::shared_ptr<TLoadThread>& current, const QString& videoPath, SrtTable& table,
                   PlaceLookup lookup)
{
    if (current && current->Isrunning)
        current->Stop();
    current = TLoadThread::Start(videoPath, table, std::move(lookup));
}
