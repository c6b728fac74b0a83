#include "services/Geocoder.h"

#include "services/HttpClient.h"
#include "services/IniFile.h"

#include <mutex>
#include <nlohmann/json.hpp>

namespace {
std::mutex configMutex;
GeocoderConfig currentConfig; // guarded by configMutex

// A member's value as text, whatever its JSON kind; nothing when it is missing or null.
std::optional<QString> TextOf(const nlohmann::json& object, std::initializer_list<const char*> path)
{
    const nlohmann::json* node = &object;
    for (const char* name : path) {
        if (!node->is_object())
            return std::nullopt;
        const auto member = node->find(name);
        if (member == node->end())
            return std::nullopt;
        node = &*member;
    }
    if (node->is_null())
        return std::nullopt;
    if (node->is_string())
        return QString::fromStdString(node->get<std::string>());
    return QString::fromStdString(node->dump());
}
} // namespace

GeocoderConfig ReadGeocoderConfig(const IniFile& settings)
{
    GeocoderConfig config;
    config.baseUrl = settings.ReadString(QStringLiteral("GeoServiceUrl"), QStringLiteral("GeoServiceUrl"), config.baseUrl);
    config.key = settings.ReadString(QStringLiteral("GeoServiceKey"), QStringLiteral("GeoServiceKey"), config.key);
    while (config.baseUrl.endsWith(u'/'))
        config.baseUrl.chop(1);
    return config;
}

void SetGeocoderConfig(const GeocoderConfig& config)
{
    std::lock_guard lock(configMutex);
    currentConfig = config;
}

GeocoderConfig CurrentGeocoderConfig()
{
    std::lock_guard lock(configMutex);
    return currentConfig;
}

QString GeocoderUrl(const GeocoderConfig& config, const QString& longitude, const QString& latitude)
{
    return config.baseUrl + QStringLiteral("/ws/geocoder/v1/?location=") + latitude + u',' + longitude
        + QStringLiteral("&get_poi=0&key=") + config.key;
}

QString PlaceFromAnswer(const QString& body)
{
    const nlohmann::json answer = nlohmann::json::parse(body.toStdString(), nullptr, false);
    if (answer.is_discarded() || !answer.is_object())
        return kPlaceUnknown;
    const auto status = answer.find("status");
    if (status == answer.end() || !status->is_number_integer())
        return kPlaceUnknown;
    const auto code = status->get<long long>();
    if (code == 120)
        return kPlacePending;
    if (code != 0)
        return kPlaceUnknown;
    const auto city = TextOf(answer, {"result", "address_component", "city"});
    const auto district = TextOf(answer, {"result", "address_component", "district"});
    const auto street = TextOf(answer, {"result", "formatted_addresses", "recommend"});
    if (!city || !district || !street)
        return kPlaceUnknown;
    return *city + u' ' + *district + u' ' + *street;
}

QString GetPlaceName(const GeocoderConfig& config, const QString& longitude, const QString& latitude,
                     std::stop_token stop)
{
    HttpOptions options;
    options.connectTimeoutMs = config.connectTimeoutMs;
    options.totalTimeoutMs = config.totalTimeoutMs;
    options.stop = std::move(stop);
    const QString body = HttpGet(GeocoderUrl(config, longitude, latitude), false, options);
    return body.isEmpty() ? kPlaceUnknown : PlaceFromAnswer(body);
}

QString GetPlaceName(const QString& longitude, const QString& latitude, std::stop_token stop)
{
    return GetPlaceName(CurrentGeocoderConfig(), longitude, latitude, std::move(stop));
}
