#include "MediaClips.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QStringList FfmpegArguments(ClipKind kind, const QString& target)
{
    const QString colour = QStringLiteral("color=c=0x%1:s=320x180:r=25:d=2").arg(kClipColour, 6, 16, QChar('0'));
    const QStringList h264{"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-g", "25"};
    QStringList args{"-hide_banner", "-loglevel", "error", "-y"};
    switch (kind) {
    case ClipKind::H264Aac:
    case ClipKind::Damaged:
        args << "-f" << "lavfi" << "-i" << colour << "-f" << "lavfi" << "-i" << "sine=frequency=440:duration=2"
             << h264 << "-c:a" << "aac" << "-shortest";
        break;
    case ClipKind::VideoOnly:
        args << "-f" << "lavfi" << "-i" << colour << h264;
        break;
    case ClipKind::AudioOnly:
        args << "-f" << "lavfi" << "-i" << "sine=frequency=440:duration=2" << "-c:a" << "aac";
        break;
    case ClipKind::Mov:
        args << "-f" << "lavfi" << "-i" << "testsrc2=s=320x240:r=25:d=2" << "-f" << "lavfi" << "-i"
             << "sine=frequency=660:duration=2" << h264 << "-c:a" << "aac" << "-shortest";
        break;
    case ClipKind::Wide:
        args << "-f" << "lavfi" << "-i" << "testsrc2=s=1920x1080:r=25:d=1" << h264;
        break;
    case ClipKind::Long:
        args << "-f" << "lavfi" << "-i" << "testsrc2=s=160x90:r=25:d=12" << h264;
        break;
    }
    return args << target;
}

QString FileNameOf(ClipKind kind)
{
    switch (kind) {
    case ClipKind::H264Aac: return "clip.mp4";
    case ClipKind::VideoOnly: return "video-only.mp4";
    case ClipKind::AudioOnly: return "audio-only.m4a";
    case ClipKind::Mov: return "clip.mov";
    case ClipKind::Damaged: return "damaged.mp4";
    case ClipKind::Wide: return "wide.mp4";
    case ClipKind::Long: return "long.mp4";
    }
    return "clip";
}

// Runs ffmpeg and waits for it. A plain fork and exec: a thread sanitizer follows a fork, but
// not the vfork-like start of a QProcess, whose child shares this process's memory until the
// exec and leaves the sanitizer's view of the parent's threads wrong from then on.
bool RunFfmpeg(const QStringList& arguments)
{
    std::vector<QByteArray> texts{QByteArray("ffmpeg")};
    for (const QString& argument : arguments)
        texts.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        execvp("ffmpeg", argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

QString MediaClip(ClipKind kind)
{
    static std::mutex lock;
    static QTemporaryDir folder;
    static QMap<int, QString> made;
    std::lock_guard guard(lock);
    if (made.contains(int(kind)))
        return made[int(kind)];
    const QString target = folder.filePath(FileNameOf(kind));
    if (!RunFfmpeg(FfmpegArguments(kind, target)))
        return {};
    if (kind == ClipKind::Damaged) {
        // Keep the first bytes (a plausible header start) and replace the rest with noise.
        QFile file(target);
        if (!file.open(QIODevice::ReadWrite))
            return {};
        QByteArray bytes = file.read(600);
        for (int i = 0; i < 20000; ++i)
            bytes.append(char((i * 7919 + 13) & 0xFF));
        file.resize(0);
        file.write(bytes);
    }
    made[int(kind)] = target;
    return target;
}
