// How a row finds its record: the key is formed from the row's texts and looked up in the
// index. The time per lookup should not grow with the size of the catalogue. And what listing
// entries costs when each one asks the place cache whether the user typed a place for its file.

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueModel.h"
#include "services/LocationCache.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

void BM_FindRecordOfRow(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    CatalogueIndex index;
    std::vector<std::pair<QString, QString>> rows;
    for (int i = 0; i < entries; ++i) {
        auto record = std::make_unique<Listviewdata>();
        record->filename = QStringLiteral("DJI_%1.JPG").arg(i, 4, 10, QChar(u'0'));
        record->filemaketime = QStringLiteral("2017/05/03 14:%1:%2").arg(i / 60 % 60, 2, 10, QChar(u'0')).arg(i % 60, 2, 10, QChar(u'0'));
        SetRecordFolder(*record, QStringLiteral("/media/card/100/"), QStringLiteral("/media/card"));
        rows.emplace_back(record->filename, record->filemaketime);
        const QString key = CatalogueKey(record->filename, record->filemaketime);
        index.insert(key, std::move(record));
    }
    size_t next = 0;
    for (auto _ : state) {
        const auto& [name, time] = rows[next];
        benchmark::DoNotOptimize(RecordPath(*index.find(CatalogueKey(name, time))));
        next = (next + 7919) % rows.size();
    }
}
BENCHMARK(BM_FindRecordOfRow)->Arg(1000)->Arg(10000)->Arg(100000);

// Lists range(0) entries into a new catalogue; with range(1) the place cache is open and holds
// typed places for one file in a hundred.
void BM_ListEntries(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    const bool cacheOpen = state.range(1) != 0;
    const auto name = [](int i) { return QStringLiteral("DJI_%1.JPG").arg(i, 5, 10, QChar(u'0')); };
    const QString shotTime = QStringLiteral("2017/05/03 14:22:10");
    QTemporaryDir folder;
    if (cacheOpen) {
        OpenCacheDb(folder.filePath(QStringLiteral("Cha.mdb")));
        for (int i = 0; i < entries; i += 100)
            SaveTypedPlace(CatalogueKey(name(i), shotTime), QStringLiteral("成都市 武侯区"));
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
