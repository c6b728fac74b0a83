// Reading long flight logs of every layout into the telemetry table (12,000 entries each, with a
// look-up that counts its calls instead of asking the geocoder), and the scan's position of a
// 3.6 MB log.

#include "FlightLogFixtures.h"
#include "metadata/FlightLog.h"
#include "preview/FlightLogTable.h"

#include <QBuffer>
#include <benchmark/benchmark.h>

namespace {

constexpr int kEntries = 12000;

QString TelemetryLineLog(int entries)
{
    QString text;
    for (int n = 0; n < entries; ++n)
        text += QStringLiteral("%1\n%2 --> %3\nHOME (8.6500, 49.8700, 105.2m) F/2.8, SS 500, ISO 100, EV 0, "
                               "GPS (%4, 49.8716, 19), D %5m, H 10.0m\n\n")
                    .arg(n + 1)
                    .arg(SubtitleTime(n * 1000LL), SubtitleTime(n * 1000LL + 1000))
                    .arg(8.6517 + n * 0.00001, 0, 'f', 5)
                    .arg(n * 0.1, 0, 'f', 2);
    return text;
}

// The layouts, each with entries entries.
QString LayoutLog(int layout, int entries)
{
    switch (layout) {
    case 0: {
        SixLineShape shape;
        shape.seconds = entries;
        return SixLineLog(shape);
    }
    case 1: { // no fix for a third of the flight
        SixLineShape shape;
        shape.seconds = entries;
        shape.unfixedFrom = entries / 3;
        shape.unfixedTo = 2 * entries / 3;
        return SixLineLog(shape);
    }
    case 2: {
        BracketedLogShape shape;
        shape.entries = entries;
        return BracketedFlightLog(shape);
    }
    case 3: return UntimedBracketedLog(entries, [](int n) { return n; });
    default: return TelemetryLineLog(entries);
    }
}

const char* const kLayoutNames[] = {"six-line", "six-line, a third without fix", "bracketed, 33 ms entries",
                                    "bracketed without time lines", "telemetry line"};

void BM_ReadLogIntoTable(benchmark::State& state)
{
    const QByteArray bytes = LayoutLog(int(state.range(0)), kEntries).toUtf8();
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
    state.SetLabel(kLayoutNames[state.range(0)]);
}
BENCHMARK(BM_ReadLogIntoTable)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// The scan's position of a 3.6 MB log: fixed from the first entry, and never fixed (the whole
// file is read).
void BM_ScanPositionOf36MBLog(benchmark::State& state)
{
    BracketedLogShape shape;
    shape.entries = 15000;
    if (state.range(0) == 0) {
        shape.unfixedEntries = shape.entries;
        shape.entries = 0;
    }
    const QByteArray bytes = state.range(0) == 2 ? LayoutLog(3, 18000).toUtf8() : BracketedFlightLog(shape).toUtf8();
    QBuffer log;
    log.setData(bytes);
    log.open(QIODevice::ReadOnly);
    for (auto _ : state)
        benchmark::DoNotOptimize(FlightLogPosition(log));
    state.counters["MB"] = double(bytes.size()) / 1e6;
    const char* const labels[] = {"bracketed, never fixed", "bracketed, fixed at once", "without time lines, fixed at once"};
    state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_ScanPositionOf36MBLog)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
