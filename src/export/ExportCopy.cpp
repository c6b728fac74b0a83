#include "export/ExportCopy.h"

#include "core/Helpers.h"
#include "export/FileHash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr qint64 kCompareBytes = 4096;
constexpr qint64 kReserveFromBytes = 64LL * 1024 * 1024;
constexpr int kMaxSuffix = 9999;
// Reads of the check: large, and aligned for reads that pass the cache by.
constexpr qint64 kReadBackBytes = 4 * 1024 * 1024;
constexpr qint64 kAlignment = 4096;
// How much waits for one sync before it is checked: enough small files that one sync serves
// them all, little enough that the copies are still on their way to the disk, not in memory.
constexpr qint64 kBatchBytes = 256LL * 1024 * 1024;
constexpr int kBatchFiles = 256;
const QString kHiddenSuffix = QStringLiteral(".orvek-part");
// statfs's f_type of file systems served through FUSE (exFAT and NTFS drives on most desktops).
constexpr long kFuseMagic = 0x65735546;

// A file descriptor that closes itself.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

bool ReadAt(int fd, char* buffer, qint64 bytes, qint64 offset)
{
    qint64 done = 0;
    while (done < bytes) {
        const ssize_t got = pread(fd, buffer + done, size_t(bytes - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

// A buffer for whole blocks, aligned so that reads that pass the cache by can use it.
struct AlignedBuffer {
    explicit AlignedBuffer(qint64 bytes)
        : data(static_cast<char*>(std::aligned_alloc(size_t(kAlignment), size_t(bytes))))
    {
    }
    ~AlignedBuffer() { std::free(data); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    char* data;
};

// Reads up to bytes at the current position, as many as there are; -1 with errno on failure.
qint64 ReadFull(int fd, char* buffer, qint64 bytes)
{
    qint64 done = 0;
    while (done < bytes) {
        const ssize_t got = read(fd, buffer + done, size_t(bytes - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

bool WriteFull(int fd, const char* buffer, qint64 bytes)
{
    for (qint64 done = 0; done < bytes;) {
        const ssize_t put = write(fd, buffer + done, size_t(bytes - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}

bool IsDiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

// Removes a hidden copy. It is emptied first: a full NTFS drive refuses to remove a file until
// it has room to note the removal, and the room the copy held is what later copies need.
// (Never for a hidden name that is a second name of a named copy: that would empty the copy.)
bool RemoveHidden(const QByteArray& path)
{
    truncate(path.constData(), 0);
    return unlink(path.constData()) == 0;
}

// Size and modification time of a regular file; nothing when it is missing or not a file.
std::optional<struct stat> RegularFile(const QByteArray& path)
{
    struct stat info {};
    if (stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return info;
}

bool SameEnds(const QByteArray& a, const QByteArray& b, qint64 size)
{
    Fd fa(open(a.constData(), O_RDONLY | O_CLOEXEC));
    Fd fb(open(b.constData(), O_RDONLY | O_CLOEXEC));
    if (fa.fd < 0 || fb.fd < 0)
        return false;
    const qint64 head = std::min(size, kCompareBytes);
    const qint64 tailStart = std::max(head, size - kCompareBytes);
    char x[kCompareBytes], y[kCompareBytes];
    for (const auto& [offset, bytes] : {std::pair{qint64(0), head}, std::pair{tailStart, size - tailStart}}) {
        if (bytes == 0)
            continue;
        if (!ReadAt(fa.fd, x, bytes, offset) || !ReadAt(fb.fd, y, bytes, offset) || std::memcmp(x, y, size_t(bytes)) != 0)
            return false;
    }
    return true;
}

// Whether the file b (known: bInfo) is a copy of a (known: aInfo).
bool IsCopy(const QByteArray& a, const struct stat& aInfo, const QByteArray& b, const struct stat& bInfo)
{
    if (aInfo.st_size != bInfo.st_size)
        return false;
    if (aInfo.st_mtim.tv_sec == bInfo.st_mtim.tv_sec)
        return true; // the quick check: the export keeps the source's time
    return SameEnds(a, b, aInfo.st_size);
}

} // namespace


bool SameFileQuick(const QString& a, const QString& b)
{
    const QByteArray pathA = Native(a);
    const QByteArray pathB = Native(b);
    const auto infoA = RegularFile(pathA);
    const auto infoB = infoA ? RegularFile(pathB) : std::nullopt;
    return infoA && infoB && IsCopy(pathA, *infoA, pathB, *infoB);
}

namespace {

CopyResult Failure(const QString& file, int error)
{
    CopyResult result;
    result.outcome = CopyOutcome::Failed;
    result.error = QStringLiteral("%1：%2").arg(file, SystemErrorText(error));
    result.diskFull = IsDiskFull(error);
    return result;
}

// The bytes of one pass from a source into a copy.
struct Transfer {
    int error = 0;             // errno of the failure, 0 when none
    bool sourceFailed = false; // the failure was reading the source
    bool cancelled = false;
    uint64_t xxh64 = 0;        // of the bytes that passed
};

// Writes the first total bytes of from into to, hashing them on the way. Both start where they
// are (a fresh copy) or, for a second pass, from their start with to emptied first.
Transfer TransferAll(int from, int to, qint64 total, const std::function<void(const QString&)>& progress,
                     std::stop_token stop, bool again = false)
{
    Transfer transfer;
    if (again && (lseek(from, 0, SEEK_SET) < 0 || lseek(to, 0, SEEK_SET) < 0 || ftruncate(to, 0) != 0)) {
        transfer.error = errno;
        return transfer;
    }
    constexpr qint64 kBufferBytes = (kCopyBlockBytes + kAlignment - 1) / kAlignment * kAlignment;
    thread_local AlignedBuffer buffer(kBufferBytes);
    Xxh64 hash;
    for (qint64 remaining = total; remaining > 0;) {
        if (stop.stop_requested()) {
            transfer.cancelled = true;
            return transfer;
        }
        const qint64 block = std::min(kCopyBlockBytes, remaining);
        const qint64 got = ReadFull(from, buffer.data, block);
        if (got != block) {
            transfer.error = got < 0 ? errno : EIO; // a source that ends early cannot be copied whole
            transfer.sourceFailed = true;
            return transfer;
        }
        hash.Add(buffer.data, size_t(block));
        if (!WriteFull(to, buffer.data, block)) {
            transfer.error = errno;
            return transfer;
        }
        if (progress)
            progress(QString::number(qint64((1.0 - double(remaining) / double(total)) * 100.0)));
        remaining -= block;
    }
    transfer.xxh64 = hash.Value();
    return transfer;
}

// Reads a whole open file and hashes it; false with errno set when a read fails.
bool HashOpenFile(int fd, uint64_t& hash, std::stop_token stop, const std::function<void(qint64)>& progress, bool& stopped)
{
    thread_local AlignedBuffer buffer(kReadBackBytes);
    Xxh64 state;
    for (;;) {
        if (stop.stop_requested()) {
            stopped = true;
            return false;
        }
        const qint64 got = ReadFull(fd, buffer.data, kReadBackBytes);
        if (got < 0)
            return false;
        state.Add(buffer.data, size_t(got));
        if (progress && got > 0)
            progress(got);
        if (got < kReadBackBytes)
            break;
    }
    hash = state.Value();
    return true;
}

// Reads a copy back from the disk and hashes it. Its pages are dropped from the cache first;
// where that does not drop them, the file is read past the cache. Afterwards it leaves no pages
// behind, so a long export does not fill the memory with copies.
bool ReadBack(const QByteArray& path, qint64 size, uint64_t& hash, const std::function<void()>& beforeRead)
{
    Fd cached(open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (cached.fd < 0)
        return false;
    posix_fadvise(cached.fd, 0, 0, POSIX_FADV_DONTNEED);
    if (beforeRead)
        beforeRead();
    Fd direct(ResidentPages(cached.fd, size) != 0 ? open(path.constData(), O_RDONLY | O_CLOEXEC | O_DIRECT) : -1);
    bool stopped = false;
    bool read = direct.fd >= 0 && HashOpenFile(direct.fd, hash, {}, {}, stopped);
    if (!read && direct.fd >= 0 && errno != EINVAL)
        return false;
    if (!read) // no way past the cache here (tmpfs keeps its files in memory): read it as it is
        read = HashOpenFile(cached.fd, hash, {}, {}, stopped);
    const int error = errno;
    posix_fadvise(cached.fd, 0, 0, POSIX_FADV_DONTNEED);
    errno = error;
    return read;
}

// Marks the empty file that claims a name on disks that can neither rename without replacing
// nor give a file a second name.
const QByteArray kClaimMark = QByteArrayLiteral("ORVEK-FILE: name claimed for a copy under way\n");

// Gives the hidden copy its final name, never over a file that is there: 0, or the errno.
int ClaimName(const QByteArray& hidden, const QByteArray& target)
{
    if (renameat2(AT_FDCWD, hidden.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // The file system cannot rename without replacing (NTFS and exFAT drives through FUSE): a
    // second name, which is refused where any file is, then the hidden name goes.
    if (link(hidden.constData(), target.constData()) == 0) {
        unlink(hidden.constData());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK)
        return errno;
    // No second names either (FAT, exFAT): the name is claimed with a marked file made only where
    // nothing is, and the copy is moved onto it. Only that file of ours can be replaced. A run
    // that dies between the two steps leaves the marked file beside the hidden copy, and the next
    // run removes both (RemoveLeftoverCopies).
    Fd claim(open(target.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644));
    if (claim.fd < 0)
        return errno;
    if (!WriteFull(claim.fd, kClaimMark.constData(), kClaimMark.size())) {
        const int error = errno;
        unlink(target.constData());
        return error;
    }
    if (rename(hidden.constData(), target.constData()) == 0)
        return 0;
    const int error = errno;
    unlink(target.constData());
    return error;
}

QDateTime ModifiedOf(const struct stat& info)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000, Qt::UTC);
}

bool OnFuse(int fd)
{
    struct statfs info {};
    return fstatfs(fd, &info) == 0 && long(info.f_type) == kFuseMagic;
}

} // namespace

QString HiddenCopyPath(const QString& target)
{
    const QFileInfo info(target);
    return info.path() + QStringLiteral("/.") + info.fileName() + kHiddenSuffix;
}

void RemoveLeftoverCopies(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral(".*") + kHiddenSuffix}, QDir::Files | QDir::Hidden | QDir::System)) {
        const QByteArray hidden = Native(dir.filePath(name));
        const QByteArray claimed = Native(dir.filePath(name.mid(1, name.size() - 1 - kHiddenSuffix.size())));
        const std::optional<struct stat> claim = RegularFile(claimed);
        if (claim && claim->st_size == kClaimMark.size()) {
            QFile file(QFile::decodeName(claimed));
            if (file.open(QIODevice::ReadOnly) && file.readAll() == kClaimMark)
                unlink(claimed.constData());
        }
        RemoveHidden(hidden);
    }
}

void SyncNames(const QString& folder)
{
    Fd fd(open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.fd >= 0 && syncfs(fd.fd) != 0)
        fsync(fd.fd);
}

qint64 ResidentPages(int fd, qint64 size)
{
    if (size <= 0)
        return 0;
    void* map = mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return -1;
    const qint64 page = sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> pages(size_t((size + page - 1) / page));
    qint64 resident = -1;
    if (mincore(map, size_t(size), pages.data()) == 0)
        resident = std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return (p & 1) != 0; });
    munmap(map, size_t(size));
    return resident;
}

bool HashFile(const QString& path, uint64_t& hash, QString& error, std::stop_token stop,
              const std::function<void(qint64 bytes)>& progress)
{
    error.clear();
    Fd fd(open(Native(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.fd >= 0) {
        if (fstat(fd.fd, &info) == 0 && info.st_size > kReadBackBytes) // worth its call for large files only
            posix_fadvise(fd.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        bool stopped = false;
        if (HashOpenFile(fd.fd, hash, stop, progress, stopped))
            return true;
        if (stopped)
            return false;
    }
    error = QStringLiteral("%1：%2").arg(path, SystemErrorText(errno));
    return false;
}

CopyBatch::CopyBatch(CopyOptions options)
    : options_(std::move(options))
{
}

CopyBatch::~CopyBatch()
{
    Abandon();
}

CopyResult CopyBatch::Write(const QString& src, const QString& dst, const std::function<void(const QString&)>& progress,
                            std::stop_token stop)
{
    Fd from(open(Native(src).constData(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (from.fd < 0 || fstat(from.fd, &info) != 0)
        return Failure(src, errno);
    if (info.st_size > kCopyBlockBytes) // a hint worth its call only for files read in several blocks
        posix_fadvise(from.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // The copy is written under a hidden name beside its target (the scan skips it) and named
    // only when complete. A hidden file of the same name is a leftover of a killed run. A copy
    // that is not checked is named as soon as it is written: where the file system has unnamed
    // files it is written as one, which leaves nothing at all behind if the run is killed and
    // spares the rename.
    QString hiddenPath;
    Fd to(options_.verify ? -1 : open(Native(QFileInfo(dst).path()).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644));
    if (to.fd < 0) {
        hiddenPath = HiddenCopyPath(dst);
        to.fd = open(Native(hiddenPath).constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0644);
        if (to.fd < 0 && errno == EEXIST && RemoveHidden(Native(hiddenPath)))
            to.fd = open(Native(hiddenPath).constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0644);
    }
    if (to.fd < 0)
        return Failure(dst, errno);
    const QByteArray hidden = Native(hiddenPath);
    const auto giveUp = [&](CopyResult result) {
        if (!hidden.isEmpty())
            RemoveHidden(hidden);
        return result;
    };
    const qint64 total = info.st_size;
    // A large file takes its room at once, so a full disk is known before minutes of copying;
    // for small files the extra step costs more than it saves.
    if (total >= kReserveFromBytes && posix_fallocate(to.fd, 0, off_t(total)) == ENOSPC)
        return giveUp(Failure(dst, ENOSPC));

    progress(QStringLiteral("0"));
    const Transfer transfer = TransferAll(from.fd, to.fd, total, progress, stop);
    if (transfer.cancelled) {
        CopyResult cancelled;
        cancelled.outcome = CopyOutcome::Cancelled;
        return giveUp(cancelled);
    }
    if (transfer.error != 0)
        return giveUp(Failure(transfer.sourceFailed ? src : dst, transfer.error));
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    futimens(to.fd, times);
    // An unnamed copy gets its name where none is: a file that appeared there meanwhile stays.
    if (hidden.isEmpty()
        && linkat(AT_FDCWD, QByteArray("/proc/self/fd/" + QByteArray::number(to.fd)).constData(), AT_FDCWD,
                  Native(dst).constData(), AT_SYMLINK_FOLLOW) != 0)
        return Failure(dst, errno);
    const int closed = close(to.fd);
    to.fd = -1;
    if (closed != 0) {
        const int error = errno;
        if (hidden.isEmpty())
            unlink(Native(dst).constData()); // named a moment ago by this copy: not whole
        return giveUp(Failure(dst, error));
    }
    progress(QStringLiteral("100"));

    waiting_.append({src, dst, hiddenPath, transfer.xxh64, total});
    waitingBytes_ += total;
    CopyResult result;
    result.outcome = CopyOutcome::Copied;
    result.xxh64 = transfer.xxh64;
    result.size = total;
    return result;
}

bool CopyBatch::Due() const
{
    return !options_.verify || waiting_.size() >= kBatchFiles || waitingBytes_ >= kBatchBytes;
}

QList<CopyBatch::Finished> CopyBatch::Finish()
{
    // The copies reach the disk before they are read back: one sync of each file system for
    // them all, file by file where the sync would not reach the drive (FUSE) or fails.
    QHash<QString, int> syncFailed; // hidden path -> errno
    if (options_.verify) {
        QSet<dev_t> synced;
        for (const Waiting& copy : std::as_const(waiting_)) {
            Fd fd(open(Native(copy.hidden).constData(), O_RDONLY | O_CLOEXEC));
            struct stat info {};
            if (fd.fd < 0 || fstat(fd.fd, &info) != 0) {
                syncFailed.insert(copy.hidden, errno);
                continue;
            }
            const bool whole = !OnFuse(fd.fd);
            if (whole && synced.contains(info.st_dev))
                continue;
            if (whole && syncfs(fd.fd) == 0) {
                synced.insert(info.st_dev);
                continue;
            }
            if (fdatasync(fd.fd) != 0)
                syncFailed.insert(copy.hidden, errno);
        }
    }
    QList<Finished> finished;
    for (Waiting& copy : waiting_) {
        CopyResult result;
        if (const auto failed = syncFailed.constFind(copy.hidden); failed != syncFailed.constEnd()) {
            RemoveHidden(Native(copy.hidden));
            result = Failure(copy.target, *failed);
        } else {
            result = Check(copy);
        }
        finished.append({copy.source, copy.target, result});
    }
    waiting_.clear();
    waitingBytes_ = 0;
    return finished;
}

CopyResult CopyBatch::Check(Waiting& copy)
{
    if (copy.hidden.isEmpty()) { // written unnamed and named at once (not checked)
        CopyResult result;
        result.outcome = CopyOutcome::Copied;
        result.xxh64 = copy.xxh64;
        result.size = copy.size;
        if (const auto info = RegularFile(Native(copy.target)))
            result.modified = ModifiedOf(*info);
        return result;
    }
    const QByteArray hidden = Native(copy.hidden);
    const auto giveUp = [&](CopyResult result) {
        RemoveHidden(hidden);
        return result;
    };
    bool verified = false;
    for (int attempt = 1; options_.verify && !verified && attempt <= 2; ++attempt) {
        if (attempt == 2) {
            // Written again from the source, which is read again too: a card that gives other
            // bytes each time is caught here as well.
            Fd from(open(Native(copy.source).constData(), O_RDONLY | O_CLOEXEC));
            if (from.fd < 0)
                return giveUp(Failure(copy.source, errno));
            Fd to(open(hidden.constData(), O_WRONLY | O_CLOEXEC));
            if (to.fd < 0)
                return giveUp(Failure(copy.target, errno));
            const Transfer transfer = TransferAll(from.fd, to.fd, copy.size, {}, {}, true);
            if (transfer.error != 0)
                return giveUp(Failure(transfer.sourceFailed ? copy.source : copy.target, transfer.error));
            struct stat info {};
            if (fstat(from.fd, &info) == 0) {
                const struct timespec times[2] = {info.st_atim, info.st_mtim};
                futimens(to.fd, times);
            }
            if (fdatasync(to.fd) != 0)
                return giveUp(Failure(copy.target, errno));
            copy.xxh64 = transfer.xxh64;
        }
        uint64_t readBack = 0;
        const auto seam = [&] {
            if (options_.beforeReadBack)
                options_.beforeReadBack(copy.hidden, attempt);
        };
        if (!ReadBack(hidden, copy.size, readBack, seam))
            return giveUp(Failure(copy.target, errno));
        verified = readBack == copy.xxh64;
    }
    if (options_.verify && !verified) {
        CopyResult result = giveUp({});
        result.error = QStringLiteral("%1：校验不一致").arg(copy.target);
        return result;
    }
    const QByteArray target = Native(copy.target);
    if (const int error = ClaimName(hidden, target); error != 0)
        return giveUp(Failure(copy.target, error));
    CopyResult result;
    result.outcome = CopyOutcome::Copied;
    result.verified = options_.verify;
    result.xxh64 = copy.xxh64;
    result.size = copy.size;
    if (const auto info = RegularFile(target))
        result.modified = ModifiedOf(*info);
    return result;
}

void CopyBatch::Abandon()
{
    for (const Waiting& copy : std::as_const(waiting_))
        if (!copy.hidden.isEmpty()) // an unnamed copy was named when written: it is whole
            RemoveHidden(Native(copy.hidden));
    waiting_.clear();
    waitingBytes_ = 0;
}

CopyResult CopyWithProgress(const QString& src, const QString& dst, const std::function<void(const QString&)>& progress,
                            std::stop_token stop, const CopyOptions& options)
{
    CopyBatch batch(options);
    const CopyResult written = batch.Write(src, dst, progress, stop);
    if (written.outcome != CopyOutcome::Copied)
        return written;
    return batch.Finish().front().result;
}

QString WithExtension(const QString& path, const QString& extension)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype slash = path.lastIndexOf(u'/');
    return (dot > slash ? path.left(dot) : path) + extension;
}

bool ExportTargets::Taken(const QString& path, const QString& source) const
{
    const auto written = written_.constFind(path);
    return written != written_.constEnd() && *written != source;
}

TargetChoice ExportTargets::Choose(const QString& dir, const QString& filename, const QString& source,
                                   const QList<CompanionSource>& companions) const
{
    const std::optional<struct stat> sourceInfo = RegularFile(Native(source));
    if (!sourceInfo) {
        struct stat none {};
        none.st_size = -1; // matches no file: the first free name
        return Choose(dir, filename, source, none, companions);
    }
    return Choose(dir, filename, source, *sourceInfo, companions);
}

TargetChoice ExportTargets::Choose(const QString& dir, const QString& filename, const QString& source,
                                   const struct stat& sourceInfo, const QList<CompanionSource>& companions) const
{
    const qsizetype dot = filename.lastIndexOf(u'.');
    const QString stem = dot < 0 ? filename : filename.left(dot);
    const QString extension = dot < 0 ? QString() : filename.mid(dot);
    const auto slot = [&](int k) { return dir + (k == 0 ? filename : QStringLiteral("%1-%2%3").arg(stem).arg(k).arg(extension)); };
    const QByteArray sourcePath = Native(source);
    // A companion's name is free for this file when nothing is there, or a copy of that very
    // companion is (the log of a video whose copy was removed from the backup).
    const auto companionFits = [&](const QString& path, const CompanionSource& companion) {
        const QString target = WithExtension(path, companion.extension);
        if (Taken(target, companion.path))
            return false;
        struct stat info {};
        if (lstat(Native(target).constData(), &info) != 0)
            return errno == ENOENT;
        return S_ISREG(info.st_mode) && SameFileQuick(companion.path, target);
    };

    // Up to the first free name: an earlier copy of this very file, at any suffix. A name this
    // export gave another file is never that file's, however alike the two look.
    for (int k = 0; k <= kMaxSuffix; ++k) {
        const QString path = slot(k);
        if (Taken(path, source))
            continue;
        const QByteArray native = Native(path);
        struct stat info {};
        if (lstat(native.constData(), &info) != 0) {
            if (errno != ENOENT)
                continue; // cannot tell what is there: leave it alone
            if (std::all_of(companions.begin(), companions.end(), [&](const CompanionSource& c) { return companionFits(path, c); }))
                return {path, false};
            continue;
        }
        if (sourceInfo.st_size >= 0 && S_ISREG(info.st_mode) && IsCopy(sourcePath, sourceInfo, native, info))
            return {path, true, info.st_mtim.tv_sec == sourceInfo.st_mtim.tv_sec};
    }
    return {slot(kMaxSuffix + 1), false};
}

void ExportTargets::Wrote(const QString& path, const QString& source)
{
    written_.insert(path, source);
}
