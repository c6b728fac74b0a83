// Plays one clip to its end in a window of the given size and prints what it cost: CPU seconds,
// pictures shown and dropped, and how far sound and picture drifted apart. Driven by
// playback-vs-ffplay.sh, which runs ffplay on the same clip beside it.
#include "playback/Player.h"
#include "playback/VideoScreen.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>

namespace {
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s CLIP WIDTH HEIGHT [BACK-COLOUR]\n", argv[0]);
        return 2;
    }
    VideoScreen screen;
    screen.resize(QString(argv[2]).toInt(), QString(argv[3]).toInt());
    screen.setWindowTitle("playback bench");
    screen.show();

    TFFPlayer player;
    if (!player.LoadAVLib(QDir(QCoreApplication::applicationDirPath()).filePath("LibAV"))) {
        std::fprintf(stderr, "%s\n", qPrintable(player.LastErrMsg()));
        return 1;
    }
    if (argc > 4)
        player.SetBackColor(QColor(QString::fromLatin1(argv[4])));
    double lastDrift = NAN;
    double worstDrift = 0;
    int64_t shown = 0, dropped = 0;
    player.OnPosition = [&](TCustomPlayer* p, int64_t) {
        const double drift = p->AudioVideoDrift();
        if (!std::isnan(drift)) {
            lastDrift = drift;
            worstDrift = std::max(worstDrift, std::fabs(drift));
        }
    };
    player.OnState = [&](TCustomPlayer* p, TPlayState state) {
        if (state == TPlayState::psEnd) {
            shown = p->FramesShown();
            dropped = p->FramesDropped();
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
        }
    };
    player.OnOpenFailed = [&](TCustomPlayer* p) {
        std::fprintf(stderr, "%s\n", qPrintable(p->LastErrMsg()));
        app.exit(1);
    };
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    player.TryOpen(QString::fromLocal8Bit(argv[1]), &screen);
    const int code = app.exec();
    const double cpu = CpuSeconds() - cpuBefore;
    player.Stop(true);
    if (code != 0)
        return code;
    std::printf("cpu_s=%.2f wall_s=%.2f shown=%lld dropped=%lld drift_end_ms=%.1f drift_worst_ms=%.1f\n", cpu,
                wall.elapsed() / 1000.0, static_cast<long long>(shown), static_cast<long long>(dropped),
                lastDrift * 1000, worstDrift * 1000);
    return 0;
}
