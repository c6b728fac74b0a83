// The export of a generated card (5,000 photos, 200 videos with flight logs, three 200 MB
// videos) beside `cp -r` of the same files to the same disk, both including `sync`; then a
// re-export of the same card (nothing to copy) beside `rsync -a` over the already copied tree.
// Seven rounds each, alternating which side goes first, each side starting alike; medians.
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
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

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

// Brings both sides to the same start: the disk has written what it was given, and the memory
// the next side will fill has been touched lately (on a virtual machine, memory left unused for
// a while goes back to the host and costs several times as much to fill again).
void Settle()
{
    Run(QStringLiteral("sync"), {});
    constexpr size_t kWarmBytes = size_t(3) << 30;
    std::unique_ptr<char[]> warm(new char[kWarmBytes]);
    std::memset(warm.get(), 1, kWarmBytes);
    volatile char sink = warm[kWarmBytes / 2];
    (void)sink;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QString List(const std::vector<double>& values)
{
    QStringList texts;
    for (double value : values)
        texts << QString::number(value, 'f', 3);
    return texts.join(QStringLiteral(" "));
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

    // Each round times the export and `cp -r` into fresh folders, each followed by `sync`, in
    // alternating order. Each side's tree is removed as soon as it is timed, and both sides
    // start settled alike.
    const QString stamp = QString::number(QDateTime::currentMSecsSinceEpoch());
    constexpr int kRounds = 7;
    std::vector<double> exportSeconds;
    std::vector<double> cpSeconds;
    const auto timeExport = [&](const QString& exported) {
        QDir().mkpath(exported);
        CatalogueExportHost host(catalogue, CardSettings(exported));
        return Seconds([&] {
            RunExport(host, {});
            Run(QStringLiteral("sync"), {});
        });
    };
    const auto timeCopy = [&](const QString& copied) {
        return Seconds([&] {
            Run(QStringLiteral("cp"), {QStringLiteral("-r"), card, copied});
            Run(QStringLiteral("sync"), {});
        });
    };
    Settle();
    for (int round = 0; round < kRounds; ++round) {
        const QString exported = work + QStringLiteral("/out-%1-%2").arg(stamp).arg(round);
        const QString copied = work + QStringLiteral("/cp-%1-%2").arg(stamp).arg(round);
        for (int side = 0; side < 2; ++side) {
            if ((side + round) % 2 == 0) {
                exportSeconds.push_back(timeExport(exported));
                QDir(exported).removeRecursively();
            } else {
                cpSeconds.push_back(timeCopy(copied));
                QDir(copied).removeRecursively();
            }
            Settle();
        }
    }
    const double exportMedian = Median(exportSeconds);
    const double cpMedian = Median(cpSeconds);
    std::printf("export:   %8.1f MB/s (median %.2f s of %d: %s)\n", megabytes / exportMedian, exportMedian, kRounds,
                qPrintable(List(exportSeconds)));
    std::printf("cp -r:    %8.1f MB/s (median %.2f s of %d: %s)\n", megabytes / cpMedian, cpMedian, kRounds,
                qPrintable(List(cpSeconds)));
    std::vector<double> ratios;
    for (size_t round = 0; round < exportSeconds.size(); ++round)
        ratios.push_back(cpSeconds[round] / exportSeconds[round]);
    std::printf("export / cp: %.2f of the medians, %.2f the median of the rounds' ratios (%s) (target >= 1.0)\n",
                cpMedian / exportMedian, Median(ratios), qPrintable(List(ratios)));

    // The re-export over an export beside `rsync -a` over a copy kept with its times, alternating.
    const QString lastExport = work + QStringLiteral("/out-%1").arg(stamp);
    const QString lastCopy = work + QStringLiteral("/cp-%1").arg(stamp);
    timeExport(lastExport);
    Run(QStringLiteral("rsync"), {QStringLiteral("-a"), card + QStringLiteral("/"), lastCopy + QStringLiteral("/")});
    CatalogueExportHost host(catalogue, CardSettings(lastExport));
    std::vector<double> reexportSeconds;
    std::vector<double> rsyncSeconds;
    for (int round = 0; round < kRounds; ++round) {
        const auto reexport = [&] { reexportSeconds.push_back(Seconds([&] { RunExport(host, {}); })); };
        const auto rsync = [&] {
            rsyncSeconds.push_back(Seconds([&] {
                Run(QStringLiteral("rsync"), {QStringLiteral("-a"), card + QStringLiteral("/"), lastCopy + QStringLiteral("/")});
            }));
        };
        if (round % 2 == 0) {
            reexport();
            rsync();
        } else {
            rsync();
            reexport();
        }
    }
    const double files = double(everything.size());
    const double reexportMedian = Median(reexportSeconds);
    const double rsyncMedian = Median(rsyncSeconds);
    std::printf("re-export (nothing to copy): %8.0f files/s (median %.3f s: %s)\n", files / reexportMedian, reexportMedian,
                qPrintable(List(reexportSeconds)));
    std::printf("rsync -a (nothing to copy):  %8.0f files/s (median %.3f s: %s)\n", files / rsyncMedian, rsyncMedian,
                qPrintable(List(rsyncSeconds)));
    std::printf("re-export / rsync: %.2f (target >= 1.0)\n", rsyncMedian / reexportMedian);

    QDir(lastExport).removeRecursively();
    QDir(lastCopy).removeRecursively();
    return 0;
}
