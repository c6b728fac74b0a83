// Plays one clip to its end in the video window itself, the way a user sees it: the window's
// memory input, its picture filter, and the telemetry line from the flight log beside the clip
// (unless --no-line). Prints CPU seconds, the pictures the engine showed and dropped, the
// pictures that reached the screen, the sound/picture drift, and how late the UI thread
// answered clicks on another window meanwhile. Driven by playback-vs-ffplay.sh.
//
//   playback_bench_window CLIP [--no-line]

#include "playback/VideoScreen.h"
#include "preview/VideoPreviewWindow.h"
#include "WindowParts.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Clicks a button of another window four times a second through the event queue, as the
// window system would, and records how long each click waited for the UI thread.
class ClickProbe : public QObject {
public:
    ClickProbe()
    {
        button.setText(QStringLiteral("probe"));
        button.resize(80, 30);
        button.move(0, 0);
        button.show();
        QObject::connect(&button, &QPushButton::clicked, [this] { delays.push_back(double(sent.nsecsElapsed()) / 1e6); });
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const QPointF at(10, 10);
            sent.start();
            QCoreApplication::postEvent(&button, new QMouseEvent(QEvent::MouseButtonPress, at, button.mapToGlobal(at),
                                                                 Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(&button, new QMouseEvent(QEvent::MouseButtonRelease, at, button.mapToGlobal(at),
                                                                 Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        });
        timer.start(250);
    }
    double Worst() const { return delays.empty() ? 0 : *std::max_element(delays.begin(), delays.end()); }

private:
    QPushButton button;
    QTimer timer;
    QElapsedTimer sent;
    std::vector<double> delays;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CLIP [--no-line]\n", argv[0]);
        return 2;
    }
    const QString clip = QString::fromLocal8Bit(argv[1]);
    const bool line = !(argc > 2 && std::strcmp(argv[2], "--no-line") == 0);

    TForm4 window;
    window.catalogue.sourcePathOf = [clip](int) { return clip; };
    window.placeLookup = [](const QString&, const QString&, const QString&) { return QStringLiteral("遂宁市 船山区 灵泉街道"); };
    if (!line) {
        Child<QCheckBox>(window, "Zimuck").setChecked(false);
        window.ZimuckClick();
    }
    window.show();
    ClickProbe probe;

    double lastDrift = NAN;
    double worstDrift = 0;
    double worstDriftAt = 0; // play position of the worst drift, seconds
    // The first half second apart: the sound clock's first readings come before the sound device
    // has played a buffer and count its whole latency.
    double worstSteadyDrift = 0;
    int64_t shown = 0, dropped = 0;
    const auto windowPosition = window.FFPlayer.OnPosition;
    window.FFPlayer.OnPosition = [&](TCustomPlayer* player, int64_t pts) {
        windowPosition(player, pts);
        const double drift = player->AudioVideoDrift();
        if (!std::isnan(drift)) {
            lastDrift = drift;
            if (std::fabs(drift) > worstDrift) {
                worstDrift = std::fabs(drift);
                worstDriftAt = pts / 1e6;
            }
            if (pts >= 500000)
                worstSteadyDrift = std::max(worstSteadyDrift, std::fabs(drift));
        }
    };
    const auto windowState = window.FFPlayer.OnState;
    window.FFPlayer.OnState = [&](TCustomPlayer* player, TPlayState state) {
        windowState(player, state);
        if (state == TPlayState::psEnd) {
            shown = player->FramesShown();
            dropped = player->FramesDropped();
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
        }
    };
    window.FFPlayer.OnOpenFailed = [&](TCustomPlayer* player) {
        std::fprintf(stderr, "%s\n", qPrintable(player->LastErrMsg()));
        app.exit(1);
    };

    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    window.InitFile(0);
    const int code = app.exec();
    const double cpu = CpuSeconds() - cpuBefore;
    window.FFPlayer.Stop(true);
    if (code != 0)
        return code;
    const VideoScreen& screen = Child<VideoScreen>(window, "Panel1");
    std::printf("line=%s panel=%dx%d cpu_s=%.2f wall_s=%.2f shown=%lld dropped=%lld painted=%lld drift_end_ms=%.1f "
                "drift_worst_ms=%.1f drift_worst_at_s=%.1f drift_steady_worst_ms=%.1f click_worst_ms=%.1f entries=%d\n",
                line ? "on" : "off", screen.width(), screen.height(), cpu, wall.elapsed() / 1000.0, static_cast<long long>(shown),
                static_cast<long long>(dropped), static_cast<long long>(screen.PicturesPainted()),
                lastDrift * 1000, worstDrift * 1000, worstDriftAt, worstSteadyDrift * 1000, probe.Worst(),
                window.SrtEntries.Count());
    return 0;
}
