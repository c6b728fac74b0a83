#pragma once
// The folder scan: walking the tree below the catalogue root, working out each photo's and
// video's size, shot time and position, and making the catalogue entries. No windows here:
// the main window passes the scan mode in and shows the outcome.

#include "catalogue/CatalogueEntry.h"
#include "catalogue/MediaNames.h"
#include "metadata/FlightLog.h" // a video's position comes from its flight log

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

class Catalogue;
struct NewEntry;


// Appends the full path of every wanted file below folder, in path order. Hidden files and folders are left out; linked folders are not followed.
// found (optional) is called with the number of paths collected so far, now and then.
void WalkFolder(const QString& folder, const QString& extensions, QStringList& paths,
                const std::function<void(int found)>& found = {});

// The size of a file in bytes; 0 for a file that is not there.
qint64 FileBytes(const QString& path);

// Shot time and position of a photo from its Exif block. A photo without an Exif time gets its
// file's last-write time; a photo whose metadata cannot be read gets that and no position,
// and error says why.
struct PhotoFacts {
    QDateTime shotTime; // a wall clock (WallClock)
    TimeSource shotTimeFrom = TimeSource::FileTime;
    std::optional<GeoPoint> position;
    QString error; // empty when the metadata could be read
};
PhotoFacts ReadPhotoFacts(const QString& path);

// Which files the scan takes, from the settings dialog.
struct ScanMode {
    enum Kind { All, Today, Since } kind = All;
    QString scanTimeText; // for Since: "yyyy/mm/dd hh:mm:ss", or a date alone
};

// Parses the "指定时间" text, year first; a date alone means midnight. Invalid when unparsable.
QDateTime ParseScanTime(const QString& text);

struct BuildReport {
    int made = 0;             // entries made
    bool badScanTime = false; // the run ended because the "指定时间" text does not parse
    QStringList unreadable;   // "path: reason" of photos whose metadata could not be read
};

struct BuildOptions {
    bool applyMode = false;
    ScanMode mode;
    QString rootText; // the catalogue root, for the records' relative folders
    // Called now and then with the number of paths examined; the caller may show progress.
    std::function<void(int examined, int total)> progress;
};

// Reads what the scan lists of each file, without the catalogue, so that it can run off the UI
// thread: the mode's filter by creation time, then the file's size, shot time and position.
class EntryReader {
public:
    explicit EntryReader(const BuildOptions& options);
    // The mode is "指定时间" with a text that does not parse: no file may be read (the scan
    // reports it when it has a file to read).
    bool BadScanTime() const { return badScanTime_; }
    // The entry of path, or nothing when the mode leaves it out. A photo whose metadata cannot
    // be read is listed anyway and named in unreadable ("path: reason").
    std::optional<NewEntry> Read(const QString& path, QStringList& unreadable) const;

private:
    bool applyMode_;
    ScanMode::Kind kind_;
    QDateTime since_;
    QDateTime startOfToday_;
    bool badScanTime_ = false;
};

// Adds the entries the catalogue does not list yet (by name and shot time) and shows them;
// gives how many were added.
int AddNewEntries(Catalogue& catalogue, const std::vector<NewEntry>& entries, const QString& rootText);

// Makes an entry for every path that the mode keeps and that is not listed yet.
BuildReport BuildEntries(Catalogue& catalogue, const QStringList& paths, const BuildOptions& options);

// The scan as the window runs it on a background task: walks the folders among paths (other
// paths are files), reads the files, and hands the entries over in batches, at most every
// batchEveryMs, with how far it has come; the last batch comes at the end, also when empty.
// Between two files it ends early once stop is requested.
struct ScanSteps {
    std::function<void(int found)> walking; // files found so far while walking
    std::function<void(std::vector<NewEntry> batch, int examined, int total)> batch;
    int batchEveryMs = 100;
};
struct ScanOutcome {
    int files = 0;            // files found
    bool badScanTime = false; // the "指定时间" text does not parse: nothing was read
    bool cancelled = false;
    QStringList unreadable;   // as in BuildReport
};
ScanOutcome ScanInBatches(const QStringList& paths, const BuildOptions& options, std::stop_token stop,
                          const ScanSteps& steps);
