#pragma once
// JPEG files made in code for the metadata tests: synthetic segment streams for the segment
// walk, and real pictures encoded with libjpeg-turbo for the cross-check with exiftool.

#include "metadata/ExifData.h"
#include "metadata/ExifWriter.h"

#include <QByteArray>
#include <optional>
#include <utility>
#include <vector>

struct Segment {
    uint8_t marker;
    QByteArray data;
};

// SOI, the segments, a start-of-scan header with a few bytes of "picture", and EOI.
QByteArray SyntheticJpeg(const std::vector<Segment>& segments);

// A real baseline JPEG of a width x height picture (a gradient that depends on seed).
QByteArray EncodedJpeg(int width, int height, int seed);

// A small real photo with an Exif block holding fields (no Exif block when fields is empty).
QByteArray PhotoBytes(const std::optional<ExifFields>& fields);

// Writes bytes to a file, making its folders; false when that fails.
bool WriteBytes(const QString& path, const QByteArray& bytes);

// Loads metadata from bytes in memory.
struct LoadedExif {
    TExifData data;
    ExifLoadResult result;
};
LoadedExif LoadBytes(const QByteArray& bytes);

// Overwrites 2 or 4 bytes at position pos with value in the given byte order.
void Patch16(QByteArray& bytes, qsizetype pos, uint16_t value, bool bigEndian);
void Patch32(QByteArray& bytes, qsizetype pos, uint32_t value, bool bigEndian);

// "yyyy:MM:dd HH:mm:ss.zzz" of a date-time value, or "missing".
QString DateText(const TDateTimeTagValue& value);
