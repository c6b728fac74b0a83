// The catalogue list with 100,000 rows: sorting by each column, and painting one screenful of
// rows. Painting must cost the same whatever the number of rows.

#include "catalogue/CatalogueListModel.h"
#include "catalogue/CatalogueListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <benchmark/benchmark.h>
#include <memory>
#include <random>

namespace {

std::unique_ptr<CatalogueListModel> MakeRows(int count)
{
    auto model = std::make_unique<CatalogueListModel>();
    std::mt19937 random(11);
    std::vector<CatalogueEntry> rows;
    rows.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        CatalogueEntry row;
        const int n = int(random() % 1000000);
        row.name = QStringLiteral("DJI_%1.JPG").arg(n, 6, 10, QChar(u'0'));
        row.kind = i % 10 ? MediaKind::Photo : MediaKind::Video;
        row.bytes = qint64(n % 30) * 1048576 + qint64(n % 100) * 10486;
        row.place = QStringLiteral("城市%1 区县%2 街道%3").arg(n % 13).arg(n % 7).arg(n % 31);
        row.shotTime = WallClock(QDate(2017, 5, 1 + n % 28), QTime(14, n % 60, n % 59));
        row.status = QString::number(n % 101);
        rows.push_back(std::move(row));
    }
    model->appendEntries(std::move(rows));
    return model;
}

void BM_SortByColumn(benchmark::State& state)
{
    auto model = MakeRows(100000);
    int way = 1;
    for (auto _ : state) {
        model->sortRows(int(state.range(0)), way);
        way = -way;
    }
    state.SetLabel(CatalogueListModel::columnHeader(int(state.range(0))).toStdString());
}
BENCHMARK(BM_SortByColumn)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

void BM_PaintScreenful(benchmark::State& state)
{
    auto model = MakeRows(int(state.range(0)));
    CatalogueListView view;
    view.setModel(model.get());
    view.setUniformRowHeights(true);
    view.setRootIsDecorated(false);
    view.setProgressColumn(5);
    view.resize(790, 560);
    view.show();
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2); // the middle of the list
    QImage target(view.viewport()->size(), QImage::Format_RGB32);
    for (auto _ : state)
        view.viewport()->render(&target);
    state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_PaintScreenful)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
