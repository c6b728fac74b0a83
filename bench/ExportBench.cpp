// The export's speed beside its peers, in one run, on a generated card (5,000 photos, 200
// videos with flight logs, three 200 MB videos) kept in the work folder between runs:
//   1. the checked export (each copy read back from the disk and compared) beside `cp -r` and
//      `sync` followed by reading every copy back from the disk;
//   2. the export without the check beside `cp -r` and `sync`;
//   3. XXH64 over a buffer in memory, in GB/s;
//   4. checking an exported tree against its hash list beside `xxh64sum` over the same files,
//      both from a cold cache;
//   5. a re-export of the unchanged card (nothing to copy) beside `rsync -a` over a copy.
// Five rounds each, alternating which side goes first, each side starting alike; medians, and a
// table of them at the end.
//
//   bench_export [work folder] [measures]
//     work folder: default /tmp/orvek-bench/export; the card is kept there
//     measures: the numbers of the measures to run, such as 15 (default 12345)

#include "BenchSupport.h"
#include "catalogue/Catalogue.h"
#include "catalogue/ExportTask.h"
#include "catalogue/FolderScan.h"
#include "export/ExportCopy.h"
#include "export/ExportVerify.h"
#include "export/FileHash.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPhotos = 5000;
constexpr int kVideos = 200;
constexpr int kBigVideos = 3;
constexpr int kRounds = 5;

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

ExportSettings CardSettings(const QString& out, bool verify)
{
    ExportSettings settings{ExportSettings::NewFiles, out, QStringLiteral("日期/城市+区县/街道"),
                            QStringLiteral("遂宁市/船山区/灵泉街道")};
    settings.verify = verify;
    return settings;
}

double Seconds(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

void Run(const QString& program, const QStringList& arguments, bool quiet = false)
{
    QProcess process;
    if (quiet)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        std::printf("warning: %s ended with %d\n", qPrintable(program), process.exitCode());
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

// Every file below root, hidden ones too, in a stable order.
QStringList FilesUnder(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

// Drops the pages of each file from the cache (they must have been written out: a
// dirty page stays).
void DropFromCache(const QStringList& files)
{
    for (const QString& file : files) {
        const int fd = open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }
}

// Writes everything out and empties the whole page cache, so the next side reads from the disk
// (files, folders and hash list alike). Where the cache cannot be emptied (not root), the
// files below fallbackRoot are dropped one by one instead.
bool DropAllCaches(const QString& fallbackRoot)
{
    Run(QStringLiteral("sync"), {});
    QFile control(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (control.open(QIODevice::WriteOnly) && control.write("3\n") == 2 && control.flush()) {
        control.close();
        return true;
    }
    DropFromCache(FilesUnder(fallbackRoot));
    return false;
}

// Reads every file whole, in large sequential reads: the floor of reading them back. Returns
// the bytes read.
qint64 ReadWhole(const QStringList& files)
{
    constexpr size_t kBlock = 4 * 1024 * 1024;
    static std::unique_ptr<char[]> buffer(new char[kBlock]);
    qint64 total = 0;
    for (const QString& file : files) {
        const int fd = open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        ssize_t got;
        while ((got = read(fd, buffer.get(), kBlock)) > 0)
            total += got;
        close(fd);
    }
    return total;
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

// kRounds rounds of ours and the peer, alternating which goes first; before each side, prepare
// brings it to the common start (untimed).
void Alternate(const std::function<double(int round)>& ours, const std::function<double(int round)>& peer,
               const std::function<void()>& prepare, std::vector<double>& ourSeconds, std::vector<double>& peerSeconds)
{
    for (int round = 0; round < kRounds; ++round) {
        for (int side = 0; side < 2; ++side) {
            prepare();
            if ((side + round) % 2 == 0)
                ourSeconds.push_back(ours(round));
            else
                peerSeconds.push_back(peer(round));
        }
    }
}

struct Row {
    QString measure;
    double ours = 0;
    double peer = 0; // 0: no peer
    QString result;  // the ratio, or the rate
    QString target;
    bool met = false;
};

// One measure of ours against a peer: the medians, every round, and the ratio peer / ours.
Row Compare(const char* measure, const char* ourName, const char* peerName, const std::vector<double>& ourSeconds,
            const std::vector<double>& peerSeconds, double target)
{
    const double ours = Median(ourSeconds);
    const double peer = Median(peerSeconds);
    std::vector<double> ratios;
    for (size_t round = 0; round < ourSeconds.size() && round < peerSeconds.size(); ++round)
        ratios.push_back(peerSeconds[round] / ourSeconds[round]);
    std::printf("%s\n  %-32s median %7.3f s (%s)\n  %-32s median %7.3f s (%s)\n  ratio %.2f of the medians, %.2f the median "
                "of the rounds' ratios (%s) (target >= %.1f)\n\n",
                measure, ourName, ours, qPrintable(List(ourSeconds)), peerName, peer, qPrintable(List(peerSeconds)),
                peer / ours, Median(ratios), qPrintable(List(ratios)), target);
    std::fflush(stdout);
    return {QString::fromUtf8(measure), ours, peer, QString::number(peer / ours, 'f', 2),
            QStringLiteral(">= %1").arg(target, 0, 'f', 1), peer / ours >= target};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/orvek-bench/export");
    const QString card = work + QStringLiteral("/card");
    const QString chosen = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("12345");
    const auto runs = [&](char measure) { return chosen.contains(QLatin1Char(measure)); };
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
    std::printf("%lld files, %.0f MB; %d rounds of each measure\n\n", qlonglong(everything.size()), megabytes, kRounds);
    std::fflush(stdout);

    Catalogue catalogue;
    BuildOptions options;
    options.rootText = card;
    BuildEntries(catalogue, media, options);
    for (int row = 0; row < catalogue.Count(); ++row)
        catalogue.SetPlace(row, QStringLiteral("成都市 武侯区 玉林街道"), PlaceState::Typed);

    // The copying sides all start alike: the disk has written everything, the memory is
    // touched, the output of the previous side is gone, and the whole card is in the cache
    // (read again, which costs little when it already is there). The card in the cache keeps
    // the measure on writing and reading back the copies, which is where the sides differ.
    const QStringList cardFiles = FilesUnder(card);
    const auto prepareCopy = [&] {
        Settle();
        ReadWhole(cardFiles);
    };
    const QString stamp = QString::number(QDateTime::currentMSecsSinceEpoch());
    const auto outFolder = [&](const char* what, int round) {
        return work + QStringLiteral("/%1-%2-%3").arg(QLatin1String(what), stamp).arg(round);
    };
    // The export and the `sync` after it, timed together; parts, when given, receives the two
    // apart.
    const auto timeExport = [&](const QString& exported, bool verify, std::vector<double>* parts = nullptr) {
        QDir().mkpath(exported);
        CatalogueExportHost host(catalogue, CardSettings(exported, verify));
        ExportReport report;
        QElapsedTimer part;
        double exportPart = 0, syncPart = 0;
        const double seconds = Seconds([&] {
            part.start();
            report = RunExport(host, {});
            exportPart = double(part.nsecsElapsed()) / 1e9;
            part.restart();
            Run(QStringLiteral("sync"), {});
            syncPart = double(part.nsecsElapsed()) / 1e9;
        });
        if (parts) {
            parts[0].push_back(exportPart);
            parts[1].push_back(syncPart);
        }
        // A video's flight log goes with it, on the video's line.
        if (report.Copies() != media.size() || (verify && !report.AllVerified()))
            std::printf("warning: the export copied %d of %lld files%s\n", report.Copies(), qlonglong(media.size()),
                        verify && !report.AllVerified() ? ", not all verified" : "");
        return seconds;
    };
    // Our side of a copying measure: an export into a fresh folder, removed afterwards.
    const auto exportSide = [&](const char* what, bool verify, std::vector<double>* parts) {
        return [&, what, verify, parts](int round) {
            const QString exported = outFolder(what, round);
            const double seconds = timeExport(exported, verify, parts);
            QDir(exported).removeRecursively();
            return seconds;
        };
    };
    // `cp -r` of the card and `sync`, each part timed.
    const auto copyAndSync = [&](const QString& copied, std::vector<double>& cpParts, std::vector<double>& syncParts) {
        QElapsedTimer part;
        part.start();
        Run(QStringLiteral("cp"), {QStringLiteral("-r"), card, copied});
        cpParts.push_back(double(part.nsecsElapsed()) / 1e9);
        part.restart();
        Run(QStringLiteral("sync"), {});
        syncParts.push_back(double(part.nsecsElapsed()) / 1e9);
    };
    std::vector<Row> table;

    // 1. The checked export beside `cp -r` + `sync` + reading every copy back from the disk: the
    // copies are dropped from the cache (written out by the sync, so they go) and read whole.
    if (runs('1')) {
        std::vector<double> ours, peer, cpParts, syncParts, readParts, exportParts[2];
        Alternate(
            exportSide("verified", true, exportParts),
            [&](int round) {
                const QString copied = outFolder("cp-read", round);
                QElapsedTimer part;
                qint64 readBytes = 0;
                const double seconds = Seconds([&] {
                    copyAndSync(copied, cpParts, syncParts);
                    part.start();
                    const QStringList copies = FilesUnder(copied);
                    DropFromCache(copies);
                    readBytes = ReadWhole(copies);
                    readParts.push_back(double(part.nsecsElapsed()) / 1e9);
                });
                if (readBytes < qint64(megabytes * 1e6))
                    std::printf("warning: read back %lld bytes of the copies\n", qlonglong(readBytes));
                QDir(copied).removeRecursively();
                return seconds;
            },
            prepareCopy, ours, peer);
        std::printf("  (export %.2f s, sync after it %.2f s; cp -r %.2f s, sync %.2f s, read-back %.2f s = %.0f MB/s; "
                    "medians)\n",
                    Median(exportParts[0]), Median(exportParts[1]), Median(cpParts), Median(syncParts),
                    Median(readParts), megabytes / Median(readParts));
        table.push_back(Compare("1. verified export vs cp -r + sync + read-back", "export (verify on):",
                                "cp -r + sync + read-back:", ours, peer, 0.9));
    }

    // 2. The export without the check beside `cp -r` + `sync`.
    if (runs('2')) {
        std::vector<double> ours, peer, exportParts[2], cpParts, syncParts;
        Alternate(
            exportSide("unverified", false, exportParts),
            [&](int round) {
                const QString copied = outFolder("cp", round);
                const double seconds = Seconds([&] { copyAndSync(copied, cpParts, syncParts); });
                QDir(copied).removeRecursively();
                return seconds;
            },
            prepareCopy, ours, peer);
        std::printf("  (export %.2f s, sync after it %.2f s; cp -r %.2f s, sync %.2f s; medians)\n",
                    Median(exportParts[0]), Median(exportParts[1]), Median(cpParts), Median(syncParts));
        table.push_back(Compare("2. unverified export vs cp -r + sync", "export (verify off):", "cp -r + sync:", ours,
                                peer, 1.0));
    }

    // 3. XXH64 over 256 MiB in memory, whole and in the copy's 2 MB blocks.
    if (runs('3')) {
        constexpr size_t kBytes = size_t(256) << 20;
        std::unique_ptr<uint64_t[]> words(new uint64_t[kBytes / 8]);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (size_t i = 0; i < kBytes / 8; ++i) { // xorshift: bytes that are not all alike
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            words[i] = x;
        }
        const char* bytes = reinterpret_cast<const char*>(words.get());
        volatile uint64_t sink = Xxh64Of(bytes, kBytes); // fault the pages in and warm up
        std::vector<double> whole, blocks;
        for (int pass = 0; pass < kRounds; ++pass) {
            whole.push_back(Seconds([&] { sink = Xxh64Of(bytes, kBytes); }));
            blocks.push_back(Seconds([&] {
                Xxh64 state;
                for (size_t at = 0; at < kBytes; at += size_t(kCopyBlockBytes))
                    state.Add(bytes + at, std::min(size_t(kCopyBlockBytes), kBytes - at));
                sink = state.Value();
            }));
        }
        (void)sink;
        const double rate = double(kBytes) / 1e9 / Median(whole);
        std::printf("3. XXH64 of 256 MiB in memory\n  whole buffer:  %.2f GB/s (median %.4f s: %s)\n  in 2 MB blocks: "
                    "%.2f GB/s (median %.4f s: %s)\n\n",
                    rate, Median(whole), qPrintable(List(whole)), double(kBytes) / 1e9 / Median(blocks), Median(blocks),
                    qPrintable(List(blocks)));
        std::fflush(stdout);
        table.push_back({QStringLiteral("3. XXH64 in memory (256 MiB)"), Median(whole), 0,
                         QStringLiteral("%1 GB/s").arg(rate, 0, 'f', 2), QStringLiteral(">= 5 GB/s"), rate >= 5.0});
    }

    // An export kept for the last two measures, with a copy of the card kept with its times.
    const QString lastExport = work + QStringLiteral("/out-%1").arg(stamp);
    const QString lastCopy = work + QStringLiteral("/cp-%1").arg(stamp);
    if (runs('4') || runs('5')) {
        Settle();
        timeExport(lastExport, true);
        Run(QStringLiteral("rsync"), {QStringLiteral("-a"), card + QStringLiteral("/"), lastCopy + QStringLiteral("/")});
    }

    // 5. The re-export over the export beside `rsync -a` over the copy, nothing to copy for
    // either, alternating (timed before the check adds its generations to the hash list).
    std::optional<Row> reexportRow;
    if (runs('5')) {
        CatalogueExportHost host(catalogue, CardSettings(lastExport, true));
        std::vector<double> ours, peer;
        Alternate([&](int) { return Seconds([&] { RunExport(host, {}); }); },
                  [&](int) {
                      return Seconds([&] {
                          Run(QStringLiteral("rsync"),
                              {QStringLiteral("-a"), card + QStringLiteral("/"), lastCopy + QStringLiteral("/")});
                      });
                  },
                  [] {}, ours, peer);
        const double files = double(everything.size());
        std::printf("  (re-export %.0f files/s, rsync -a %.0f files/s)\n", files / Median(ours), files / Median(peer));
        reexportRow = Compare("5. re-export, nothing to copy vs rsync -a", "re-export:", "rsync -a:", ours, peer, 1.0);
    }

    // 4. Checking the export against its hash list beside `xxh64sum` over the same files, each
    // from an empty cache.
    if (runs('4')) {
        QStringList exported;
        for (const QString& file : FilesUnder(lastExport)) {
            const QString relative = QDir(lastExport).relativeFilePath(file);
            if (!relative.startsWith(QLatin1String("ascmhl/")) && !QFileInfo(file).fileName().startsWith(u'.'))
                exported << file;
        }
        std::printf("  (%lld exported files checked)\n", qlonglong(exported.size()));
        bool dropped = true;
        std::vector<double> ours, peer;
        Alternate(
            [&](int) {
                VerifyReport report;
                const double seconds = Seconds([&] { report = VerifyExport(lastExport); });
                if (!report.AllRight() || report.lines.size() != exported.size())
                    std::printf("warning: the check found %lld lines, not all right: %s\n", qlonglong(report.lines.size()),
                                qPrintable(report.error));
                return seconds;
            },
            [&](int) {
                return Seconds([&] { Run(QStringLiteral("xxh64sum"), exported, true); });
            },
            [&] {
                Settle();
                dropped = DropAllCaches(lastExport) && dropped;
            },
            ours, peer);
        if (!dropped)
            std::printf("  (the page cache could not be emptied; the exported files were dropped one by one)\n");
        table.push_back(Compare("4. VerifyExport vs xxh64sum, cold cache", "VerifyExport:", "xxh64sum:", ours, peer, 0.9));
    }
    if (reexportRow)
        table.push_back(*reexportRow);

    std::printf("%-50s %10s %10s %11s %11s  %s\n", "measure", "ours (s)", "peer (s)", "ratio", "target", "met");
    for (const Row& row : table) {
        const QString peer = row.peer > 0 ? QString::number(row.peer, 'f', 3) : QStringLiteral("-");
        std::printf("%-50s %10.3f %10s %11s %11s  %s\n", qPrintable(row.measure), row.ours, qPrintable(peer),
                    qPrintable(row.result), qPrintable(row.target), row.met ? "yes" : "NO");
    }
    std::printf("(ratio = peer / ours, medians of %d rounds; for XXH64, ours is one pass over 256 MiB)\n", kRounds);

    QDir(lastExport).removeRecursively();
    QDir(lastCopy).removeRecursively();
    return 0;
}
