#include "export/ExportCopy.h"

#include "core/Helpers.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kCompareBytes = 4096;
constexpr qint64 kReserveFromBytes = 64LL * 1024 * 1024;
constexpr int kMaxSuffix = 9999;

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

// Copies bytes from one descriptor to the other at the current positions: in the kernel when
// it can, through a buffer otherwise.
bool CopyBlock(int from, int to, qint64 bytes, int& error)
{
    while (bytes > 0) {
        const ssize_t moved = copy_file_range(from, nullptr, to, nullptr, size_t(bytes), 0);
        if (moved > 0) {
            bytes -= moved;
            continue;
        }
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
            error = errno;
            return false;
        }
        // The kernel cannot do it here (or the source ended early): copy through a buffer.
        thread_local std::unique_ptr<char[]> buffer(new char[kCopyBlockBytes]);
        const ssize_t got = read(from, buffer.get(), size_t(std::min(bytes, kCopyBlockBytes)));
        if (got <= 0) {
            error = got == 0 ? EIO : errno;
            return false;
        }
        for (ssize_t written = 0; written < got;) {
            const ssize_t put = write(to, buffer.get() + written, size_t(got - written));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                error = errno;
                return false;
            }
            written += put;
        }
        bytes -= got;
    }
    return true;
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

CopyResult CopyWithProgress(const QString& src, const QString& dst, const std::function<void(const QString&)>& progress,
                            std::stop_token stop)
{
    const auto failed = [&](const QString& file, int error) {
        return CopyResult{CopyOutcome::Failed, QStringLiteral("%1：%2").arg(file, SystemErrorText(error))};
    };
    Fd from(open(Native(src).constData(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (from.fd < 0 || fstat(from.fd, &info) != 0)
        return failed(src, errno);
    posix_fadvise(from.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // The copy is written to an unnamed file in the target's folder and named only when
    // complete, so a copy that never finishes leaves nothing behind; where the file system has
    // no unnamed files, a hidden name beside the target (the scan skips it) stands in.
    const QFileInfo target(dst);
    const QByteArray targetPath = Native(dst);
    QByteArray partialPath; // empty while the file has no name
    Fd to(open(Native(target.path()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644));
    if (to.fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        partialPath = Native(target.path() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".orvek-part"));
        to.fd = open(partialPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    if (to.fd < 0)
        return failed(dst, errno);
    const auto giveUp = [&](CopyResult result) {
        if (!partialPath.isEmpty())
            unlink(partialPath.constData());
        return result;
    };
    const qint64 total = info.st_size;
    // A large file takes its room at once, so a full disk is known before minutes of copying;
    // for small files the extra step costs more than it saves.
    if (total >= kReserveFromBytes && posix_fallocate(to.fd, 0, off_t(total)) == ENOSPC)
        return giveUp(failed(dst, ENOSPC));

    progress(QStringLiteral("0"));
    qint64 remaining = total;
    while (remaining > 0) {
        if (stop.stop_requested())
            return giveUp({CopyOutcome::Cancelled, {}});
        const qint64 block = std::min(kCopyBlockBytes, remaining);
        int error = 0;
        if (!CopyBlock(from.fd, to.fd, block, error))
            return giveUp(failed(error == EIO ? src : dst, error));
        progress(QString::number(qint64((1.0 - double(remaining) / double(total)) * 100.0)));
        remaining -= block;
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    futimens(to.fd, times);
    // The name is given only where none is: a file that appeared there meanwhile stays.
    const bool named = partialPath.isEmpty()
        ? linkat(AT_FDCWD, QByteArray("/proc/self/fd/" + QByteArray::number(to.fd)).constData(), AT_FDCWD,
                 targetPath.constData(), AT_SYMLINK_FOLLOW) == 0
        : renameat2(AT_FDCWD, partialPath.constData(), AT_FDCWD, targetPath.constData(), RENAME_NOREPLACE) == 0;
    if (!named)
        return giveUp(failed(dst, errno));
    partialPath.clear();
    const int closed = close(to.fd);
    to.fd = -1;
    if (closed != 0) {
        const int error = errno;
        unlink(targetPath.constData());
        return failed(dst, error);
    }
    progress(QStringLiteral("100"));
    return {CopyOutcome::Copied, {}};
}

QString WithExtension(const QString& path, const QString& extension)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype slash = path.lastIndexOf(u'/');
    return (dot > slash ? path.left(dot) : path) + extension;
}

TargetChoice ExportTargets::Choose(const QString& dir, const QString& filename, const QString& source,
                                   const QStringList& companionExtensions) const
{
    const qsizetype dot = filename.lastIndexOf(u'.');
    const QString stem = dot < 0 ? filename : filename.left(dot);
    const QString extension = dot < 0 ? QString() : filename.mid(dot);
    const auto slot = [&](int k) { return dir + (k == 0 ? filename : QStringLiteral("%1-%2%3").arg(stem).arg(k).arg(extension)); };
    const QByteArray sourcePath = Native(source);
    const std::optional<struct stat> sourceInfo = RegularFile(sourcePath);

    // Up to the first free name: an earlier copy of this very file, at any suffix. A name this
    // export gave another file is never that file's, however alike the two look.
    for (int k = 0; k <= kMaxSuffix; ++k) {
        const QString path = slot(k);
        const QByteArray native = Native(path);
        struct stat info {};
        if (lstat(native.constData(), &info) != 0) {
            if (errno != ENOENT)
                continue; // cannot tell what is there: leave it alone
            const bool companionsFree = std::all_of(companionExtensions.begin(), companionExtensions.end(), [&](const QString& ext) {
                struct stat companion {};
                return lstat(Native(WithExtension(path, ext)).constData(), &companion) != 0 && errno == ENOENT;
            });
            if (companionsFree)
                return {path, false};
            continue;
        }
        const auto written = written_.constFind(path);
        const bool ours = written == written_.constEnd() || *written == source;
        if (ours && sourceInfo && S_ISREG(info.st_mode) && IsCopy(sourcePath, *sourceInfo, native, info))
            return {path, true};
    }
    return {slot(kMaxSuffix + 1), false};
}

void ExportTargets::Wrote(const QString& path, const QString& source)
{
    written_.insert(path, source);
}
