#include "services/PlaceData.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

// The file, as scripts/place-data/convert.js writes it:
//   "ORVKPLC1", u32 format version, u32 body bytes, u64 FNV-1a of the body (little-endian),
//   then the body: unsigned LEB128 numbers (n), zig-zag signed ones (z) and raw bytes:
//   n strings, each: n bytes, UTF-8
//   n areas, each: 1 byte layer, 2 bytes country code, n name A, n name B, n rings, each:
//     n points, then z x and z y of the first point and z deltas of the rest
//   n towns, each: z x, z y, n name, 2 bytes country code

namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'K', 'P', 'L', 'C', '1'};
constexpr uint32_t kFormatVersion = 1;
constexpr int kHeaderBytes = 24;
constexpr qint64 kMaxFileBytes = 256LL << 20;

constexpr double kCellDegrees = 0.5;
constexpr int kColumns = int(360 / kCellDegrees);
constexpr int kRows = int(180 / kCellDegrees);
constexpr double kSnapDegrees = 0.01;  // a position this close to an area's edge is in it
constexpr double kTownReachDegrees = 0.5;
constexpr int kEdgesPerBand = 8;
// Bounds on the look-up index, far above what the real data needs (some 2 million band
// entries and 0.2 million cell entries): data that would need more is damaged.
constexpr uint64_t kMaxBandEntriesPerPoint = 8;
constexpr uint64_t kMaxCellEntries = 16'000'000;

constexpr int32_t kMaxX = 180 * PlaceData::kUnitsPerDegree;
constexpr int32_t kMaxY = 90 * PlaceData::kUnitsPerDegree;

const QString kUnknownPlace = QStringLiteral("未知");

uint64_t Fnv1a64(const char* data, qsizetype size)
{
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (qsizetype i = 0; i < size; ++i) {
        hash ^= uint8_t(data[i]);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

template <typename T>
T ReadLittleEndian(const char* at)
{
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        value |= T(uint8_t(at[i])) << (8 * i);
    return value;
}

// Reads the body's numbers; once a read runs past the end or overflows, ok() stays false and
// every further read gives 0.
class BodyReader {
public:
    explicit BodyReader(const QByteArray& body)
        : at_(reinterpret_cast<const uint8_t*>(body.constData()))
        , end_(at_ + body.size())
    {
    }
    bool ok() const { return ok_; }
    size_t left() const { return size_t(end_ - at_); }
    bool atEnd() const { return at_ == end_; }

    uint64_t n()
    {
        uint64_t value = 0;
        for (int shift = 0; ok_; shift += 7) {
            if (at_ == end_ || shift > 63)
                return Fail();
            const uint8_t byte = *at_++;
            value |= uint64_t(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return value;
        }
        return 0;
    }
    int64_t z()
    {
        const uint64_t v = n();
        return int64_t(v >> 1) ^ -int64_t(v & 1);
    }
    // A count of items that take at least bytesEach bytes each: more than are left is damage.
    uint64_t count(size_t bytesEach)
    {
        const uint64_t v = n();
        return v <= left() / bytesEach ? v : Fail();
    }
    const char* bytes(size_t count)
    {
        if (!ok_ || count > left()) {
            Fail();
            return nullptr;
        }
        const char* start = reinterpret_cast<const char*>(at_);
        at_ += count;
        return start;
    }

private:
    uint64_t Fail()
    {
        ok_ = false;
        at_ = end_;
        return 0;
    }
    const uint8_t* at_;
    const uint8_t* end_;
    bool ok_ = true;
};

int CellColumn(double x)
{
    return std::clamp(int(std::floor((x / PlaceData::kUnitsPerDegree + 180) / kCellDegrees)), 0, kColumns - 1);
}

int CellRow(double y)
{
    return std::clamp(int(std::floor((y / PlaceData::kUnitsPerDegree + 90) / kCellDegrees)), 0, kRows - 1);
}

// Fills a cell index (CSR form) from the cell ranges each item covers.
template <typename CellsOf>
void BuildCells(size_t itemCount, CellsOf cellsOf, std::vector<uint32_t>& starts, std::vector<uint32_t>& items)
{
    starts.assign(size_t(kColumns) * kRows + 1, 0);
    for (size_t i = 0; i < itemCount; ++i)
        cellsOf(i, [&](int cell) { ++starts[size_t(cell) + 1]; });
    for (size_t c = 1; c < starts.size(); ++c)
        starts[c] += starts[c - 1];
    items.resize(starts.back());
    std::vector<uint32_t> fill(starts.begin(), starts.end() - 1);
    for (size_t i = 0; i < itemCount; ++i)
        cellsOf(i, [&](int cell) { items[fill[size_t(cell)]++] = uint32_t(i); });
}

// Squared distance from (px, py) to the segment a-b, x already scaled.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax;
    const double dy = by - ay;
    const double length = dx * dx + dy * dy;
    double t = length > 0 ? ((px - ax) * dx + (py - ay) * dy) / length : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = ax + t * dx - px;
    const double ey = ay + t * dy - py;
    return ex * ex + ey * ey;
}

double LongitudeScale(double y)
{
    return std::max(0.01, std::cos(y / PlaceData::kUnitsPerDegree * std::numbers::pi / 180));
}

} // namespace

std::shared_ptr<const PlaceData> PlaceData::Load(const QString& path, QString& error)
{
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        error = QStringLiteral("找不到离线地名数据 %1").arg(path);
        return nullptr;
    }
    if (file.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("无法读取离线地名数据 %1").arg(path);
        return nullptr;
    }
    const QByteArray body = BodyOfFile(file.readAll(), error);
    if (body.isEmpty()) {
        error = QStringLiteral("离线地名数据 %1 已损坏（%2）").arg(path, error);
        return nullptr;
    }
    auto data = FromBody(body, error);
    if (!data)
        error = QStringLiteral("离线地名数据 %1 已损坏（%2）").arg(path, error);
    return data;
}

QByteArray PlaceData::BodyOfFile(const QByteArray& file, QString& error)
{
    if (file.size() < kHeaderBytes || std::memcmp(file.constData(), kMagic, sizeof kMagic) != 0) {
        error = QStringLiteral("不是地名数据文件");
        return {};
    }
    const char* header = file.constData();
    if (ReadLittleEndian<uint32_t>(header + 8) != kFormatVersion) {
        error = QStringLiteral("格式版本不符");
        return {};
    }
    const qsizetype bodyBytes = ReadLittleEndian<uint32_t>(header + 12);
    if (bodyBytes != file.size() - kHeaderBytes) {
        error = QStringLiteral("文件不完整");
        return {};
    }
    if (ReadLittleEndian<uint64_t>(header + 16) != Fnv1a64(header + kHeaderBytes, bodyBytes)) {
        error = QStringLiteral("校验和不符");
        return {};
    }
    return file.mid(kHeaderBytes);
}

std::shared_ptr<const PlaceData> PlaceData::FromBody(const QByteArray& body, QString& error)
{
    auto data = std::make_shared<PlaceData>();
    if (!data->ParseBody(body, error) || !data->BuildIndex(error))
        return nullptr;
    return data;
}

bool PlaceData::ParseBody(const QByteArray& body, QString& error)
{
    BodyReader in(body);
    const auto damaged = [&](const char* what) {
        error = QString::fromUtf8(what);
        return false;
    };

    const uint64_t stringCount = in.count(1);
    names_.reserve(stringCount);
    for (uint64_t i = 0; i < stringCount && in.ok(); ++i) {
        const uint64_t bytes = in.count(1);
        const char* text = in.bytes(bytes);
        names_.push_back(text ? QString::fromUtf8(text, qsizetype(bytes)) : QString());
    }
    // A position, or a step from the last one; a step longer than the world is damage (and
    // would overflow).
    const auto readPoint = [&](int64_t& x, int64_t& y, bool delta) {
        const int64_t dx = in.z();
        const int64_t dy = in.z();
        const auto within = [](int64_t v, int64_t limit) { return v >= -limit && v <= limit; };
        if (!in.ok() || !within(dx, 2 * int64_t(kMaxX)) || !within(dy, 2 * int64_t(kMaxY)))
            return false;
        x = (delta ? x : 0) + dx;
        y = (delta ? y : 0) + dy;
        return x >= -kMaxX && x <= kMaxX && y >= -kMaxY && y <= kMaxY;
    };

    const uint64_t areaCount = in.count(6);
    areas_.reserve(areaCount);
    points_.reserve(in.left() / 4); // a point takes two to four bytes
    for (uint64_t a = 0; a < areaCount && in.ok(); ++a) {
        Area area{};
        const char* head = in.bytes(3);
        if (!head)
            break;
        if (uint8_t(head[0]) > uint8_t(Layer::World))
            return damaged("未知的图层");
        area.layer = Layer(head[0]);
        std::memcpy(area.country, head + 1, 2);
        for (uint32_t& name : area.names) {
            const uint64_t id = in.n();
            if (id >= names_.size())
                return damaged("名称编号越界");
            name = uint32_t(id);
        }
        const uint64_t ringCount = in.count(3);
        area.firstRing = uint32_t(rings_.size());
        for (uint64_t r = 0; r < ringCount && in.ok(); ++r) {
            const uint64_t pointCount = in.count(2);
            if (pointCount < 3 || points_.size() + pointCount > std::numeric_limits<int32_t>::max())
                return damaged("边界点数不对");
            Ring ring{};
            ring.area = uint32_t(areas_.size());
            ring.firstPoint = uint32_t(points_.size());
            ring.pointCount = uint32_t(pointCount);
            int64_t x = 0, y = 0;
            for (uint64_t p = 0; p < pointCount; ++p) {
                if (!readPoint(x, y, p > 0))
                    return damaged("坐标越界");
                points_.push_back({int32_t(x), int32_t(y)});
            }
            rings_.push_back(ring);
        }
        area.ringEnd = uint32_t(rings_.size());
        areas_.push_back(area);
    }

    const uint64_t townCount = in.count(5);
    towns_.reserve(townCount);
    for (uint64_t t = 0; t < townCount && in.ok(); ++t) {
        int64_t x = 0, y = 0;
        if (!readPoint(x, y, false))
            return damaged("坐标越界");
        const uint64_t name = in.n();
        const char* country = in.bytes(2);
        if (!country || name >= names_.size())
            return damaged("名称编号越界");
        Town town{{int32_t(x), int32_t(y)}, uint32_t(name), {country[0], country[1]}};
        towns_.push_back(town);
    }
    if (!in.ok())
        return damaged("数据不完整");
    if (!in.atEnd())
        return damaged("数据末尾有多余内容");
    return true;
}

bool PlaceData::BuildIndex(QString& error)
{
    // Bounding boxes and the edges of each ring by horizontal band.
    std::vector<uint32_t> bandCounts;
    for (Ring& ring : rings_) {
        const Point* p = points_.data() + ring.firstPoint;
        ring.minX = ring.maxX = p[0].x;
        ring.minY = ring.maxY = p[0].y;
        for (uint32_t i = 1; i < ring.pointCount; ++i) {
            ring.minX = std::min(ring.minX, p[i].x);
            ring.maxX = std::max(ring.maxX, p[i].x);
            ring.minY = std::min(ring.minY, p[i].y);
            ring.maxY = std::max(ring.maxY, p[i].y);
        }
        ring.bandCount = std::max<uint32_t>(1, ring.pointCount / kEdgesPerBand);
        ring.bandHeight = int32_t((int64_t(ring.maxY) - ring.minY) / ring.bandCount + 1);
        ring.firstBand = uint32_t(bandCounts.size());
        bandCounts.resize(bandCounts.size() + ring.bandCount, 0);
    }
    const auto forEachEdgeBand = [&](const Ring& ring, auto visit) {
        const Point* p = points_.data() + ring.firstPoint;
        for (uint32_t i = 0; i < ring.pointCount; ++i) {
            const Point a = p[i];
            const Point b = p[(i + 1) % ring.pointCount];
            const uint32_t first = uint32_t((std::min(a.y, b.y) - ring.minY) / ring.bandHeight);
            const uint32_t last = uint32_t((std::max(a.y, b.y) - ring.minY) / ring.bandHeight);
            for (uint32_t band = first; band <= last; ++band)
                visit(ring.firstBand + band, i);
        }
    };
    uint64_t bandEntries = 0;
    for (const Ring& ring : rings_) {
        const Point* p = points_.data() + ring.firstPoint;
        for (uint32_t i = 0; i < ring.pointCount; ++i) {
            const Point a = p[i];
            const Point b = p[(i + 1) % ring.pointCount];
            bandEntries += uint64_t(std::abs(int64_t(a.y) - b.y)) / ring.bandHeight + 2;
        }
    }
    uint64_t cellEntries = 0;
    for (const Ring& ring : rings_)
        cellEntries += uint64_t(CellRow(ring.maxY) - CellRow(ring.minY) + 1) * (CellColumn(ring.maxX) - CellColumn(ring.minX) + 1);
    if (bandEntries > kMaxBandEntriesPerPoint * points_.size() + 65536 || cellEntries > kMaxCellEntries) {
        error = QStringLiteral("边界不合理");
        return false;
    }

    for (const Ring& ring : rings_)
        forEachEdgeBand(ring, [&](uint32_t band, uint32_t) { ++bandCounts[band]; });
    bandStarts_.assign(bandCounts.size() + 1, 0);
    for (size_t b = 0; b < bandCounts.size(); ++b)
        bandStarts_[b + 1] = bandStarts_[b] + bandCounts[b];
    bandEdges_.resize(bandStarts_.back());
    std::vector<uint32_t> fill(bandStarts_.begin(), bandStarts_.end() - 1);
    for (const Ring& ring : rings_)
        forEachEdgeBand(ring, [&](uint32_t band, uint32_t edge) { bandEdges_[fill[band]++] = edge; });

    // Rings and towns by grid cell.
    BuildCells(
        rings_.size(),
        [&](size_t i, auto add) {
            const Ring& ring = rings_[i];
            for (int row = CellRow(ring.minY); row <= CellRow(ring.maxY); ++row)
                for (int column = CellColumn(ring.minX); column <= CellColumn(ring.maxX); ++column)
                    add(row * kColumns + column);
        },
        cellStarts_, cellRings_);
    BuildCells(
        towns_.size(), [&](size_t i, auto add) { add(CellRow(towns_[i].at.y) * kColumns + CellColumn(towns_[i].at.x)); },
        townCellStarts_, townCells_);
    return true;
}

bool PlaceData::RingContains(const Ring& ring, double x, double y) const
{
    if (x < ring.minX || x > ring.maxX || y < ring.minY || y > ring.maxY)
        return false;
    const uint32_t band = ring.firstBand + std::min(ring.bandCount - 1, uint32_t((y - ring.minY) / ring.bandHeight));
    const Point* p = points_.data() + ring.firstPoint;
    bool inside = false;
    for (uint32_t e = bandStarts_[band]; e < bandStarts_[band + 1]; ++e) {
        const uint32_t i = bandEdges_[e];
        const Point a = p[i];
        const Point b = p[(i + 1) % ring.pointCount];
        if ((a.y > y) != (b.y > y)) {
            const double crossing = a.x + (y - a.y) * double(b.x - a.x) / double(b.y - a.y);
            if (x < crossing)
                inside = !inside;
        }
    }
    return inside;
}

double PlaceData::RingDistance(const Ring& ring, double x, double y, double xScale) const
{
    const double reach = kSnapDegrees * kUnitsPerDegree;
    const auto bandOf = [&](double v) {
        return uint32_t(std::clamp((v - ring.minY) / ring.bandHeight, 0.0, double(ring.bandCount - 1)));
    };
    const Point* p = points_.data() + ring.firstPoint;
    double best = std::numeric_limits<double>::infinity();
    for (uint32_t band = bandOf(y - reach); band <= bandOf(y + reach); ++band)
        for (uint32_t e = bandStarts_[ring.firstBand + band]; e < bandStarts_[ring.firstBand + band + 1]; ++e) {
            const uint32_t i = bandEdges_[e];
            const Point a = p[i];
            const Point b = p[(i + 1) % ring.pointCount];
            best = std::min(best, SegmentDistance(x * xScale, y, a.x * xScale, a.y, b.x * xScale, b.y));
        }
    return best;
}

template <typename Visit>
void PlaceData::ForRingsNear(double x, double y, double reach, Visit visit) const
{
    for (int row = CellRow(y - reach); row <= CellRow(y + reach); ++row)
        for (int column = CellColumn(x - reach); column <= CellColumn(x + reach); ++column) {
            const size_t cell = size_t(row) * kColumns + column;
            for (uint32_t c = cellStarts_[cell]; c < cellStarts_[cell + 1]; ++c)
                visit(cellRings_[c]);
        }
}

PlaceData::Hit PlaceData::FindArea(double x, double y) const
{
    // The rings of one area lie together and in order in every cell: the point is in an area
    // when it is inside an odd number of its rings (holes are rings too).
    const size_t cell = size_t(CellRow(y)) * kColumns + CellColumn(x);
    int area = -1;
    bool inside = false;
    for (uint32_t c = cellStarts_[cell]; c <= cellStarts_[cell + 1]; ++c) {
        const bool end = c == cellStarts_[cell + 1];
        const Ring* ring = end ? nullptr : &rings_[cellRings_[c]];
        if (end || int(ring->area) != area) {
            if (inside)
                return {area, 0};
            if (end)
                break;
            area = int(ring->area);
            inside = false;
        }
        if (RingContains(*ring, x, y))
            inside = !inside;
    }
    return {};
}

PlaceData::Hit PlaceData::NearestArea(double x, double y) const
{
    const double reach = kSnapDegrees * kUnitsPerDegree;
    const double xScale = LongitudeScale(y);
    Hit best{-1, reach * reach};
    ForRingsNear(x, y, reach / xScale, [&](uint32_t r) {
        const Ring& ring = rings_[r];
        if (x < ring.minX - reach / xScale || x > ring.maxX + reach / xScale || y < ring.minY - reach
            || y > ring.maxY + reach)
            return;
        const double distance = RingDistance(ring, x, y, xScale);
        if (distance < best.distance || (distance == best.distance && int(ring.area) < best.area))
            best = {int(ring.area), distance};
    });
    return best;
}

int PlaceData::NearestTown(double x, double y, const char country[2]) const
{
    const double reach = kTownReachDegrees * kUnitsPerDegree;
    const double xScale = LongitudeScale(y);
    double best = reach * reach;
    int found = -1;
    for (int row = CellRow(y - reach); row <= CellRow(y + reach); ++row)
        for (int column = CellColumn(x - reach / xScale); column <= CellColumn(x + reach / xScale); ++column) {
            const size_t cell = size_t(row) * kColumns + column;
            for (uint32_t c = townCellStarts_[cell]; c < townCellStarts_[cell + 1]; ++c) {
                const Town& town = towns_[townCells_[c]];
                if (std::memcmp(town.country, country, 2) != 0)
                    continue;
                const double dx = (town.at.x - x) * xScale;
                const double dy = town.at.y - y;
                const double distance = dx * dx + dy * dy;
                if (distance < best) {
                    best = distance;
                    found = int(townCells_[c]);
                }
            }
        }
    return found;
}

QString PlaceData::PlaceAt(double longitude, double latitude) const
{
    if (!std::isfinite(longitude) || !std::isfinite(latitude) || std::abs(longitude) > 180 || std::abs(latitude) > 90)
        return kUnknownPlace;
    const double x = longitude * kUnitsPerDegree;
    const double y = latitude * kUnitsPerDegree;
    Hit hit = FindArea(x, y);
    if (hit.area < 0)
        hit = NearestArea(x, y);
    if (hit.area < 0)
        return kUnknownPlace;
    const Area& area = areas_[size_t(hit.area)];
    const QString& first = names_[area.names[0]];
    const QString& second = names_[area.names[1]];
    if (area.layer == Layer::China)
        return first + u' ' + second + u' ' + second;
    const int town = NearestTown(x, y, area.country);
    return first + u' ' + second + u' ' + (town >= 0 ? names_[towns_[size_t(town)].name] : second);
}
