#pragma once
// The folder scan: walking the tree below the catalogue root, working out each photo's and
// video's size, shot time and position, and making the catalogue entries. No windows here:
// the main window passes the scan mode in and shows the outcome.

#include "metadata/FlightLog.h" // a video's position comes from its flight log

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

class Catalogue;

inline const QString kScanExtensions = QStringLiteral(".mp4|.mov|.jpg");

// True when the name's extension (from its last "."), lower-cased A-Z, is one of the
// "|"-separated extensions.
bool HasListedExt(const QString& name, const QString& extensions);

// Appends the full path of every wanted file below folder, depth first, in the order the file
// system lists them. Hidden files and folders are left out; linked folders are not followed.
// found (optional) is called with the number of paths collected so far, now and then.
void WalkFolder(const QString& folder, const QString& extensions, QStringList& paths,
                const std::function<void(int found)>& found = {});

// The size in MiB with two decimals and "," between thousands, without a lone leading "0":
// ".50", ".00", "1.00", "1,177.38". 0 bytes for a file that is not there.
QString FileSizeText(qint64 bytes);
QString FileSizeText(const QString& path);

// Shot time and position of a photo from its Exif block. A photo without an Exif time gets its
// file's last-write time; a photo whose metadata cannot be read gets that and no position,
// and error says why.
struct PhotoFacts {
    QString shotTime;
    QString position;
    QString error; // empty when the metadata could be read
};
PhotoFacts ReadPhotoFacts(const QString& path);

// The shot-time text of a date-time: "yyyy/MM/dd HH:mm:ss".
QString ShotTimeText(const QDateTime& local);
QString ShotTimeText(const QDate& date, const QTime& time);

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

// Makes an entry for every path that the mode keeps and that is not listed yet.
BuildReport BuildEntries(Catalogue& catalogue, const QStringList& paths, const BuildOptions& options);
