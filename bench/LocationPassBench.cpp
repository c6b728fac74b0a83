// The location pass over 20,000 catalogue rows: first all in 500 cells the cache knows, then
// spread over those 500 cells and 20 more that only a local test service knows, then spread
// over 2,000 cells nobody knows while the service accepts connections and never answers (the
// web-first mode names them offline after the first time-out). Prints the time until every
// row is resolved, rows/second, and the number of web requests (one per uncached cell). Then
// the UI thread's time per tick with 50,000 rows waiting for a silent service, and with 50,000
// rows in cached cells.

#include "LocalHttpServer.h"
#include "catalogue/Catalogue.h"
#include "catalogue/LocationPass.h"
#include "services/Geocoder.h"
#include "services/LocationCache.h"
#include "services/PlaceResolver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRows = 20000;
constexpr int kCachedCells = 500;
constexpr int kUncachedCells = 20;
constexpr int kSilentCells = 2000;
constexpr int kWaitingRows = 50000;

// The longitude of cell number n: one arc-minute apart, in the middle of the minute.
QString CellLongitude(int n)
{
    return QString::number(100.0 + (n + 0.5) / 60.0, 'f', 4);
}

// Cells of the silent run: 1,000 minutes of longitude on two degrees of latitude, all in China
// and none cached.
QString SilentPosition(int n)
{
    return QString::number(100.0 + (n % 1000 + 0.5) / 60.0, 'f', 4) + u',' + QString::number(30.5130 + n / 1000, 'f', 4);
}

struct Outcome {
    double seconds;
    int requests;
    int unresolved;
    std::vector<double> tickMs; // the UI thread's time in each tick
};

QString TickFigures(std::vector<double> ticks)
{
    std::sort(ticks.begin(), ticks.end());
    if (ticks.empty())
        return {};
    return QStringLiteral("ticks: %1, median %2 ms, 99% %3 ms, longest %4 ms")
        .arg(ticks.size())
        .arg(ticks[ticks.size() / 2], 0, 'f', 3)
        .arg(ticks[ticks.size() * 99 / 100], 0, 'f', 3)
        .arg(ticks.back(), 0, 'f', 3);
}

Outcome Run(int cells, GeoMode mode = GeoMode::Web, bool silent = false, int rowCount = kRows, int forMs = 0)
{
    Catalogue catalogue;
    for (int i = 0; i < rowCount; ++i) {
        NewEntry entry;
        entry.path = QStringLiteral("/card/DJI_%1.JPG").arg(i);
        entry.shotTime = WallClock(QDate(2017, 5, 3), QTime(14, 22, 10));
        entry.position = PositionFromText(silent ? SilentPosition(i % cells) : CellLongitude(i % cells) + QStringLiteral(",30.5130"));
        catalogue.AddEntry(entry, QStringLiteral("/card"));
    }
    catalogue.Flush();

    LocationPass pass(catalogue, std::make_unique<PlaceResolver>(mode));
    pass.BeginPass();
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer beat; // the window's 10 ms location timer
    std::vector<double> tickMs;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        QElapsedTimer tick;
        tick.start();
        const bool more = pass.Tick();
        tickMs.push_back(double(tick.nsecsElapsed()) / 1e6);
        if (!more || (forMs > 0 && timer.elapsed() >= forMs))
            loop.quit();
    });
    beat.start(10);
    loop.exec();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;

    int unresolved = 0;
    for (int row = 0; row < catalogue.Count(); ++row) {
        const QString& place = catalogue.Entry(row).place;
        unresolved += (silent ? place == kPlacePending || place == kPlaceUnknown : !place.startsWith(QStringLiteral("cell ")))
            ? 1
            : 0;
    }
    return {seconds, pass.LookupsMade(), unresolved, tickMs};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    LocalHttpServer service;
    service.Get("/ws/geocoder/v1/", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(R"({"status":0,"result":{"address_component":{"city":"cell ","district":"web"},)"
                             R"("formatted_addresses":{"recommend":")" + request.get_param_value("location") + R"("}}})",
                             "application/json");
    });
    service.Start();
    GeocoderConfig config;
    config.baseUrl = service.BaseUrl();
    SetGeocoderConfig(config);

    QTemporaryDir folder;
    OpenCacheDb(folder.path() + QStringLiteral("/Cha.mdb"));
    for (int n = 0; n < kCachedCells; ++n)
        InsertValue(GpsCellKey(CellLongitude(n).toDouble(), 30.5130), QStringLiteral("cell %1 cached").arg(n),
                    QStringLiteral("GPS"));

    const Outcome cached = Run(kCachedCells);
    std::printf("%d rows in %d cached cells:              %.3f s, %8.0f rows/s, %d web requests, %d unresolved\n",
                kRows, kCachedCells, cached.seconds, kRows / cached.seconds, cached.requests, cached.unresolved);
    const Outcome mixed = Run(kCachedCells + kUncachedCells);
    std::printf("%d rows in %d cached + %d uncached cells: %.3f s, %8.0f rows/s, %d web requests, %d unresolved\n",
                kRows, kCachedCells, kUncachedCells, mixed.seconds, kRows / mixed.seconds, mixed.requests,
                mixed.unresolved);

    LocalHttpServer silent;
    HeldAnswers held;
    silent.Get("/ws/geocoder/v1/", held.Handler());
    silent.Start();
    GeocoderConfig silentConfig; // the program's own time-outs
    silentConfig.baseUrl = silent.BaseUrl();
    SetGeocoderConfig(silentConfig);
    const Outcome offline = Run(kSilentCells, GeoMode::Auto, true);
    std::printf("%d rows in %d cells, web silent (auto):       %.3f s = the %.0f s time-out + %.3f s, %d web requests, "
                "%d unnamed\n",
                kRows, kSilentCells, offline.seconds, silentConfig.totalTimeoutMs / 1000.0,
                offline.seconds - silentConfig.totalTimeoutMs / 1000.0, offline.requests, offline.unresolved);

    // 50,000 rows in 2,000 cells while the one web question under way is never answered: the
    // rows wait, and each tick of the window's timer may take the UI thread for 2 ms at most.
    const Outcome waiting = Run(kSilentCells, GeoMode::Web, true, kWaitingRows, 3000);
    std::printf("%d rows waiting for a silent service, 3 s: %s\n", kWaitingRows, qPrintable(TickFigures(waiting.tickMs)));
    held.Release();
    SetGeocoderConfig(config);
    const Outcome cachedMany = Run(kCachedCells, GeoMode::Web, false, kWaitingRows);
    std::printf("%d rows in %d cached cells: %.3f s, %s\n", kWaitingRows, kCachedCells, cachedMany.seconds,
                qPrintable(TickFigures(cachedMany.tickMs)));
    CloseCacheDb();
    return 0;
}
