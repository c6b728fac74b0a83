#pragma once
// Which geocoder names a position: the web service, the offline data, or the web first with
// the offline data when the web cannot answer (GeoMode). After the web failed to answer, the
// rest of the pass is named offline at once, and the web is tried again on the next pass or a
// minute later, so a card is placed in seconds rather than one time-out per cell.

#include "services/Geocoder.h"
#include "services/OfflineGeocoder.h"

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>

struct PlaceAnswer {
    enum class Source { Web, Offline, None };
    QString place;
    Source source = Source::None;
    bool webFailed = false; // the web was asked and could not answer
    QString offlineError;   // the offline data was wanted but could not be used: why

    // Only the web's answers go into the location cache: offline ones are cheap to make again
    // and must not keep a later web answer out.
    bool Cacheable() const { return source == Source::Web && place != kPlaceUnknown && place != kPlacePending; }
};

class PlaceResolver {
public:
    using WebLookup = std::function<WebPlace(const QString& longitude, const QString& latitude, std::stop_token stop)>;
    using DataSource = std::function<OfflinePlaceData()>;

    static constexpr int kWebRetryMs = 60000;

    // By default the web is the service of CurrentGeocoderConfig and the data the shared file.
    explicit PlaceResolver(GeoMode mode, WebLookup web = {}, DataSource offline = {});

    // The place of a position (texts as GetPlaceName takes them). May block on the web; safe
    // to call from several threads.
    PlaceAnswer Resolve(const QString& longitude, const QString& latitude, std::stop_token stop = {});

    // The offline answer when this position would be named offline now without a question to
    // the web and the data has been tried already (loaded, or in offline mode found unusable);
    // nothing otherwise. Never blocks on the web or on loading the data.
    std::optional<PlaceAnswer> ResolveOfflineNow(const QString& longitude, const QString& latitude);

    // A new pass: the web is tried again.
    void NewPass();

    GeoMode Mode() const { return mode_; }

private:
    PlaceAnswer Offline(const QString& longitude, const QString& latitude, bool webFailed);
    bool WebDownLocked() const;

    const GeoMode mode_;
    const WebLookup web_;
    const DataSource offline_;
    mutable std::mutex mutex_;
    enum class DataState { Untried, Loaded, Unusable };
    QElapsedTimer webDownSince_;            // guarded by mutex_; valid while the web is given up on
    DataState data_ = DataState::Untried;   // guarded by mutex_
};
