#pragma once
// The scan without a window, for scripts: one tab-separated line per entry.

#include <QString>

class QTextStream;

// Scans root like the scan command ("全部" mode) and writes, per entry: the file's path, its
// type text, size text, position text and shot time, separated by tabs. Photos whose metadata
// could not be read are named on err. Returns the exit code: 0, or 2 when root is no folder.
int RunHeadlessScan(const QString& root, QTextStream& out, QTextStream& err);
