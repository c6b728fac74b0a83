// The offline geocoder: loading the place data (with the floor of reading its bytes), the memory
// it takes, and look-ups per second over random positions in China's box and in the world
// (medians of five rounds, warm). bench/offline-geocoder-vs-peer.sh runs it beside the npm
// package the world layer comes from.
//
//   bench_offline_geocoder [PLACE_DATA_FILE]

#include "services/OfflineGeocoder.h"
#include "services/PlaceData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 5;
constexpr int kLookups = 1000000;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Resident memory of this process in MiB.
double ResidentMiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    return 0;
}

struct Box {
    const char* name;
    double west, east, south, north;
};

void Lookups(const PlaceData& data, const Box& box)
{
    std::mt19937_64 random(20261210);
    std::uniform_real_distribution<double> longitude(box.west, box.east);
    std::uniform_real_distribution<double> latitude(box.south, box.north);
    std::vector<std::pair<double, double>> positions(kLookups);
    for (auto& p : positions)
        p = {longitude(random), latitude(random)};

    int unknown = 0;
    for (const auto& [x, y] : positions)
        unknown += data.PlaceAt(x, y) == QStringLiteral("未知") ? 1 : 0;
    std::vector<double> rates;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        qsizetype sink = 0;
        for (const auto& [x, y] : positions)
            sink += data.PlaceAt(x, y).size();
        rates.push_back(kLookups / (double(timer.nsecsElapsed()) / 1e9));
        if (sink == 0)
            std::printf("?");
    }
    std::printf("look-ups, %-38s %10.0f /s  (median of %d rounds of %d; %.0f%% named, %.0f%% at sea or outside)\n",
                box.name, Median(rates), kRounds, kLookups, 100.0 - 100.0 * unknown / kLookups, 100.0 * unknown / kLookups);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : PlaceDataPath();

    const double before = ResidentMiB();
    QString error;
    const auto data = PlaceData::Load(path, error);
    if (!data) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double after = ResidentMiB();

    std::vector<double> loads, reads;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        reads.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        const auto again = PlaceData::Load(path, error);
        loads.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("place data %s: %lld bytes, %d areas, %d points, %d towns\n", qPrintable(path),
                (long long)QFile(path).size(), data->AreaCount(), data->PointCount(), data->TownCount());
    std::printf("load:                                         %10.1f ms  (reading the bytes alone %.1f ms; median of %d)\n",
                Median(loads), Median(reads), kRounds);
    std::printf("resident memory for the loaded data:          %10.1f MiB\n", after - before);
    Lookups(*data, {"random positions in China's box:", 73.5, 135.1, 18.1, 53.6});
    Lookups(*data, {"random positions in the world:", -180, 180, -60, 75});
    return 0;
}
