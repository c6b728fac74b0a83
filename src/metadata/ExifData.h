#pragma once
// A photo's Exif metadata, read tolerantly from a JPEG file (or a bare TIFF stream, or the
// Exif resource of a Photoshop document). Only IFD0, the Exif IFD and the GPS IFD are decoded,
// and only the header segments of a JPEG are read, never the compressed picture.

#include "metadata/ExifValues.h"
#include "metadata/TiffDirectory.h"

#include <QString>
#include <array>

enum TExifSectionKind { esGeneral = 0, esDetails = 1, esGPS = 2 };

// The outcome of a load. A failure ends the load with one of the error texts
// "Cannot open file "<name>". <reason>", "Stream read error" or "Invalid TIFF data".
struct ExifLoadResult {
    bool ok = true;
    bool recognised = false; // the container format was one the reader knows
    QString error;
};

class TExifData {
public:
    // Tag numbers the program reads.
    static constexpr uint16_t kExifPointer = 0x8769;
    static constexpr uint16_t kGpsPointer = 0x8825;
    static constexpr uint16_t kDateTimeDigitized = 0x9004;
    static constexpr uint16_t kSubSecTimeDigitized = 0x9292;
    static constexpr uint16_t kGpsLatitudeRef = 1;
    static constexpr uint16_t kGpsLatitude = 2;
    static constexpr uint16_t kGpsLongitudeRef = 3;
    static constexpr uint16_t kGpsLongitude = 4;

    // Reads the metadata of a file; the file is open only during the call.
    ExifLoadResult LoadFromGraphic(const QString& fileName);
    // The same rules on a memory image of a whole file.
    ExifLoadResult LoadFromBytes(const uint8_t* data, size_t size);
    void Clear();

    const TExifSection& Section(TExifSectionKind kind) const { return sections_[kind]; }

    // Exif tag 0x9004 with SubSecTimeDigitized's milliseconds; missing unless well formed.
    TDateTimeTagValue DateTimeDigitized() const;
    // Element i (0 degrees, 1 minutes, 2 seconds) of GPS tag 2 / tag 4; 0/0 when absent.
    TTiffLongWordFraction GPSLatitude(int i) const;
    TTiffLongWordFraction GPSLongitude(int i) const;
    // The hemisphere letters of GPS tags 1 and 3 ('N'/'S', 'E'/'W'), 0 when absent.
    char GPSLatitudeRef() const;
    char GPSLongitudeRef() const;

private:
    TTiffLongWordFraction GpsElement(uint16_t tag, int i) const;
    char GpsRef(uint16_t tag) const;

    std::array<TExifSection, 3> sections_;
};

// Decimal degrees of a degrees/minutes/seconds triple, made negative for 'S' and 'W'.
double GpsDegrees(const TTiffLongWordFraction& degrees, const TTiffLongWordFraction& minutes,
                  const TTiffLongWordFraction& seconds, char ref);
