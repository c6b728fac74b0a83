#include "metadata/ExifData.h"

#include "metadata/ExifSource.h"

#include <cstring>
#include <vector>

namespace {

const char kStreamReadError[] = "Stream read error";
const char kInvalidTiffData[] = "Invalid TIFF data";

constexpr uint8_t kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};

struct LoadFailure {
    const char* text;
};

// An APP1 segment's data (or an Exif resource) in memory.
struct ByteSpan {
    const uint8_t* data;
    size_t size;
};

// Where the TIFF header of an APP1 block starts, or -1 when the block is not Exif.
long ExifHeaderStart(ByteSpan block)
{
    if (block.size < 8)
        return -1;
    const size_t base = std::memcmp(block.data, kExifPrefix, 6) == 0 ? 6 : 0;
    bool bigEndian = false;
    return exif::ReadTiffHeader(block.data, block.size, base, bigEndian) ? long(base) : -1;
}

// The container recognised by the file's first bytes.
enum class Container { Unknown, Jpeg, Photoshop, Tiff };

Container Recognise(exif::StreamReader& reader)
{
    uint8_t head[12] = {};
    size_t got = sizeof head;
    while (got > 0 && !reader.Peek(head, got)) // a file shorter than 12 bytes
        --got;
    if (got >= 2 && head[0] == 0xFF && head[1] == 0xD8)
        return Container::Jpeg;
    static constexpr uint8_t kPhotoshop[12] = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
    if (got >= 12 && std::memcmp(head, kPhotoshop, 12) == 0)
        return Container::Photoshop;
    bool bigEndian = false;
    if (got >= 8 && exif::ReadTiffHeader(head, got, 0, bigEndian))
        return Container::Tiff;
    return Container::Unknown;
}

} // namespace

void TExifData::Clear()
{
    for (TExifSection& section : sections_)
        section.Clear();
}

namespace {

// Loads IFD0 and the two directories it points to from a TIFF block.
void LoadTiffBlock(const exif::TiffBlock& block, std::array<TExifSection, 3>& sections)
{
    if (block.size < block.base + 8)
        throw LoadFailure{kInvalidTiffData};
    const uint32_t firstIfd = block.U32(block.base + 4);
    if (firstIfd == 0)
        return;
    exif::LoadDirectory(block, firstIfd, sections[esGeneral]);

    const auto follow = [&](uint16_t pointerTag, TExifSection& target) {
        const TExifTag* pointer = sections[esGeneral].Find(pointerTag);
        if (!pointer || pointer->ElementCount != 1
            || (pointer->DataType != kTiffLong && pointer->DataType != kTiffIfd))
            return;
        uint32_t offset = 0;
        std::memcpy(&offset, sections[esGeneral].DataOf(*pointer), 4);
        exif::LoadDirectory(block, offset, target);
        // A directory with problems is trusted only when it still has more than two entries.
        if (target.LoadErrors != 0 && target.Tags.size() <= 2) {
            target.Tags.clear();
            target.Data.clear();
        }
    };
    follow(TExifData::kExifPointer, sections[esDetails]);
    follow(TExifData::kGpsPointer, sections[esGPS]);
}

void LoadExifBlock(ByteSpan block, long headerStart, std::array<TExifSection, 3>& sections)
{
    exif::TiffBlock tiff{block.data, block.size, size_t(headerStart), false};
    exif::ReadTiffHeader(block.data, block.size, tiff.base, tiff.bigEndian);
    LoadTiffBlock(tiff, sections);
}

// Walks the JPEG segments after SOI and loads the first Exif APP1 block. Runs on to EOI or to
// the first byte that is not a marker (the start of the compressed picture).
void WalkJpeg(exif::StreamReader& reader, std::array<TExifSection, 3>& sections)
{
    // APP1 data is at most 65535 bytes; one buffer per thread holds it without clearing it.
    thread_local uint8_t blockBuffer[65536];
    reader.Seek(2);
    bool loaded = false;
    for (;;) {
        uint8_t byte = 0;
        if (!reader.ReadByte(byte))
            throw LoadFailure{kStreamReadError};
        if (byte != 0xFF)
            return;
        uint8_t marker = 0xFF;
        while (marker == 0xFF)
            if (!reader.ReadByte(marker))
                throw LoadFailure{kStreamReadError};
        if (marker == 0xD9)
            return; // EOI
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue; // markers without a length
        uint8_t lengthBytes[2];
        if (!reader.Read(lengthBytes, 2))
            throw LoadFailure{kStreamReadError};
        const uint16_t dataBytes = uint16_t((lengthBytes[0] << 8 | lengthBytes[1]) - 2);
        if (marker != 0xE1) {
            reader.Skip(dataBytes);
            continue;
        }
        const ByteSpan block{blockBuffer, dataBytes};
        if (!reader.Read(blockBuffer, dataBytes))
            throw LoadFailure{kStreamReadError};
        if (loaded)
            continue;
        const long headerStart = ExifHeaderStart(block);
        if (headerStart >= 0) {
            LoadExifBlock(block, headerStart, sections);
            loaded = true;
        }
    }
}

// Finds the Exif resource (id 0x0422) among a Photoshop document's image resources.
void LoadPhotoshop(exif::StreamReader& reader, std::array<TExifSection, 3>& sections)
{
    const auto readU32 = [&](uint32_t& value) {
        uint8_t b[4];
        if (!reader.Read(b, 4))
            return false;
        value = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
        return true;
    };
    uint32_t colourModeBytes = 0;
    uint32_t resourceBytes = 0;
    reader.Seek(26);
    if (!readU32(colourModeBytes))
        return;
    reader.Skip(colourModeBytes);
    if (!readU32(resourceBytes))
        return;
    const uint64_t end = reader.Position() + resourceBytes;
    while (reader.Position() + 12 <= end) {
        uint8_t head[7]; // "8BIM", id, name length
        if (!reader.Read(head, 7) || std::memcmp(head, "8BIM", 4) != 0)
            return;
        const uint16_t id = uint16_t(head[4] << 8 | head[5]);
        reader.Skip(head[6] + ((head[6] + 1) % 2)); // the name is padded to an even size
        uint32_t dataBytes = 0;
        if (!readU32(dataBytes))
            return;
        if (id == 0x0422 && dataBytes <= 16u * 1024 * 1024) {
            std::vector<uint8_t> block(dataBytes);
            if (!reader.Read(block.data(), block.size()))
                return;
            const ByteSpan span{block.data(), block.size()};
            const long headerStart = ExifHeaderStart(span);
            if (headerStart >= 0)
                LoadExifBlock(span, headerStart, sections);
            return;
        }
        reader.Skip(dataBytes + (dataBytes % 2));
    }
}

ExifLoadResult LoadFromSource(exif::ByteSource& source, std::array<TExifSection, 3>& sections)
{
    ExifLoadResult result;
    try {
        exif::StreamReader reader(source); // its first read brings the whole header of most photos
        switch (Recognise(reader)) {
        case Container::Jpeg:
            result.recognised = true;
            WalkJpeg(reader, sections);
            break;
        case Container::Photoshop:
            result.recognised = true;
            LoadPhotoshop(reader, sections);
            break;
        case Container::Tiff: {
            result.recognised = true;
            const uint8_t* whole = source.Whole();
            if (!whole)
                throw LoadFailure{kStreamReadError};
            exif::TiffBlock block{whole, size_t(source.Size()), 0, false};
            exif::ReadTiffHeader(whole, block.size, 0, block.bigEndian);
            LoadTiffBlock(block, sections);
            break;
        }
        case Container::Unknown:
            break;
        }
    } catch (const LoadFailure& failure) {
        result.ok = false;
        result.error = QString::fromLatin1(failure.text);
    }
    return result;
}

} // namespace

ExifLoadResult TExifData::LoadFromGraphic(const QString& fileName)
{
    Clear();
    exif::FileSource file;
    QString reason;
    if (!file.Open(fileName, &reason)) {
        ExifLoadResult result;
        result.ok = false;
        result.error = QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, reason);
        return result;
    }
    return LoadFromSource(file, sections_);
}

ExifLoadResult TExifData::LoadFromBytes(const uint8_t* data, size_t size)
{
    Clear();
    exif::MemorySource memory(data, size);
    return LoadFromSource(memory, sections_);
}

TDateTimeTagValue TExifData::DateTimeDigitized() const
{
    TDateTimeTagValue result;
    const TExifSection& details = sections_[esDetails];
    const TExifTag* tag = details.Find(kDateTimeDigitized);
    if (!tag || tag->DataType != kTiffAscii || tag->ElementCount < 1)
        return result;
    const uint8_t* bytes = details.DataOf(*tag);
    size_t length = tag->DataBytes;
    if (bytes[length - 1] < 33)
        --length; // one terminating byte (usually the zero) is not part of the text
    // "yyyy:mm:dd hh:mm:ss": 19 characters with ':' at positions 5 and 8 (counting from 1).
    if (length != 19 || bytes[4] != ':' || bytes[7] != ':')
        return result;
    const auto number = [&](size_t at, size_t digits, int& value) {
        value = 0;
        for (size_t i = at; i < at + digits; ++i) {
            if (bytes[i] < '0' || bytes[i] > '9')
                return false;
            value = value * 10 + (bytes[i] - '0');
        }
        return true;
    };
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day) || !number(11, 2, hour)
        || !number(14, 2, minute) || !number(17, 2, second))
        return result;
    if (year < 1 || !QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return result;
    qint64 milliseconds = ((hour * 60 + minute) * 60 + second) * qint64(1000);

    const TExifTag* subSeconds = details.Find(kSubSecTimeDigitized);
    if (subSeconds && subSeconds->DataType == kTiffAscii && subSeconds->ElementCount > 1) {
        uint8_t digits[3] = {'0', '0', '0'};
        const int taken = std::min(3, subSeconds->ElementCount - 1);
        std::memcpy(digits, details.DataOf(*subSeconds), size_t(taken));
        int fraction = 0;
        bool converted = true;
        for (uint8_t digit : digits) {
            converted = converted && digit >= '0' && digit <= '9';
            fraction = fraction * 10 + (digit - '0');
        }
        if (converted)
            milliseconds += fraction;
    }
    const QDateTime value(QDate(year, month, day), QTime::fromMSecsSinceStartOfDay(int(milliseconds)), Qt::UTC);
    result.Value = DateTimeToDays(value);
    return result;
}

TTiffLongWordFraction TExifData::GpsElement(uint16_t tagNumber, int i) const
{
    const TExifTag* tag = sections_[esGPS].Find(tagNumber);
    if (!tag || (tag->DataType != kTiffRational && tag->DataType != kTiffSRational) || i < 0
        || i >= tag->ElementCount)
        return {};
    TTiffLongWordFraction value;
    const uint8_t* pair = sections_[esGPS].DataOf(*tag) + size_t(i) * 8;
    std::memcpy(&value.Numerator, pair, 4);
    std::memcpy(&value.Denominator, pair + 4, 4);
    return value;
}

TTiffLongWordFraction TExifData::GPSLatitude(int i) const { return GpsElement(kGpsLatitude, i); }
TTiffLongWordFraction TExifData::GPSLongitude(int i) const { return GpsElement(kGpsLongitude, i); }

char TExifData::GpsRef(uint16_t tagNumber) const
{
    const TExifTag* tag = sections_[esGPS].Find(tagNumber);
    if (!tag || tag->DataType != kTiffAscii || tag->ElementCount < 1)
        return 0;
    return char(sections_[esGPS].DataOf(*tag)[0]);
}

char TExifData::GPSLatitudeRef() const { return GpsRef(kGpsLatitudeRef); }
char TExifData::GPSLongitudeRef() const { return GpsRef(kGpsLongitudeRef); }

double GpsDegrees(const TTiffLongWordFraction& degrees, const TTiffLongWordFraction& minutes,
                  const TTiffLongWordFraction& seconds, char ref)
{
    const double value = degrees.Quotient() + minutes.Quotient() / 60.0 + seconds.Quotient() / 3600.0;
    return (ref == 'S' || ref == 's' || ref == 'W' || ref == 'w') ? -value : value;
}
