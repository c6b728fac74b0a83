#include "services/Geocoder.h"

#include "services/HttpClient.h"
#include "services/IniFile.h"
#include "services/JsonText.h"

#include "core/Guarded.h"

#include <nlohmann/json.hpp>

namespace {
TGuarded<GeocoderConfig> currentConfig;
} // namespace

GeocoderConfig ReadGeocoderConfig(const IniFile& settings)
{
    GeocoderConfig config;
    config.baseUrl = settings.ReadString(QStringLiteral("GeoServiceUrl"), QStringLiteral("GeoServiceUrl"), config.baseUrl);
    config.key = settings.ReadString(QStringLiteral("GeoServiceKey"), QStringLiteral("GeoServiceKey"), config.key);
    while (config.baseUrl.endsWith(u'/'))
        config.baseUrl.chop(1);
    const QString mode = settings.ReadString(QStringLiteral("GeoMode"), QStringLiteral("GeoMode"), QString()).trimmed();
    if (mode.compare(QStringLiteral("web"), Qt::CaseInsensitive) == 0)
        config.mode = GeoMode::Web;
    else if (mode.compare(QStringLiteral("offline"), Qt::CaseInsensitive) == 0)
        config.mode = GeoMode::Offline;
    return config;
}

void SetGeocoderConfig(const GeocoderConfig& config)
{
    currentConfig = config;
}

GeocoderConfig CurrentGeocoderConfig()
{
    return currentConfig;
}

QString GeocoderUrl(const GeocoderConfig& config, const QString& longitude, const QString& latitude)
{
    return config.baseUrl + QStringLiteral("/ws/geocoder/v1/?location=") + latitude + u',' + longitude
        + QStringLiteral("&get_poi=0&key=") + config.key;
}

WebPlace ReadServiceAnswer(const QString& body)
{
    const nlohmann::json answer = nlohmann::json::parse(body.toStdString(), nullptr, false);
    if (answer.is_discarded() || !answer.is_object())
        return {kPlaceUnknown, WebOutcome::Unreachable};
    const auto status = answer.find("status");
    if (status == answer.end() || !status->is_number_integer())
        return {kPlaceUnknown, WebOutcome::Unreachable};
    const auto code = status->get<long long>();
    if (code == 120)
        return {kPlacePending, WebOutcome::Busy};
    if (code != 0)
        return {kPlaceUnknown, WebOutcome::NoPlace};
    const auto city = JsonText(answer, {"result", "address_component", "city"});
    const auto district = JsonText(answer, {"result", "address_component", "district"});
    const auto street = JsonText(answer, {"result", "formatted_addresses", "recommend"});
    if (!city || !district || !street)
        return {kPlaceUnknown, WebOutcome::NoPlace};
    return {*city + u' ' + *district + u' ' + *street, WebOutcome::Place};
}

QString PlaceFromAnswer(const QString& body)
{
    return ReadServiceAnswer(body).place;
}

WebPlace AskWebForPlace(const GeocoderConfig& config, const QString& longitude, const QString& latitude,
                        std::stop_token stop)
{
    HttpOptions options;
    options.connectTimeoutMs = config.connectTimeoutMs;
    options.totalTimeoutMs = config.totalTimeoutMs;
    options.stop = std::move(stop);
    const QString body = HttpGet(GeocoderUrl(config, longitude, latitude), false, options);
    return body.isEmpty() ? WebPlace{kPlaceUnknown, WebOutcome::Unreachable} : ReadServiceAnswer(body);
}

QString GetPlaceName(const GeocoderConfig& config, const QString& longitude, const QString& latitude,
                     std::stop_token stop)
{
    return AskWebForPlace(config, longitude, latitude, std::move(stop)).place;
}

QString GetPlaceName(const QString& longitude, const QString& latitude, std::stop_token stop)
{
    return GetPlaceName(CurrentGeocoderConfig(), longitude, latitude, std::move(stop));
}
