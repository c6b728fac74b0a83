#include "preview/FlightLogTable.h"

#include "core/Helpers.h"
#include "metadata/FlightLogLayouts.h"
#include "services/Geocoder.h"
#include "services/LocationCache.h"
#include "services/PlaceResolver.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>

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
    // One resolver for the lookups of this holder: once the web has failed, the rest are named
    // offline at once (the web is tried again after a minute).
    auto resolver = std::make_shared<PlaceResolver>(CurrentGeocoderConfig().mode);
    return [resolver](const QString& lonText, const QString& latText, const QString& cellKey) {
        const QString table = QStringLiteral("GPS");
        QString place;
        if (QueryValue(cellKey, table, place))
            return place;
        const PlaceAnswer answer = resolver->Resolve(lonText, latText);
        // Failures, a busy service and offline answers are asked again next time.
        if (answer.Cacheable())
            InsertValue(cellKey, answer.place, table);
        return answer.place;
    };
}

namespace {

// The first eight characters of a side of a time line: "HH:MM:SS" in a well-formed file.
QString PlayTimeKey(const QString& side)
{
    return TrimLowChars(side).left(8);
}

// "city district street": the street alone fits the overlay.
QString OverlayPlace(const QString& place)
{
    std::array<QString, 4> placeParts;
    return SplitStr(place, placeParts, u' ') == 3 ? placeParts[2] : place;
}

// Where the reader puts what it reads. Each returns false when reading is to end.
struct EntryTarget {
    std::function<bool()> clear;
    std::function<bool(const QString& startKey, const QString& endKey, const videosrt& entry)> store;
};

// The six-line layout: an entry without a readable number pair ends the reading. Gives the
// number of entries stored.
int ReadSixLineEntries(const QStringList& lines, const std::atomic<bool>& running, const EntryTarget& target,
                       const PlaceLookup& lookup)
{
    int stored = 0;
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
            return stored;
        const std::optional<double> x = ParseDegrees(position[0]);
        const std::optional<double> y = ParseDegrees(position[1]);
        const std::optional<double> rx = ParseDegrees(reference[0]);
        const std::optional<double> ry = ParseDegrees(reference[1]);
        if (!x || !y || !rx || !ry)
            return stored;

        videosrt entry;
        entry.Distance = float(GeoDistance(*rx, *ry, *x, *y));
        entry.GPSLAt = position[0];
        entry.GPSLNg = position[1];
        entry.Time = ParseBracketField(referenceLine, BracketPart::After);
        entry.Location = OverlayPlace(lookup(position[0], position[1], GpsCellKey(*x, *y)));
        if (!target.store(PlayTimeKey(sides[0]), PlayTimeKey(sides[1]), entry))
            return stored;
        ++stored;
        i += 6;
    }
    return stored;
}

// The layouts of newer drones, for files the six-line reading found nothing in. Their entries
// often last a fraction of a second: the first entry of each play second is kept, and an
// entry's end second is filled in afterwards where no entry starts. Entries without a valid
// position are passed over; the place of each cell is asked for once.
void ReadNewerLayouts(const QStringList& lines, const std::atomic<bool>& running, const EntryTarget& target,
                      const PlaceLookup& lookup)
{
    QSet<QString> keys;
    QList<std::pair<QString, videosrt>> endKeys;
    QHash<QString, QString> places; // by cell
    std::optional<FlightLogPoint> home;
    std::optional<FlightLogPoint> firstPosition;
    bool stopped = false;
    ForEachFlightLogEntry(lines, [&](const FlightLogEntry& read) {
        if (!running)
            return false;
        if (read.home)
            home = read.home;
        if (!read.position)
            return true;
        const FlightLogPoint& at = *read.position;
        if (!firstPosition)
            firstPosition = at;
        // Distances are from the home point, or where the flight log begins when it has none.
        const FlightLogPoint& from = home ? *home : *firstPosition;
        const QString cell = GpsCellKey(at.longitude, at.latitude);
        auto place = places.constFind(cell);
        if (place == places.constEnd())
            place = places.insert(cell, OverlayPlace(lookup(at.longitudeText, at.latitudeText, cell)));
        videosrt entry;
        entry.Location = *place;
        entry.Distance = float(GeoDistance(from.longitude, from.latitude, at.longitude, at.latitude));
        entry.GPSLAt = at.longitudeText;
        entry.GPSLNg = at.latitudeText;
        entry.Time = read.time;
        if (read.endKey != read.startKey)
            endKeys.append({read.endKey, entry});
        if (keys.contains(read.startKey))
            return true;
        keys.insert(read.startKey);
        stopped = !target.store(read.startKey, read.startKey, entry);
        return !stopped;
    });
    for (const auto& [key, entry] : std::as_const(endKeys)) {
        if (stopped || !running)
            return;
        if (!keys.contains(key)) {
            keys.insert(key);
            stopped = !target.store(key, key, entry);
        }
    }
}

void ReadEntries(const QByteArray& bytes, const std::atomic<bool>& running, const EntryTarget& target,
                 const PlaceLookup& lookup)
{
    const QStringList lines = SplitLines(DecodeTextFile(bytes));
    if (ReadSixLineEntries(lines, running, target, lookup) == 0 && running)
        ReadNewerLayouts(lines, running, target, lookup);
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

TLoadThread::TLoadThread(Private, QString path, SrtTable& table, PlaceLookup lookup)
    : vfile(std::move(path)), table_(table), lookup_(std::move(lookup))
{
}

std::shared_ptr<TLoadThread> TLoadThread::Start(const QString& videoPath, SrtTable& table, PlaceLookup lookup)
{
    auto loader = std::make_shared<TLoadThread>(Private{}, SrtPathFor(videoPath), table, std::move(lookup));
    // The task's body holds the loader, so a holder may let go of it while it still ends.
    loader->task_ = BackgroundTask::Create();
    loader->task_->Run([loader](BackgroundTask&) { loader->Run(); });
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
}

void TLoadThread::Stop()
{
    std::lock_guard lock(tableAccess_);
    Isrunning = false;
}

bool TLoadThread::Finished() const
{
    return !task_->Running();
}

void TLoadThread::Wait() const
{
    task_->WaitUntilEnded();
}

void RestartLoader(std::shared_ptr<TLoadThread>& current, const QString& videoPath, SrtTable& table,
                   PlaceLookup lookup)
{
    if (current && current->Isrunning)
        current->Stop();
    current = TLoadThread::Start(videoPath, table, std::move(lookup));
}
