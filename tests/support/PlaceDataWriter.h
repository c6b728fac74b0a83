#pragma once
// Writes small place data bodies in the format the build's converter writes, for tests and the
// fuzzer's corpus: a few areas with rings given in degrees, and towns.

#include <QByteArray>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TestArea {
    uint8_t layer;       // 0 China, 1 the world
    std::string country; // two letters
    std::string nameA;   // city, or country
    std::string nameB;   // district, or region
    std::vector<std::vector<std::pair<double, double>>> rings; // (longitude, latitude)
};

struct TestTown {
    double longitude;
    double latitude;
    std::string name;
    std::string country;
};

class PlaceBodyWriter {
public:
    QByteArray Body(const std::vector<TestArea>& areas, const std::vector<TestTown>& towns)
    {
        std::vector<std::string> names;
        const auto id = [&](const std::string& name) {
            for (size_t i = 0; i < names.size(); ++i)
                if (names[i] == name)
                    return uint64_t(i);
            names.push_back(name);
            return uint64_t(names.size() - 1);
        };
        QByteArray areaBytes;
        for (const TestArea& area : areas) {
            areaBytes += char(area.layer);
            areaBytes += QByteArray::fromStdString(area.country).left(2);
            Number(areaBytes, id(area.nameA));
            Number(areaBytes, id(area.nameB));
            Number(areaBytes, area.rings.size());
            for (const auto& ring : area.rings) {
                Number(areaBytes, ring.size());
                int64_t x = 0, y = 0;
                for (const auto& [longitude, latitude] : ring) {
                    const int64_t ux = std::llround(longitude * 100000);
                    const int64_t uy = std::llround(latitude * 100000);
                    Signed(areaBytes, ux - x);
                    Signed(areaBytes, uy - y);
                    x = ux;
                    y = uy;
                }
            }
        }
        QByteArray townBytes;
        for (const TestTown& town : towns) {
            Signed(townBytes, std::llround(town.longitude * 100000));
            Signed(townBytes, std::llround(town.latitude * 100000));
            Number(townBytes, id(town.name));
            townBytes += QByteArray::fromStdString(town.country).left(2);
        }
        QByteArray body;
        Number(body, names.size());
        for (const std::string& name : names) {
            Number(body, name.size());
            body += QByteArray::fromStdString(name);
        }
        Number(body, areas.size());
        body += areaBytes;
        Number(body, towns.size());
        body += townBytes;
        return body;
    }

    // The whole file: header, checksum and body.
    static QByteArray File(const QByteArray& body)
    {
        uint64_t hash = 0xcbf29ce484222325ULL;
        for (const char c : body) {
            hash ^= uint8_t(c);
            hash *= 0x100000001b3ULL;
        }
        QByteArray file("ORVKPLC1");
        const auto little = [&](uint64_t value, int bytes) {
            for (int i = 0; i < bytes; ++i)
                file += char((value >> (8 * i)) & 0xff);
        };
        little(1, 4);
        little(uint64_t(body.size()), 4);
        little(hash, 8);
        return file + body;
    }

    // A square ring of side degrees with its south-west corner at (longitude, latitude).
    static std::vector<std::pair<double, double>> Square(double longitude, double latitude, double side)
    {
        return {{longitude, latitude}, {longitude + side, latitude}, {longitude + side, latitude + side},
                {longitude, latitude + side}};
    }

private:
    static void Number(QByteArray& out, uint64_t value)
    {
        while (value >= 0x80) {
            out += char((value & 0x7f) | 0x80);
            value >>= 7;
        }
        out += char(value);
    }
    static void Signed(QByteArray& out, int64_t value) { Number(out, value < 0 ? uint64_t(-2 * value - 1) : uint64_t(2 * value)); }
};
