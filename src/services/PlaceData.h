#pragma once
// The offline place data: China's districts and counties with their cities, the first-level
// regions of every other country, and towns outside China, as converted at build time from
// map packages (scripts/place-data/), and the look-up of a WGS-84 position in them.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class PlaceData {
public:
    // Positions are held in 1/100000 degree (about a metre).
    static constexpr int kUnitsPerDegree = 100000;

    // Reads and checks a place data file. Null with error set (a sentence for the user) when
    // the file is missing, of another format, damaged or truncated.
    static std::shared_ptr<const PlaceData> Load(const QString& path, QString& error);

    // The parts of Load, for tests and the fuzzer: the body of a file's bytes (header and
    // checksum checked; empty with error set when they are wrong), and the data of a body.
    static QByteArray BodyOfFile(const QByteArray& file, QString& error);
    static std::shared_ptr<const PlaceData> FromBody(const QByteArray& body, QString& error);

    // The place text at a position, in the three pieces of the web geocoder's answer:
    // in China "city district district" (there is no street data: the district stands in),
    // elsewhere "country region town" (the nearest town of the same country within about
    // 50 km, else the region again), and "未知" at sea or outside every area. A position just
    // off an area's drawn edge (within about a kilometre) counts as inside it: the borders and
    // coasts are drawn to some hundred metres.
    QString PlaceAt(double longitude, double latitude) const;

    int AreaCount() const { return int(areas_.size()); }
    int PointCount() const { return int(points_.size()); }
    int TownCount() const { return int(towns_.size()); }

    struct Point {
        int32_t x; // longitude units
        int32_t y; // latitude units
    };

private:
    enum class Layer : uint8_t { China = 0, World = 1 };
    struct Area {
        Layer layer;
        char country[2];
        uint32_t names[2]; // city and district, or country and region
        uint32_t firstRing;
        uint32_t ringEnd;
    };
    struct Ring {
        uint32_t area;
        uint32_t firstPoint;
        uint32_t pointCount;
        int32_t minX, minY, maxX, maxY;
        // Edges by horizontal band of the ring's height, so a point needs only the edges that
        // cross its band: firstBand indexes bandStarts_; bandCount bands of bandHeight units.
        uint32_t firstBand;
        uint32_t bandCount;
        int32_t bandHeight;
    };
    struct Town {
        Point at;
        uint32_t name;
        char country[2];
    };
    struct Hit {
        int area = -1;
        double distance = 0; // squared, in units scaled to ground distance; 0 inside
    };

    bool ParseBody(const QByteArray& body, QString& error);
    bool BuildIndex(QString& error);
    bool RingContains(const Ring& ring, double x, double y) const;
    double RingDistance(const Ring& ring, double x, double y, double xScale) const;
    Hit FindArea(double x, double y) const;
    Hit NearestArea(double x, double y) const;
    int NearestTown(double x, double y, const char country[2]) const;
    template <typename Visit>
    void ForRingsNear(double x, double y, double reach, Visit visit) const;

    std::vector<QString> names_;
    std::vector<Area> areas_;
    std::vector<Ring> rings_;
    std::vector<Point> points_;
    std::vector<uint32_t> bandStarts_; // per band, the start of its edges in bandEdges_
    std::vector<uint32_t> bandEdges_;  // edge i of a ring joins its points i and i+1 (wrapping)
    std::vector<uint32_t> cellStarts_; // rings by grid cell (kCellDegrees), as ranges of cellRings_
    std::vector<uint32_t> cellRings_;
    std::vector<Town> towns_;
    std::vector<uint32_t> townCellStarts_; // towns by grid cell, as ranges of townCells_
    std::vector<uint32_t> townCells_;
};
