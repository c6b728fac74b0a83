// How a row finds its record: the key is formed from the row's texts and looked up in the
// index. The time per lookup should not grow with the size of the catalogue.

#include "catalogue/CatalogueModel.h"

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

} // namespace

BENCHMARK_MAIN();
