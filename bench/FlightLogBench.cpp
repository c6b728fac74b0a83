// Reading a long flight log: a newer drone's 12,000 sub-second entries (400 s of video) into
// the telemetry table, and the scan's position of such a log, with a look-up that counts its
// calls instead of asking the geocoder. Six-line entries as many for comparison.

#include "BracketedFlightLogs.h"
#include "catalogue/FolderScan.h"
#include "preview/FlightLogTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kEntries = 12000;

QByteArray SixLineLog(int entries)
{
    QString text;
    for (int n = 0; n < entries; ++n)
        text += QStringLiteral("%1\n%2 --> %3\nHOME(113.9484,22.5797) 2016.05.09 13:14:41\n"
                               "GPS(113.95%4,22.58%4,16) BAROMETER:16.8\nISO:100 Shutter:60 EV:0 Fnum:F2.2\n\n")
                    .arg(n + 1)
                    .arg(SubtitleTime(n * 1000LL), SubtitleTime(n * 1000LL + 1000))
                    .arg(n % 100, 2, 10, QChar(u'0'));
    return text.toUtf8();
}

void ReadIntoTable(benchmark::State& state, const QByteArray& bytes)
{
    int lookups = 0;
    int keys = 0;
    for (auto _ : state) {
        SrtTable table;
        lookups = 0;
        const std::atomic<bool> running{true};
        readsrtdata(bytes, running, table, [&](const QString&, const QString&, const QString&) {
            ++lookups;
            return QStringLiteral("成都市 武侯区 天府大道");
        });
        keys = table.Count();
    }
    state.counters["lookups"] = lookups;
    state.counters["keys"] = keys;
    state.counters["MB"] = double(bytes.size()) / 1e6;
}

void BM_ReadNewerLayoutLog(benchmark::State& state)
{
    BracketedLogShape shape;
    shape.entries = kEntries;
    ReadIntoTable(state, BracketedFlightLog(shape).toUtf8());
}
BENCHMARK(BM_ReadNewerLayoutLog)->Unit(benchmark::kMillisecond);

void BM_ReadSixLineLog(benchmark::State& state)
{
    ReadIntoTable(state, SixLineLog(kEntries));
}
BENCHMARK(BM_ReadSixLineLog)->Unit(benchmark::kMillisecond);

// The scan's position: fixed from the first entry, and never fixed (the whole file is read).
void BM_ScanPositionOfNewerLayoutLog(benchmark::State& state)
{
    BracketedLogShape shape;
    shape.unfixedEntries = state.range(0) ? 0 : kEntries;
    shape.entries = state.range(0) ? kEntries : 0;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("DJI_0001.SRT"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(BracketedFlightLog(shape).toUtf8()) < 0) {
        state.SkipWithError("cannot write the log");
        return;
    }
    file.close();
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadSrtPosition(path));
    state.SetLabel(state.range(0) ? "fixed at once" : "never fixed");
}
BENCHMARK(BM_ScanPositionOfNewerLayoutLog)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
