#pragma once
// Copying one catalogue file into the export tree without ever losing or half-writing one:
// the copy is written to an unnamed file beside its target and named when complete, never over
// a file that is there; a target name already taken by a different file makes the next free
// "-1", "-2", ... name.

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <stop_token>

// Blocks of the copy; the progress shown moves once per block.
constexpr qint64 kCopyBlockBytes = 2000000;

// Whether b is a copy of a: both are files of the same size, and either their modification
// times agree to the second (a copy keeps its source's time; no byte is read) or their first
// and last 4 KiB agree.
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

// Where each file of one export goes. In folder dir (with trailing "/") under filename, a
// source takes the first of filename, "stem-1.ext", "stem-2.ext", ... that already holds a copy
// of it (alreadyThere), or else the first that is free, together with its companions' names
// (the same name with each of companionExtensions, such as a video's ".SRT"). A name that holds
// another file is never taken: nothing the export did not just write is replaced. Re-runs find
// every earlier copy, so suffixes never move between files; a name this export gave one file
// is never taken for another file that looks the same.
struct TargetChoice {
    QString path;
    bool alreadyThere = false;
};
class ExportTargets {
public:
    TargetChoice Choose(const QString& dir, const QString& filename, const QString& source,
                        const QStringList& companionExtensions = {}) const;
    // Tells that path now holds a copy of source.
    void Wrote(const QString& path, const QString& source);

private:
    QHash<QString, QString> written_; // target -> source, for this export
};

// The path with its extension (if any) replaced by extension (".SRT").
QString WithExtension(const QString& path, const QString& extension);
