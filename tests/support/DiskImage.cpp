#include "DiskImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace {

// The tools live in sbin, which a test runner's PATH may leave out.
QString FindTool(const QString& name)
{
    const QString found = QStandardPaths::findExecutable(name);
    if (!found.isEmpty())
        return found;
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                 QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
}

struct ToolRun {
    bool ok = false;
    QString output; // standard output and error together
};

// Runs a tool to its end. Its output goes to a file rather than a pipe: a FUSE driver leaves a
// daemon behind that could hold a pipe open.
ToolRun Run(const QString& tool, const QStringList& arguments, const QString& logFile)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(logFile, QIODevice::Truncate);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(tool, arguments);
    ToolRun run;
    run.ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    QFile log(logFile);
    if (log.open(QIODevice::ReadOnly))
        run.output = QString::fromLocal8Bit(log.readAll()).trimmed();
    if (!run.ok && run.output.isEmpty())
        run.output = process.errorString();
    return run;
}

// Whether a file system is mounted exactly at path (the fifth field of /proc/self/mountinfo;
// the temporary folders it is used with hold no blanks, which that file writes escaped).
bool IsMountPoint(const QString& path)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray wanted = QFile::encodeName(path);
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && fields[4] == wanted)
            return true;
    }
    return false;
}

} // namespace

const char* DiskImage::Name(Kind kind)
{
    switch (kind) {
    case Kind::Exfat: return "exFAT";
    case Kind::Ntfs: return "NTFS";
    }
    return "";
}

DiskImage::DiskImage(Kind kind, qint64 bytes)
{
    mounted_ = Make(kind, bytes);
}

bool DiskImage::Make(Kind kind, qint64 bytes)
{
    const QString needs = QStringLiteral("需要 root、/dev/fuse 和 losetup 才能挂载 %1 磁盘映像").arg(QString::fromLatin1(Name(kind)));
    if (geteuid() != 0) {
        why_ = needs + QStringLiteral("：不是 root");
        return false;
    }
    if (access("/dev/fuse", R_OK | W_OK) != 0) {
        why_ = needs + QStringLiteral("：没有 /dev/fuse");
        return false;
    }
    const QString losetup = FindTool(QStringLiteral("losetup"));
    if (losetup.isEmpty()) {
        why_ = needs + QStringLiteral("：没有 losetup");
        return false;
    }
    const QString format = FindTool(kind == Kind::Exfat ? QStringLiteral("mkfs.exfat") : QStringLiteral("mkntfs"));
    const QString mount = FindTool(kind == Kind::Exfat ? QStringLiteral("mount.exfat-fuse") : QStringLiteral("ntfs-3g"));
    if (format.isEmpty() || mount.isEmpty()) {
        why_ = QStringLiteral("没有 %1 的工具（%2）：scripts/install-deps.sh 会装上它们")
                   .arg(QString::fromLatin1(Name(kind)),
                        kind == Kind::Exfat ? QStringLiteral("mkfs.exfat、mount.exfat-fuse") : QStringLiteral("mkntfs、ntfs-3g"));
        return false;
    }
    if (!folder_.isValid()) {
        why_ = QStringLiteral("无法创建临时文件夹：%1").arg(folder_.errorString());
        return false;
    }

    const QString image = folder_.filePath(QStringLiteral("disk.img"));
    const QString log = folder_.filePath(QStringLiteral("tool.log"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(bytes)) {
        why_ = QStringLiteral("无法创建磁盘映像 %1：%2").arg(image, file.errorString());
        return false;
    }
    file.close();
    const auto failed = [&](const QString& step, const ToolRun& run) {
        why_ = QStringLiteral("%1失败：%2").arg(step, run.output);
        return false;
    };

    // -F: mkntfs formats a plain file only when told to; -Q: without zeroing the whole image.
    const ToolRun formatted = Run(format, kind == Kind::Exfat ? QStringList{image} : QStringList{"-F", "-Q", image}, log);
    if (!formatted.ok)
        return failed(QStringLiteral("格式化"), formatted);

    const ToolRun attached = Run(losetup, {"-f", "--show", image}, log);
    if (!attached.ok || !attached.output.startsWith(QStringLiteral("/dev/")))
        return failed(QStringLiteral("losetup"), attached);
    loopDevice_ = attached.output.section(u'\n', 0, 0).trimmed();

    mountPoint_ = folder_.filePath(QStringLiteral("disk"));
    if (!QDir().mkpath(mountPoint_)) {
        why_ = QStringLiteral("无法创建挂载点 %1").arg(mountPoint_);
        return false;
    }
    const ToolRun mounted = Run(mount, {loopDevice_, mountPoint_}, log);
    if (!mounted.ok)
        return failed(QStringLiteral("挂载"), mounted);
    if (!IsMountPoint(mountPoint_)) {
        why_ = QStringLiteral("挂载后 %1 不是挂载点：%2").arg(mountPoint_, mounted.output);
        return false;
    }
    return true;
}

QString DiskImage::root() const
{
    return mountPoint_ + u'/';
}

DiskImage::~DiskImage()
{
    const QString log = folder_.filePath(QStringLiteral("tool.log"));
    if (!mountPoint_.isEmpty() && IsMountPoint(mountPoint_)) {
        // A program that just ended may still hold a file open for a moment: try again.
        const QString fusermount = FindTool(QStringLiteral("fusermount"));
        const QString umount = FindTool(QStringLiteral("umount"));
        for (int attempt = 0; attempt < 50 && IsMountPoint(mountPoint_); ++attempt) {
            if (attempt > 0)
                QThread::msleep(100);
            if (!fusermount.isEmpty() && Run(fusermount, {"-u", mountPoint_}, log).ok)
                break;
            if (!umount.isEmpty() && Run(umount, {mountPoint_}, log).ok)
                break;
        }
        if (IsMountPoint(mountPoint_) && !umount.isEmpty())
            Run(umount, {"-l", mountPoint_}, log); // detached now, gone once nothing uses it
        if (IsMountPoint(mountPoint_))
            folder_.setAutoRemove(false); // never delete through a disk still mounted there
    }
    // Detaching a loop device that the driver still closes marks it to go when it is closed.
    if (!loopDevice_.isEmpty()) {
        const QString losetup = FindTool(QStringLiteral("losetup"));
        // While attached, the device names its image in sysfs.
        const QString backing = QStringLiteral("/sys/block/%1/loop/backing_file").arg(QFileInfo(loopDevice_).fileName());
        for (int attempt = 0; attempt < 20 && QFileInfo::exists(backing); ++attempt) {
            if (Run(losetup, {"-d", loopDevice_}, log).ok)
                break;
            QThread::msleep(100);
        }
    }
}
