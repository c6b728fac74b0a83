#include "export/ExportVerify.h"
#include "export/FileHash.h"
#include "export/HashList.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Blocks this large keep a disk streaming; the buffer is filled by the kernel and hashed where
// it lies, so no byte is copied twice.
constexpr size_t kReadBlockBytes = size_t(4) << 20;

struct FileRead {
    std::optional<uint64_t> hash;
    QString error; // why the file could not be read, in Chinese
    bool cancelled = false;
};

FileRead HashFile(const QString& path, char* buffer, std::stop_token stop, const std::function<void(qint64)>& onBlock)
{
    FileRead result;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.error = QStringLiteral("无法读取：%1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    // The file is read once from start to end: the kernel may read far ahead and drop behind.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Xxh64 hash;
    for (;;) {
        if (stop.stop_requested()) {
            result.cancelled = true;
            break;
        }
        const ssize_t got = ::read(fd, buffer, kReadBlockBytes);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.error = QStringLiteral("无法读取：%1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            break;
        }
        if (got == 0) {
            result.hash = hash.Value();
            break;
        }
        hash.Add(buffer, size_t(got));
        onBlock(got);
    }
    ::close(fd);
    return result;
}

// The files under root that are no part of the record's business: the hash list's own folder,
// and hidden names (a copy under way or left over by an interrupted one).
bool Ignored(const QString& relativePath)
{
    const QStringList parts = relativePath.split(QLatin1Char('/'));
    if (parts.front() == QLatin1String(kHashListFolder))
        return true;
    return std::any_of(parts.cbegin(), parts.cend(), [](const QString& part) { return part.startsWith(QLatin1Char('.')); });
}

} // namespace

const char* VerifyResultText(VerifyLine::Result result)
{
    switch (result) {
    case VerifyLine::Result::Correct:
        return "正确";
    case VerifyLine::Result::Mismatch:
        return "不一致";
    case VerifyLine::Result::Missing:
        return "缺失";
    case VerifyLine::Result::Unrecorded:
        return "未记录";
    }
    return "";
}

bool VerifyReport::AllRight() const
{
    return !cancelled && error.isEmpty()
           && std::all_of(lines.cbegin(), lines.cend(),
                          [](const VerifyLine& line) { return line.result == VerifyLine::Result::Correct; });
}

VerifyReport VerifyExport(const QString& root, std::stop_token stop, const std::function<void(qint64, qint64)>& progress,
                          const std::function<void(const VerifyLine&)>& onLine)
{
    VerifyReport report;
    const QDateTime start = QDateTime::currentDateTimeUtc();
    if (!QFileInfo(root).isDir()) {
        report.error = QStringLiteral("(%1)不是文件夹").arg(root);
        return report;
    }
    const QDir rootDir(root);
    QString problem;
    const HashHistory history = HashHistory::Load(root, &problem);
    if (!problem.isEmpty()) {
        report.error = problem;
        return report;
    }
    if (history.generations() == 0) {
        report.error = QStringLiteral("%1 中没有校验记录（%2 文件夹）").arg(root, QLatin1String(kHashListFolder));
        return report;
    }
    const auto found = [&](VerifyLine::Result result, const QString& path, const QString& detail = {}) {
        VerifyLine line{result, path, detail};
        if (onLine)
            onLine(line);
        report.lines.append(std::move(line));
    };

    const QList<HashedFile> recorded = history.files();
    qint64 total = 0;
    for (const HashedFile& entry : recorded) {
        const QFileInfo info(rootDir.filePath(entry.path));
        total += info.isFile() ? info.size() : 0;
    }
    qint64 done = 0;
    if (progress)
        progress(done, total);

    const std::unique_ptr<char, decltype(&std::free)> buffer(static_cast<char*>(std::aligned_alloc(4096, kReadBlockBytes)),
                                                             &std::free);
    QList<HashedFile> checked;
    for (const HashedFile& entry : recorded) {
        if (stop.stop_requested()) {
            report.cancelled = true;
            return report;
        }
        const QFileInfo info(rootDir.filePath(entry.path));
        if (!info.isFile()) {
            found(VerifyLine::Result::Missing, entry.path);
            continue;
        }
        const QDateTime hashedAt = QDateTime::currentDateTimeUtc();
        const FileRead read = HashFile(info.filePath(), buffer.get(), stop, [&](qint64 bytes) {
            done += bytes;
            if (progress)
                progress(done, std::max(total, done));
        });
        if (read.cancelled) {
            report.cancelled = true;
            return report;
        }
        if (!read.hash) {
            found(VerifyLine::Result::Mismatch, entry.path, read.error);
            continue;
        }
        // After a failed check the record's latest hash is the wrong one then read; the file is
        // judged by the hash recorded before that.
        const QString present = Xxh64Hex(*read.hash);
        const std::optional<HashedFile> expected = history.Expected(entry.path);
        const bool same = expected && expected->xxh64 == present;
        HashedFile now = entry;
        now.size = info.size();
        now.modified = info.lastModified();
        now.xxh64 = present;
        now.hashDate = hashedAt;
        now.action = same ? HashedFile::Action::Verified : HashedFile::Action::Failed;
        checked.append(now);
        if (same)
            found(VerifyLine::Result::Correct, entry.path);
        else
            found(VerifyLine::Result::Mismatch, entry.path,
                  expected ? QStringLiteral("记录为 %1，现为 %2").arg(expected->xxh64, present)
                           : QStringLiteral("没有正确的记录，现为 %1").arg(present));
    }

    QStringList unrecorded;
    for (QDirIterator it(root, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = rootDir.relativeFilePath(it.next());
        if (!Ignored(path) && !history.Find(path))
            unrecorded << path;
    }
    std::sort(unrecorded.begin(), unrecorded.end());
    for (const QString& path : std::as_const(unrecorded))
        found(VerifyLine::Result::Unrecorded, path);

    if (!checked.isEmpty()) {
        GenerationInfo info;
        info.process = QStringLiteral("in-place");
        info.start = start;
        if (const std::optional<QString> written = WriteGeneration(root, info, checked, &problem))
            report.generation = *written;
        else
            report.error = problem;
    }
    return report;
}

int RunVerifyCommand(const QString& root, QTextStream& out, QTextStream& err)
{
    if (!QFileInfo(root).isDir()) {
        err << QStringLiteral("(%1)不是文件夹").arg(root) << Qt::endl;
        return 2;
    }
    const VerifyReport report = VerifyExport(root, {}, {}, [&](const VerifyLine& line) {
        out << QString::fromUtf8(VerifyResultText(line.result)) << '\t' << line.path;
        if (!line.detail.isEmpty())
            out << '\t' << line.detail;
        out << Qt::endl;
    });
    if (!report.error.isEmpty() && report.lines.isEmpty()) {
        err << report.error << Qt::endl;
        return 2;
    }
    int counts[4] = {};
    for (const VerifyLine& line : report.lines)
        ++counts[int(line.result)];
    err << QStringLiteral("共 %1 个文件：正确 %2 个，不一致 %3 个，缺失 %4 个，未记录 %5 个")
               .arg(report.lines.size())
               .arg(counts[int(VerifyLine::Result::Correct)])
               .arg(counts[int(VerifyLine::Result::Mismatch)])
               .arg(counts[int(VerifyLine::Result::Missing)])
               .arg(counts[int(VerifyLine::Result::Unrecorded)])
        << Qt::endl;
    if (!report.generation.isEmpty())
        err << QStringLiteral("本次检查已记入 %1").arg(report.generation) << Qt::endl;
    if (!report.error.isEmpty())
        err << report.error << Qt::endl;
    return report.AllRight() ? 0 : 1;
}
