// Feeds arbitrary bytes to the offline place data's reader as a file body. Nothing may crash,
// hang or allocate without bound; data that reads must answer look-ups anywhere.

#include "services/PlaceData.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const auto places = PlaceData::FromBody(body, error);
    if (!places)
        return 0;
    for (double longitude = -180; longitude <= 180; longitude += 22.5)
        for (double latitude = -90; latitude <= 90; latitude += 11.25)
            places->PlaceAt(longitude, latitude);
    places->PlaceAt(100.5, 30.5);
    places->PlaceAt(10.98, 10.5);
    return 0;
}
