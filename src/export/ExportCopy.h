#pragma once
// Copying catalogue files into the export tree without ever losing, replacing or half-writing
// one, on any disk a pilot plugs in (ext4, btrfs, tmpfs, FAT, exFAT, NTFS): each copy is written
// under a hidden name beside its target while its source is hashed, made durable, read back
// from the disk and compared, and only then given its final name, never over a file that is
// there. A target name already taken by a different file makes the next free "-1", "-2", ...
// name.

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <sys/stat.h>

// Blocks of the copy; the progress shown moves once per block.
constexpr qint64 kCopyBlockBytes = 2000000;

// Whether b is a copy of a: both are files of the same size, and either their modification
// times agree to the second (a copy keeps its source's time; no byte is read) or their first
// and last 4 KiB agree.
bool SameFileQuick(const QString& a, const QString& b);

enum class CopyOutcome { Copied, Cancelled, Failed };

// What became of one copy.
struct CopyResult {
    CopyOutcome outcome = CopyOutcome::Failed;
    QString error;          // for Failed: what went wrong, in Chinese, with the file
    bool diskFull = false;  // the failure was a full disk: every later copy would fail too
    bool verified = false;  // read back from the disk and equal to the source
    uint64_t xxh64 = 0;     // of the source's bytes, for Copied
    qint64 size = 0;        // of the copy, for Copied
    QDateTime modified;     // the copy's modification time as the disk keeps it, for Copied
};

struct CopyOptions {
    // Read every copy back from the disk and compare it with its source before naming it.
    bool verify = true;
    // Called with the hidden copy's path just before each read-back (attempt 1, then 2 for the
    // retry), once its pages have been dropped from the cache; tests change the copy here as a
    // failing disk would, or look at what is in memory.
    std::function<void(const QString& hiddenPath, int attempt)> beforeReadBack;
};

// Copies waiting for their check. Write puts each copy on the disk under a hidden name; Finish
// makes the waiting copies durable at once (one sync for many small files, as a copy followed
// by a sync does), reads each back and names it. Without verification each copy is named as
// soon as it is written. Copies still waiting when the batch ends are removed.
class CopyBatch {
public:
    explicit CopyBatch(CopyOptions options = {});
    ~CopyBatch();
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;

    // Writes src to a hidden file beside dst, keeping src's modification time. progress
    // receives "0" at the start, after each block the share copied before that block (a whole
    // percentage), and "100" at the end. Gives Copied when the copy waits for Finish; a stop
    // request removes the partial copy and gives Cancelled.
    CopyResult Write(const QString& src, const QString& dst, const std::function<void(const QString&)>& progress,
                     std::stop_token stop);
    // Whether enough copies wait that checking them now is worth a sync.
    bool Due() const;
    bool Empty() const { return waiting_.isEmpty(); }

    struct Finished {
        QString source;
        QString target;
        CopyResult result;
    };
    // Makes every waiting copy durable, reads each back from the disk (not from the cache) and
    // gives it its name when it equals its source; a copy that differs is written again from its
    // source once, then fails with "校验不一致". One entry per copy, in the order written.
    QList<Finished> Finish();
    // Removes every waiting copy (the export was cancelled or ended early).
    void Abandon();

private:
    struct Waiting {
        QString source;
        QString target;
        QString hidden;       // empty for a copy written unnamed and named at once
        uint64_t xxh64 = 0;
        qint64 size = 0;
    };
    CopyResult Check(Waiting& copy);

    CopyOptions options_;
    QList<Waiting> waiting_;
    qint64 waitingBytes_ = 0;
};

// Copies src to dst as one batch of one file: written, checked when options.verify is set, and
// named. The result tells what happened.
CopyResult CopyWithProgress(const QString& src, const QString& dst, const std::function<void(const QString&)>& progress,
                            std::stop_token stop, const CopyOptions& options = {});

// The hidden name a copy to target is written under until it is complete.
QString HiddenCopyPath(const QString& target);
// Removes the hidden copies a killed run left in folder, with the empty file it may have just
// made to claim a name (see ClaimName in ExportCopy.cpp).
void RemoveLeftoverCopies(const QString& folder);

// Makes the names the copies were given in folder's file system durable, before anyone is told
// the card may be formatted.
void SyncNames(const QString& folder);

// How many pages of the first size bytes of the open file are in memory (-1: cannot tell).
qint64 ResidentPages(int fd, qint64 size);

// XXH64 of a whole file read from the disk once, in large sequential reads; false when it
// cannot be read (error says why, in Chinese, with the file). stop ends the read early (false,
// error empty). progress, when given, hears of every block read.
bool HashFile(const QString& path, uint64_t& hash, QString& error, std::stop_token stop = {},
              const std::function<void(qint64 bytes)>& progress = {});

// Where each file of one export goes. In folder dir (with trailing "/") under filename, a
// source takes the first of filename, "stem-1.ext", "stem-2.ext", ... that already holds a copy
// of it (alreadyThere), or else the first that is free, together with its companions' names
// (the same name with each companion's extension, such as a video's ".SRT"): a companion name
// counts as free when nothing is there or a copy of that very companion is. A name that holds
// another file is never taken: nothing the export did not just write is replaced. Re-runs find
// every earlier copy, so suffixes never move between files; a name this export gave (or is
// writing for) one file is never taken for another file that looks the same.
struct TargetChoice {
    QString path;
    bool alreadyThere = false;
    // For alreadyThere: whether the copy's size and modification time matched (no byte read);
    // otherwise only its first and last bytes were compared.
    bool sameTime = false;
};
struct CompanionSource {
    QString extension; // ".SRT"
    QString path;      // the companion's own file
};
class ExportTargets {
public:
    TargetChoice Choose(const QString& dir, const QString& filename, const QString& source,
                        const QList<CompanionSource>& companions = {}) const;
    // The same for a source whose facts are known already (one stat of it per file).
    TargetChoice Choose(const QString& dir, const QString& filename, const QString& source, const struct stat& sourceInfo,
                        const QList<CompanionSource>& companions) const;
    // Tells that path holds (or is about to hold) a copy of source.
    void Wrote(const QString& path, const QString& source);

private:
    bool Taken(const QString& path, const QString& source) const;
    QHash<QString, QString> written_; // target -> source, for this export
};

// The path with its extension (if any) replaced by extension (".SRT").
QString WithExtension(const QString& path, const QString& extension);
