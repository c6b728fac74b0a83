#pragma once
// The scan without a window, for scripts: one tab-separated line per entry.

#include <QString>

class QTextStream;

struct HeadlessScanOptions {
    // Also run the location pass (cache first, then the web, one request at a time) and print
    // each row's place as a sixth field once every row is resolved or "未知".
    bool places = false;
    // Where Config.dyi (the geocoder's address and key) and Cha.mdb are, with trailing "/".
    QString settingsFolder;
};

// Scans root like the scan command ("全部" mode) and writes, per entry: the file's path, its
// type text, size text, position text and shot time, separated by tabs. Photos whose metadata
// could not be read are named on err. Returns the exit code: 0, or 2 when root is no folder.
int RunHeadlessScan(const QString& root, const HeadlessScanOptions& options, QTextStream& out, QTextStream& err);
