#pragma once
// Turns a position into a place text through the reverse geocoder web service:
// "city district street", "..." (the service asks to be asked again later) or "未知".

#include <QString>
#include <stop_token>

class IniFile;

inline const QString kPlaceUnknown = QStringLiteral("未知");
inline const QString kPlacePending = QStringLiteral("...");

struct GeocoderConfig {
    QString baseUrl = QStringLiteral("https://apis.map.qq.com");
    QString key = QStringLiteral("QXTRM-B48KD-W7ZP3-N2HVA-9GJ6L-E5YUC");
    int connectTimeoutMs = 10000;
    int totalTimeoutMs = 20000;
};

// The service's address and key: the defaults, replaced by the sections GeoServiceUrl and
// GeoServiceKey of the settings file when they are there (the program never writes them).
GeocoderConfig ReadGeocoderConfig(const IniFile& settings);

// The configuration GetPlaceName uses; set once at start-up, before any lookup runs.
void SetGeocoderConfig(const GeocoderConfig& config);
GeocoderConfig CurrentGeocoderConfig();

// The request address: base + "/ws/geocoder/v1/?location=" + latitude + "," + longitude +
// "&get_poi=0&key=" + key. The texts go in as they are.
QString GeocoderUrl(const GeocoderConfig& config, const QString& longitude, const QString& latitude);

// The place text of a service answer (the JSON body).
QString PlaceFromAnswer(const QString& body);

// Asks the service for the place at (longitude, latitude), the texts as the catalogue holds
// them. Blocks until the answer or a failure; a stop request gives "未知" at once.
QString GetPlaceName(const QString& longitude, const QString& latitude, std::stop_token stop = {});
QString GetPlaceName(const GeocoderConfig& config, const QString& longitude, const QString& latitude,
                     std::stop_token stop = {});
