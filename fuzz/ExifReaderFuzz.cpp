// Loads arbitrary bytes as a photo file and reads every value the program uses. Nothing may
// crash, read out of bounds or hang, whatever the bytes are.

#include "metadata/ExifData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TExifData exif;
    const ExifLoadResult result = exif.LoadFromBytes(data, size);
    (void)result;
    exif.DateTimeDigitized().AsString();
    for (int i = -1; i < 4; ++i) {
        exif.GPSLatitude(i).AsString();
        exif.GPSLongitude(i).AsString();
    }
    exif.GPSLatitudeRef();
    exif.GPSLongitudeRef();
    return 0;
}
