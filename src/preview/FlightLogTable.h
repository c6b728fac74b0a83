#pragma once
// The table of telemetry entries keyed by play second that the video window builds
// from a video's flight log (metadata/FlightLog.h finds and reads the log), its reader, and
// the background loader that fills it.

#include "core/BackgroundTask.h"
#include "metadata/FlightLog.h"
#include "metadata/FlightLogLayouts.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// One telemetry entry.
struct videosrt {
    QString Location; // place name shown for the entry
    QString GPSLAt;   // the position's longitude as written (the name notwithstanding)
    QString GPSLNg;   // the position's latitude as written
    float Distance = 0; // metres from home to the position
    QString Time;     // recording date and time, "yyyy.MM.dd hh:mm:ss"; empty when the log has none
    bool operator==(const videosrt&) const = default;
};

// The entries of the open video by play second (0 for 00:00:00). Written by the loader's thread, emptied by
// the window thread, read by the frame hook and the capture thread: every operation holds the
// one lock for its whole length, and lookups hand out copies.
class SrtTable {
public:
    void Clear();
    void Store(int second, const videosrt& entry);
    bool Contains(int second) const;
    std::optional<videosrt> Lookup(int second) const;
    int Count() const;

    // A writer's forms, doing nothing and giving false once running is cleared; the flag is
    // read under the table's lock.
    bool ClearWhile(const std::atomic<bool>& running);
    // Stores entry for a second (a later store for the second replaces).
    bool StoreWhile(const std::atomic<bool>& running, int second, const videosrt& entry);

private:
    mutable std::mutex mutex_;
    QHash<int, videosrt> entries_; // guarded by mutex_
};

// The place name of a position: longitude and latitude as written, and their cache key.
using PlaceLookup = std::function<QString(const QString& lonText, const QString& latText, const QString& cellKey)>;

// The location cache's "GPS" table first, then the geocoder; answers other than "未知" and
// "..." are added to the cache.
PlaceLookup CachedPlaceLookup();

// The places of positions, asked for once per degree-and-minute cell whatever the answer, so
// that a service that cannot answer is not asked again for every second of a flight.
class CellPlaces {
public:
    explicit CellPlaces(PlaceLookup lookup) : lookup_(std::move(lookup)) {}
    QString Of(const FlightLogPoint& at);

private:
    const PlaceLookup lookup_;
    QHash<QString, QString> places_; // by cell
};

// Empties the table (while running is set) and fills it from the subtitle file at path, one
// entry per play second of the log's track (metadata/FlightTrack.h), in play order. A missing
// or unreadable file leaves it empty. The place of each degree-and-minute cell is asked for
// once per reading, whatever the answer. Stops before the next entry once running is cleared.
void readsrtfile(const QString& path, const std::atomic<bool>& running, SrtTable& table, const PlaceLookup& lookup);

// The entries of a subtitle file's bytes, stored without emptying the table first.
void readsrtdata(const QByteArray& bytes, const std::atomic<bool>& running, SrtTable& table, const PlaceLookup& lookup);

// Reads a video's subtitle file into a table on a background task. The task keeps the loader
// alive while it runs, so a holder's reference stays valid before and after the end, and a
// holder may let go of a loader that still ends (a web look-up under way).
class TLoadThread {
    struct Private {};

public:
    static std::shared_ptr<TLoadThread> Start(const QString& videoPath, SrtTable& table, PlaceLookup lookup);
    TLoadThread(Private, QString path, SrtTable& table, PlaceLookup lookup);

    // Set until reading ends. Clear it through Stop(): a plain write may still let the store
    // under way complete.
    std::atomic<bool> Isrunning{true};
    const QString vfile;

    // Clears Isrunning. Once this returns the loader no longer touches the table: nothing more
    // is stored, and the table may go even while the thread still ends.
    void Stop();
    bool Finished() const;
    void Wait() const; // until reading has ended (on the UI thread: serving, no user input)

private:
    void Run();

    // Held, with Isrunning checked, for each use of table_; taken before the table's own lock.
    std::mutex tableAccess_;
    SrtTable& table_;
    const PlaceLookup lookup_;
    std::shared_ptr<BackgroundTask> task_; // set before the task runs
};

// The window's start of playback: asks the current loader, if still running, to stop (without
// waiting for it) and makes a new loader for the video the current one.
void RestartLoader(std::shared_ptr<TLoadThread>& current, const QString& videoPath, SrtTable& table,
                   PlaceLookup lookup);
