#include "preview/FlightLogTable.h"

#include "core/Helpers.h"
#include "metadata/FlightTrack.h"
#include "services/Geocoder.h"
#include "services/LocationCache.h"
#include "services/PlaceResolver.h"

#include <QFile>
#include <array>

void SrtTable::Clear()
{
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void SrtTable::Store(int second, const videosrt& entry)
{
    std::lock_guard lock(mutex_);
    entries_.insert(second, entry);
}

bool SrtTable::Contains(int second) const
{
    std::lock_guard lock(mutex_);
    return entries_.contains(second);
}

std::optional<videosrt> SrtTable::Lookup(int second) const
{
    std::lock_guard lock(mutex_);
    const auto found = entries_.constFind(second);
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

bool SrtTable::StoreWhile(const std::atomic<bool>& running, int second, const videosrt& entry)
{
    std::lock_guard lock(mutex_);
    if (!running)
        return false;
    entries_.insert(second, entry);
    return true;
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

QString CellPlaces::Of(const FlightLogPoint& at)
{
    const QString cell = GpsCellKey(at.longitude, at.latitude);
    auto place = places_.constFind(cell);
    if (place == places_.constEnd())
        place = places_.insert(cell, lookup_(at.longitudeText, at.latitudeText, cell));
    return *place;
}

namespace {

// "city district street": the street alone fits the overlay.
QString OverlayPlace(const QString& place)
{
    std::array<QString, 4> placeParts;
    return SplitStr(place, placeParts, u' ') == 3 ? placeParts[2] : place;
}

// Where the reader puts what it reads. Each returns false when reading is to end.
struct EntryTarget {
    std::function<bool()> clear;
    std::function<bool(int second, const videosrt& entry)> store;
};

// The log's points, second by second, each with its place.
void ReadEntries(const QByteArray& bytes, const std::atomic<bool>& running, const EntryTarget& target,
                 const PlaceLookup& lookup)
{
    const QList<FlightTrackPoint> track = ReadFlightTrack(bytes, &running);
    CellPlaces places(lookup);
    for (const FlightTrackPoint& point : track) {
        if (!running)
            return;
        // A point whose time line gives no play second can never be shown.
        const std::optional<int> second = PlaySecondOfKey(point.key);
        if (!second)
            continue;
        const FlightLogPoint& at = point.position;
        videosrt entry;
        entry.Location = OverlayPlace(places.Of(at));
        entry.Distance = float(point.distance);
        entry.GPSLAt = at.longitudeText;
        entry.GPSLNg = at.latitudeText;
        entry.Time = point.time;
        if (!target.store(*second, entry))
            return;
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
            [&](int second, const videosrt& entry) { return table.StoreWhile(running, second, entry); }};
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
        [&](int second, const videosrt& entry) {
            return whileRunning([&] { table_.StoreWhile(Isrunning, second, entry); });
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
