// The export of a generated card (5,000 photos, 200 videos with flight logs, three 200 MB
// videos) beside `cp -r` of the same files to the same disk, both including `sync`; then a
// re-export of the same card (nothing to copy) beside `rsync -a` over the already copied tree.
//
//   bench_export [work folder]     (default /tmp/orvek-bench/export; the card is kept)

#include "BenchSupport.h"
#include "catalogue/Catalogue.h"
#include "catalogue/ExportTask.h"
#include "catalogue/FolderScan.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cstdio>

namespace {

constexpr int kPhotos = 5000;
constexpr int kVideos = 200;
constexpr int kBigVideos = 3;

void WriteCard(const QString& card)
{
    WritePhotoTree(card + QStringLiteral("/DCIM"), kPhotos, 0, 320, 240);
    const QByteArray video(1000 * 1000, 'v');
    const QByteArray log = QByteArray("1\r\n00:00:00,000 --> 00:00:01,000\r\nHOME(104.06,30.50)\r\nGPS(104.0600,30.5000,18)\r\n").repeated(40);
    for (int i = 0; i < kVideos + kBigVideos; ++i) {
        const QString stem = card + QStringLiteral("/VIDEO/DJI_%1").arg(i, 4, 10, QChar(u'0'));
        QDir().mkpath(card + QStringLiteral("/VIDEO"));
        QFile movie(stem + QStringLiteral(".MOV"));
        if (!movie.open(QIODevice::WriteOnly))
            continue;
        if (i < kVideos) {
            movie.write(video);
        } else {
            const QByteArray block(8 * 1024 * 1024, char('a' + i));
            for (int b = 0; b < 25; ++b) // 200 MiB of data that is really there
                movie.write(block);
        }
        movie.close();
        movie.setFileTime(QDateTime(QDate(2017, 5, 3), QTime(10, 0)).addSecs(i * 60), QFileDevice::FileModificationTime);
        QFile srt(stem + QStringLiteral(".SRT"));
        if (srt.open(QIODevice::WriteOnly))
            srt.write(log);
    }
}

ExportSettings CardSettings(const QString& out)
{
    return {ExportSettings::NewFiles, out, QStringLiteral("日期/城市+区县/街道"), QStringLiteral("遂宁市/船山区/灵泉街道")};
}

double Seconds(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

void Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(-1);
}

qint64 TreeBytes(const QStringList& files)
{
    qint64 bytes = 0;
    for (const QString& file : files)
        bytes += QFileInfo(file).size();
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/orvek-bench/export");
    const QString card = work + QStringLiteral("/card");
    QStringList media;
    WalkFolder(card, kScanExtensions, media);
    if (media.size() != kPhotos + kVideos + kBigVideos) {
        std::printf("generating the card in %s ...\n", qPrintable(card));
        QDir(card).removeRecursively();
        WriteCard(card);
        media.clear();
        WalkFolder(card, kScanExtensions, media);
    }
    QStringList everything = media;
    for (const QString& file : media)
        if (file.endsWith(QLatin1String(".MOV")))
            everything << SrtCompanion(file);
    const double megabytes = double(TreeBytes(everything)) / 1e6;
    std::printf("%lld files, %.0f MB\n", qlonglong(everything.size()), megabytes);

    Catalogue catalogue;
    BuildOptions options;
    options.rootText = card;
    BuildEntries(catalogue, media, options);
    for (int row = 0; row < catalogue.rows().rowCount(); ++row)
        catalogue.rows().setCell(row, kColLocation, QStringLiteral("成都市 武侯区 玉林街道"));
    FilesPerSecond(everything, ReadFloor, 1); // warm the cache

    // Fresh target folders named by the time, so no run deletes and recreates the same files;
    // two rounds in opposite order, so neither side always runs on a disk the other just filled.
    const QString stamp = QString::number(QDateTime::currentMSecsSinceEpoch());
    QStringList targets;
    double exportSeconds = 0;
    double cpSeconds = 0;
    QString copied;
    for (int round = 0; round < 2; ++round) {
        const QString exported = work + QStringLiteral("/out-%1-%2").arg(stamp).arg(round);
        copied = work + QStringLiteral("/cp-%1-%2").arg(stamp).arg(round);
        targets << exported << copied;
        QDir().mkpath(exported);
        Run(QStringLiteral("sync"), {});
        CatalogueExportHost host(catalogue, CardSettings(exported));
        const auto exportOnce = [&] {
            exportSeconds += Seconds([&] {
                RunExport(host, {});
                Run(QStringLiteral("sync"), {});
            });
        };
        const auto copyOnce = [&] {
            cpSeconds += Seconds([&] {
                Run(QStringLiteral("cp"), {QStringLiteral("-r"), card, copied});
                Run(QStringLiteral("sync"), {});
            });
        };
        if (round == 0) {
            exportOnce();
            copyOnce();
        } else {
            copyOnce();
            exportOnce();
        }
    }
    exportSeconds /= 2;
    cpSeconds /= 2;
    std::printf("export:   %8.1f MB/s (%.2f s, mean of 2)\n", megabytes / exportSeconds, exportSeconds);
    std::printf("cp -r:    %8.1f MB/s (%.2f s, mean of 2)\n", megabytes / cpSeconds, cpSeconds);
    std::printf("export / cp: %.2f (target >= 0.9)\n", cpSeconds / exportSeconds);

    CatalogueExportHost host(catalogue, CardSettings(targets[targets.size() - 2]));
    const int rounds = 3;
    const double reexportSeconds = MedianSeconds([&] { RunExport(host, {}); }, rounds);
    const double rsyncSeconds = MedianSeconds(
        [&] { Run(QStringLiteral("rsync"), {QStringLiteral("-a"), card + QStringLiteral("/"), copied + QStringLiteral("/")}); },
        rounds);
    const double files = double(everything.size());
    std::printf("re-export (nothing to copy): %8.0f files/s\n", files / reexportSeconds);
    std::printf("rsync -a (nothing to copy):  %8.0f files/s\n", files / rsyncSeconds);
    std::printf("re-export / rsync: %.2f (target >= 0.5)\n", rsyncSeconds / reexportSeconds);

    for (const QString& target : targets)
        QDir(target).removeRecursively();
    return 0;
}
