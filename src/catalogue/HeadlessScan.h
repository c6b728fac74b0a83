#pragma once
// The scan without a window, for scripts: one tab-separated line per entry.

#include <QString>

class QTextStream;

struct HeadlessScanOptions {
    // Also run the location pass (cache first, then the geocoders, one request at a time) and
    // print each row's place as a sixth field once every row is resolved or "未知". A place
    // the user typed for a file in the window is that file's place.
    bool places = false;
    // Where Config.dyi (the geocoder's address, key and mode) and Cha.mdb are, with trailing "/".
    QString settingsFolder;
    // Name places from the offline data only, whatever Config.dyi says (--offline).
    bool offline = false;
};

// For the time it lives: the geocoder settings of the settings folder's Config.dyi (offline
// alone with options.offline) and its location cache, opened unless one is open already.
class HeadlessGeocoding {
public:
    explicit HeadlessGeocoding(const HeadlessScanOptions& options);
    ~HeadlessGeocoding();
    HeadlessGeocoding(const HeadlessGeocoding&) = delete;
    HeadlessGeocoding& operator=(const HeadlessGeocoding&) = delete;

private:
    bool ownCache_ = false;
};

// Scans root like the scan command ("全部" mode) and writes, per entry: the file's path, its
// type text, size text, position text and shot time, separated by tabs. Photos whose metadata
// could not be read are named on err. Returns the exit code: 0, or 2 when root is no folder.
int RunHeadlessScan(const QString& root, const HeadlessScanOptions& options, QTextStream& out, QTextStream& err);

// Scans root, resolves the places (a typed place first, as in the window), and exports every
// file into out with the naming rule and default place of the settings file (CityText,
// MorenCity) in options.settingsFolder, checking each copy unless VerifyCopies is off. Writes one
// line per file: what happened ("已校验", "已复制", "重名改名", "已存在", "源文件不见了", "失败"),
// source and target (and the reason of a failure), then a summary on err that says whether the
// card may be formatted. Returns 0, 1 when a file failed or the hash list could not be written,
// or 2 when root or out is no folder.
int RunHeadlessExport(const QString& root, const QString& out, const HeadlessScanOptions& options, QTextStream& output,
                      QTextStream& err);
