#include "services/PlaceResolver.h"

PlaceResolver::PlaceResolver(GeoMode mode, WebLookup web, DataSource offline)
    : mode_(mode)
    , web_(web ? std::move(web)
               : WebLookup([](const QString& longitude, const QString& latitude, std::stop_token stop) {
                     return AskWebForPlace(CurrentGeocoderConfig(), longitude, latitude, std::move(stop));
                 }))
    , offline_(offline ? std::move(offline) : DataSource(SharedPlaceData))
{
}

bool PlaceResolver::WebDownLocked() const
{
    return webDownSince_.isValid() && webDownSince_.elapsed() < kWebRetryMs;
}

PlaceAnswer PlaceResolver::Offline(const QString& longitude, const QString& latitude, bool webFailed)
{
    const OfflinePlaceData shared = offline_();
    {
        std::lock_guard lock(mutex_);
        data_ = shared.data ? DataState::Loaded : DataState::Unusable;
    }
    if (!shared.data)
        return {kPlaceUnknown, PlaceAnswer::Source::None, webFailed, shared.error};
    return {OfflinePlaceText(*shared.data, longitude, latitude), PlaceAnswer::Source::Offline, webFailed, {}};
}

PlaceAnswer PlaceResolver::Resolve(const QString& longitude, const QString& latitude, std::stop_token stop)
{
    if (mode_ == GeoMode::Offline)
        return Offline(longitude, latitude, false);
    if (mode_ == GeoMode::Auto) {
        bool webDown = false;
        {
            std::lock_guard lock(mutex_);
            webDown = WebDownLocked();
        }
        if (webDown) {
            PlaceAnswer answer = Offline(longitude, latitude, true);
            if (answer.source == PlaceAnswer::Source::Offline)
                return answer;
            // Without offline data the web is all there is: ask it, as without this fallback.
        }
    }

    const WebPlace web = web_(longitude, latitude, stop);
    if (stop.stop_requested())
        return {kPlaceUnknown, PlaceAnswer::Source::None, false, {}};
    switch (web.outcome) {
    case WebOutcome::Place:
    case WebOutcome::Busy:
        return {web.place, PlaceAnswer::Source::Web, false, {}};
    case WebOutcome::Unreachable:
        if (mode_ == GeoMode::Auto) {
            std::lock_guard lock(mutex_);
            webDownSince_.start();
        }
        break;
    case WebOutcome::NoPlace:
        break;
    }
    // The web answered without a place, or could not be reached: only the latter is a failure.
    const bool failed = web.outcome == WebOutcome::Unreachable;
    if (mode_ == GeoMode::Auto)
        return Offline(longitude, latitude, failed);
    return {web.place, PlaceAnswer::Source::Web, failed, {}};
}

std::optional<PlaceAnswer> PlaceResolver::ResolveOfflineNow(const QString& longitude, const QString& latitude)
{
    {
        std::lock_guard lock(mutex_);
        const bool offlineNow = (mode_ == GeoMode::Offline && data_ != DataState::Untried)
            || (mode_ == GeoMode::Auto && WebDownLocked() && data_ == DataState::Loaded);
        if (!offlineNow)
            return std::nullopt;
    }
    return Offline(longitude, latitude, mode_ != GeoMode::Offline);
}

void PlaceResolver::NewPass()
{
    std::lock_guard lock(mutex_);
    webDownSince_.invalidate();
}
