#include "export/ExportVerify.h"

#include "export/ExportCopy.h"
#include "export/FileHash.h"
#include "export/HashList.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Blocks this large keep a disk streaming; the buffer is filled by the kernel and hashed where
// it lies, so no byte is copied twice.
constexpr size_t kReadBlockBytes = size_t(4) << 20;

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

    // One look at each recorded file first: what is missing, and how much there is to read.
    // The files are then read in the order they lie on the disk (by inode), which on a cold
    // cache of many small files is what makes reading them as fast as a tool given them in
    // folder order; the lines still come out in path order.
    struct Present {
        const HashedFile* entry;
        struct stat info;
    };
    const QList<HashedFile> recorded = history.files();
    QList<Present> present;
    QHash<QString, VerifyLine> results;
    qint64 total = 0;
    for (const HashedFile& entry : recorded) {
        struct stat info {};
        if (stat(QFile::encodeName(rootDir.filePath(entry.path)).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
            results.insert(entry.path, {VerifyLine::Result::Missing, entry.path, {}});
            continue;
        }
        present.append({&entry, info});
        total += info.st_size;
    }
    std::sort(present.begin(), present.end(), [](const Present& a, const Present& b) {
        return std::pair(a.info.st_dev, a.info.st_ino) < std::pair(b.info.st_dev, b.info.st_ino);
    });
    qint64 done = 0;
    if (progress)
        progress(done, total);

    QList<HashedFile> checked;
    for (const Present& file : std::as_const(present)) {
        const HashedFile& entry = *file.entry;
        const QDateTime hashedAt = QDateTime::currentDateTimeUtc();
        uint64_t hash = 0;
        QString error;
        const bool read = HashFile(rootDir.filePath(entry.path), hash, error, stop, [&](qint64 bytes) {
            done += bytes;
            if (progress)
                progress(done, std::max(total, done));
        });
        if (stop.stop_requested()) {
            report.cancelled = true;
            return report;
        }
        if (!read) {
            results.insert(entry.path, {VerifyLine::Result::Mismatch, entry.path, error});
            continue;
        }
        // After a failed check the record's latest hash is the wrong one then read; the file is
        // judged by the hash recorded before that.
        const QString now = Xxh64Hex(hash);
        const std::optional<HashedFile> expected = history.Expected(entry.path);
        const bool same = expected && expected->xxh64 == now;
        HashedFile checkedEntry = entry;
        checkedEntry.size = file.info.st_size;
        checkedEntry.modified = QDateTime::fromSecsSinceEpoch(file.info.st_mtim.tv_sec, Qt::UTC);
        checkedEntry.xxh64 = now;
        checkedEntry.hashDate = hashedAt;
        checkedEntry.action = same ? HashedFile::Action::Verified : HashedFile::Action::Failed;
        checked.append(checkedEntry);
        results.insert(entry.path, same ? VerifyLine{VerifyLine::Result::Correct, entry.path, {}}
                                        : VerifyLine{VerifyLine::Result::Mismatch, entry.path,
                                                     expected ? QStringLiteral("记录为 %1，现为 %2").arg(expected->xxh64, now)
                                                              : QStringLiteral("没有正确的记录，现为 %1").arg(now)});
    }
    for (const HashedFile& entry : recorded) // path order
        found(results[entry.path].result, entry.path, results[entry.path].detail);

    QStringList unrecorded;
    for (QDirIterator it(root, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next().mid(rootDir.path().size() + 1);
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
