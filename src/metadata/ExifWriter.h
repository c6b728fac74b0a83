#pragma once
// Writes small Exif blocks: IFD0 pointing to an Exif IFD and a GPS IFD. Frame captures use it
// to record their time and place; the tests use it to make photos with known metadata.

#include "metadata/ExifValues.h"
#include "metadata/TiffDirectory.h"

#include <QByteArray>
#include <QDateTime>
#include <array>
#include <optional>
#include <vector>

// A TIFF block with up to three directories. Directories are laid out after the 8-byte header
// in the order IFD0, Exif IFD, GPS IFD, followed by the data that does not fit in an entry.
class TiffWriter {
public:
    enum Directory { kIfd0 = 0, kExifIfd = 1, kGpsIfd = 2 };

    struct Layout {
        QByteArray tiff;                     // starts with the header
        std::array<uint32_t, 3> ifdOffsets{}; // from the header; 0 for an absent directory
    };

    explicit TiffWriter(bool bigEndian) : bigEndian_(bigEndian) {}

    // An entry whose elements are given as numbers (a rational takes two: numerator,
    // denominator). Entries are written in the order added.
    void Add(Directory directory, uint16_t tag, uint16_t type, std::vector<uint32_t> elements);
    void AddAscii(Directory directory, uint16_t tag, const QByteArray& textWithTerminator);
    void AddRationals(Directory directory, uint16_t tag, const std::vector<TTiffLongWordFraction>& values);

    // The block; IFD0 gets LONG pointers to the Exif and GPS directories that have entries.
    Layout Build() const;

private:
    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        QByteArray bytes; // in the block's byte order
    };
    void Append(QByteArray& out, uint32_t value, int width) const;

    bool bigEndian_;
    std::array<std::vector<Entry>, 3> entries_;
};

// Degrees, minutes and seconds of a coordinate as rationals (seconds over secondsDenominator,
// 1/10000 unless told), with its hemisphere letter.
struct GpsCoordinate {
    std::array<TTiffLongWordFraction, 3> dms;
    char ref = 0;
};
// latitude: 'N' or 'S'; otherwise 'E' or 'W'; the rationals are absolute values.
GpsCoordinate GpsFromDegrees(double degrees, bool latitude, uint32_t secondsDenominator = 10000);

struct ExifFields {
    std::optional<QDateTime> original;  // DateTimeOriginal, "yyyy:MM:dd HH:mm:ss"
    std::optional<QDateTime> digitized; // DateTimeDigitized, the same form
    std::optional<QByteArray> subSecDigitized;
    std::optional<GpsCoordinate> latitude;
    std::optional<GpsCoordinate> longitude;
    bool bigEndian = false;
};

// The data of an APP1 segment: "Exif\0\0" and a TIFF block with the given fields.
QByteArray BuildExifApp1(const ExifFields& fields);

// A JPEG with an APP1 segment holding data inserted right after its SOI marker; an empty
// array when jpeg does not start with SOI or the data does not fit in one segment.
QByteArray InsertApp1Segment(const QByteArray& jpeg, const QByteArray& app1Data);
