#pragma once
// Turns a position into a place text through the reverse geocoder web service:
// "city district street", "..." (the service asks to be asked again later) or "未知".

#include <QString>
#include <stop_token>

class IniFile;

inline const QString kPlaceUnknown = QStringLiteral("未知");
inline const QString kPlacePending = QStringLiteral("...");

// Where place names come from (settings section GeoMode): the web first with the offline data
// when the web cannot answer, the web only, or the offline data only.
enum class GeoMode { Auto, Web, Offline };

struct GeocoderConfig {
    QString baseUrl = QStringLiteral("https://apis.map.qq.com");
    QString key = QStringLiteral("QXTRM-B48KD-W7ZP3-N2HVA-9GJ6L-E5YUC");
    int connectTimeoutMs = 10000;
    int totalTimeoutMs = 20000;
    GeoMode mode = GeoMode::Auto;
};

// The service's address and key: the defaults, replaced by the sections GeoServiceUrl and
// GeoServiceKey of the settings file when they are there, and the mode of section GeoMode
// ("auto", "web" or "offline"; anything else is auto). The program never writes them.
GeocoderConfig ReadGeocoderConfig(const IniFile& settings);

// The configuration GetPlaceName uses; set once at start-up, before any lookup runs.
void SetGeocoderConfig(const GeocoderConfig& config);
GeocoderConfig CurrentGeocoderConfig();

// The request address: base + "/ws/geocoder/v1/?location=" + latitude + "," + longitude +
// "&get_poi=0&key=" + key. The texts go in as they are.
QString GeocoderUrl(const GeocoderConfig& config, const QString& longitude, const QString& latitude);

// What became of a question to the service.
enum class WebOutcome {
    Place,       // a place text
    Busy,        // status 120: "...", ask again later
    NoPlace,     // the service answered without a place: "未知"
    Unreachable, // no answer from the service: no connection, time-out, HTTP error, a body that
                 // is not the service's JSON ("未知")
};

struct WebPlace {
    QString place;
    WebOutcome outcome;
};

// The place text of a service answer (the JSON body), and what kind of answer it was.
WebPlace ReadServiceAnswer(const QString& body);
QString PlaceFromAnswer(const QString& body);

// Asks the service; GetPlaceName is its place text.
WebPlace AskWebForPlace(const GeocoderConfig& config, const QString& longitude, const QString& latitude,
                        std::stop_token stop = {});

// Asks the service for the place at (longitude, latitude), the texts as the catalogue holds
// them. Blocks until the answer or a failure; a stop request gives "未知" at once.
QString GetPlaceName(const QString& longitude, const QString& latitude, std::stop_token stop = {});
QString GetPlaceName(const GeocoderConfig& config, const QString& longitude, const QString& latitude,
                     std::stop_token stop = {});
