// How a row yields its file's path (the preview windows, the export and the removal commands
// ask for it by row). The time per row should not grow with the size of the catalogue. And what
// listing entries costs when each one asks the place cache whether the user typed a place for
// its file.

#include "catalogue/Catalogue.h"
#include "services/LocationCache.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

void BM_PathOfRow(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    Catalogue catalogue;
    for (int i = 0; i < entries; ++i) {
        NewEntry entry;
        entry.path = QStringLiteral("/media/card/100/DJI_%1.JPG").arg(i, 4, 10, QChar(u'0'));
        entry.shotTime = WallClock(QDate(2017, 5, 3), QTime(14, i / 60 % 60, i % 60));
        catalogue.AddEntry(entry, QStringLiteral("/media/card"));
    }
    catalogue.Flush();
    int next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(catalogue.SourcePath(next));
        next = (next + 7919) % entries;
    }
}
BENCHMARK(BM_PathOfRow)->Arg(1000)->Arg(10000)->Arg(100000);

// Lists range(0) entries into a new catalogue; with range(1) the place cache is open and holds
// typed places for one file in a hundred.
void BM_ListEntries(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    const bool cacheOpen = state.range(1) != 0;
    const auto name = [](int i) { return QStringLiteral("DJI_%1.JPG").arg(i, 5, 10, QChar(u'0')); };
    const QDateTime shotTime = WallClock(QDate(2017, 5, 3), QTime(14, 22, 10));
    QTemporaryDir folder;
    if (cacheOpen) {
        OpenCacheDb(folder.filePath(QStringLiteral("Cha.mdb")));
        for (int i = 0; i < entries; i += 100)
            SaveTypedPlace(CatalogueKey(name(i), ShotTimeText(shotTime)), QStringLiteral("成都市 武侯区"));
    }
    for (auto _ : state) {
        Catalogue catalogue;
        for (int i = 0; i < entries; ++i) {
            NewEntry entry;
            entry.path = QStringLiteral("/media/card/100/") + name(i);
            entry.shotTime = shotTime;
            catalogue.AddEntry(entry, QStringLiteral("/media/card"));
        }
        catalogue.Flush();
    }
    state.SetItemsProcessed(state.iterations() * entries);
    if (cacheOpen)
        CloseCacheDb();
}
BENCHMARK(BM_ListEntries)->Args({10000, 0})->Args({10000, 1})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
