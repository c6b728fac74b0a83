// The folder scan over a generated card of 20,000 photos and 1,000 videos with flight logs,
// warm cache, beside the floor of opening each media file and reading its first 64 KiB. Then
// the cost per file when the list already holds 0 and 50,000 rows: it must stay flat.
//
//   bench_folder_scan [tree folder]     (default /tmp/orvek-bench/scan-tree, kept between runs)

#include "BenchSupport.h"
#include "catalogue/Catalogue.h"
#include "catalogue/FolderScan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

namespace {

constexpr int kPhotos = 20000;
constexpr int kVideos = 1000;
constexpr int kPrefilledRows = 50000;

QByteArray FlightLog(int index)
{
    QByteArray log;
    for (int second = 0; second < 60; ++second)
        log += QStringLiteral("%1\r\n00:00:%2,000 --> 00:00:%3,000\r\nHOME(104.0600,30.5000) 2017.05.03 14:22:%2\r\n"
                              "GPS(%4,%5,18) BAROMETER:%6\r\nISO:100 Shutter:60 EV: Fnum:2.2\r\n\r\n")
                   .arg(second + 1).arg(second, 2, 10, QChar(u'0')).arg(second + 1, 2, 10, QChar(u'0'))
                   .arg(104.06 + index * 1e-4, 0, 'f', 4).arg(30.5 + second * 1e-5, 0, 'f', 4).arg(second * 0.1, 0, 'f', 1)
                   .toLatin1();
    return log;
}

void WriteCard(const QString& root)
{
    WritePhotoTree(root + QStringLiteral("/DCIM"), kPhotos, 0, 320, 240);
    const QByteArray video(256 * 1024, 'v');
    for (int i = 0; i < kVideos; ++i) {
        const QString folder = root + QStringLiteral("/VIDEO/%1").arg(100 + i / 100);
        QDir().mkpath(folder);
        const QString stem = folder + QStringLiteral("/DJI_%1").arg(i, 4, 10, QChar(u'0'));
        QFile movie(stem + QStringLiteral(".MOV"));
        if (movie.open(QIODevice::WriteOnly))
            movie.write(video);
        QFile log(stem + QStringLiteral(".SRT"));
        if (log.open(QIODevice::WriteOnly))
            log.write(FlightLog(i));
    }
}

// Makes a catalogue list rows entries, none of them from the card.
void Prefill(Catalogue& catalogue, int rows)
{
    for (int i = 0; i < rows; ++i) {
        NewEntry entry;
        entry.path = QStringLiteral("/elsewhere/%1/IMG_%2.JPG").arg(i / 1000).arg(i);
        entry.shotTime = WallClock(QDate(2016, 1, 1), QTime(0, 0));
        catalogue.AddEntry(entry, QString());
    }
    catalogue.Flush();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/orvek-bench/scan-tree");

    QStringList files;
    WalkFolder(root, kScanExtensions, files);
    if (files.size() != kPhotos + kVideos) {
        std::printf("generating %d photos and %d videos in %s ...\n", kPhotos, kVideos, qPrintable(root));
        QDir(root).removeRecursively();
        WriteCard(root);
        files.clear();
        WalkFolder(root, kScanExtensions, files);
    }
    std::printf("%lld media files\n", qlonglong(files.size()));

    FilesPerSecond(files, ReadFloor, 1); // warm the cache
    const int runs = 3;
    const double floor = FilesPerSecond(files, ReadFloor, runs);

    const auto scanInto = [&](int prefilled) {
        return MedianSeconds([&] {
            Catalogue catalogue;
            Prefill(catalogue, prefilled);
            QStringList paths;
            WalkFolder(root, kScanExtensions, paths);
            BuildOptions options;
            options.applyMode = true;
            options.rootText = root;
            const BuildReport report = BuildEntries(catalogue, paths, options);
            if (report.made != kPhotos + kVideos)
                std::printf("unexpected: %d entries made\n", report.made);
        }, runs);
    };
    // The prefilled rows are made outside the timed part's meaning: time them alone and subtract.
    const double prefillSeconds = MedianSeconds([] {
        Catalogue catalogue;
        Prefill(catalogue, kPrefilledRows);
    }, runs);
    const double emptySeconds = scanInto(0);
    const double fullSeconds = scanInto(kPrefilledRows) - prefillSeconds;

    const double scanRate = files.size() / emptySeconds;
    std::printf("%-44s %12s\n", "", "files/s");
    std::printf("%-44s %12.0f\n", "floor: open + read 64 KiB of each media file", floor);
    std::printf("%-44s %12.0f\n", "scan (walk + entries), empty list", scanRate);
    std::printf("floor / scan: %.2f\n", floor / scanRate);
    std::printf("per file, list holding 0 rows:      %7.2f us\n", emptySeconds / files.size() * 1e6);
    std::printf("per file, list holding %d rows: %7.2f us\n", kPrefilledRows, fullSeconds / files.size() * 1e6);
    std::printf("ratio (50,000 rows / 0 rows): %.2f\n", fullSeconds / emptySeconds);
    return 0;
}
