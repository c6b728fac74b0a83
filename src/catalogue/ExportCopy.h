#pragma once
// Copying one catalogue file into the export tree without ever losing or half-writing one:
// the copy goes to a hidden temporary name beside its target and is renamed when complete;
// a target name already taken by a different file makes the next free "-1", "-2", ... name.

#include <QString>
#include <QStringList>
#include <functional>
#include <stop_token>

// Blocks of the copy; the progress shown moves once per block.
constexpr qint64 kCopyBlockBytes = 2000000;

// True when both files exist, have the same size and the same first and last 4 KiB.
bool SameFileQuick(const QString& a, const QString& b);

enum class CopyOutcome { Copied, Cancelled, Failed };
struct CopyResult {
    CopyOutcome outcome;
    QString error; // for Failed: what went wrong, in Chinese, with the file
};

// Copies src to dst, keeping src's modification time. progress receives "0" at the start, after
// each block the share copied before that block (a whole percentage), and "100" at the end.
// A stop request removes the partial copy and gives Cancelled.
CopyResult CopyWithProgress(const QString& src, const QString& dst, const std::function<void(const QString&)>& progress,
                            std::stop_token stop);

// Where source goes in folder dir (with trailing "/") under filename: the first of filename,
// "stem-1.ext", "stem-2.ext", ... that already holds a copy of source (alreadyThere), or else
// the first that is free or holds a stale file (one equal to none of the files that share this
// name, siblings). So re-runs find every earlier copy and suffixes never move between files.
struct TargetChoice {
    QString path;
    bool alreadyThere = false;
};
TargetChoice ChooseTarget(const QString& dir, const QString& filename, const QString& source, const QStringList& siblings);

// The path with its extension replaced by ".SRT".
QString WithSrtExtension(const QString& path);
