#include "catalogue/LocationPass.h"

#include "core/UiHandover.h"

#include "catalogue/Catalogue.h"
#include "core/BackgroundTask.h"
#include "core/Helpers.h"
#include "services/Geocoder.h"
#include "services/LocationCache.h"
#include "services/PlaceResolver.h"

#include <QHash>
#include <array>
#include <optional>

namespace {
const QString kGpsTable = QStringLiteral("GPS");
const QString kNoPositionText = QStringLiteral("0.0000,0.0000");
} // namespace

LocationPass::LocationPass(Catalogue& catalogue, std::unique_ptr<PlaceResolver> resolver, QObject* parent)
    : QObject(parent)
    , catalogue_(catalogue)
    , resolver_(std::move(resolver))
{
}

void LocationPass::BeginPass()
{
    resolver_->NewPass();
    toldOffline_ = false;
    toldOfflineError_ = false;
}

void LocationPass::Tell(const PlaceAnswer& answer)
{
    if (answer.source == PlaceAnswer::Source::Offline && !toldOffline_) {
        toldOffline_ = true;
        emit statusMessage(answer.webFailed ? QStringLiteral("联网查询地名失败，已改用离线数据（没有街道名）")
                                            : QStringLiteral("地名来自离线数据（没有街道名）"));
    }
    if (!answer.offlineError.isEmpty() && !toldOfflineError_) {
        toldOfflineError_ = true;
        emit statusMessage(answer.offlineError
                           + (resolver_->Mode() == GeoMode::Offline ? QStringLiteral("，无法离线查询地名")
                                                                    : QStringLiteral("，地名只能联网查询")));
    }
}

LocationPass::~LocationPass()
{
    if (lookup_) {
        lookup_->RequestStop();
        lookup_->WaitUntilEnded();
    }
}

bool LocationPass::Tick()
{
    QElapsedTimer spent;
    spent.start();
    bool pending = false;
    // What the cache said about each cell during this tick: a place, or nothing.
    QHash<QString, std::optional<QString>> cellsSeen;
    CatalogueListModel& rows = catalogue_.rows();
    const int count = rows.rowCount();

    for (int row = 0; row < count; ++row) {
        if (TrimLowChars(rows.cell(row, kColLocation)) != kPlacePending)
            continue;
        const PListviewdata record = catalogue_.index().find(catalogue_.RowKey(row));
        if (!record)
            continue;
        pending = true;
        if (spent.elapsed() >= kTickBudgetMs)
            break; // the rest next tick

        const QString gps = TrimLowChars(record->filegps);
        std::array<QString, 2> pieces;
        SplitStr(gps, pieces, u',');
        bool longitudeOk = false;
        bool latitudeOk = false;
        const double longitude = pieces[0].toDouble(&longitudeOk);
        const double latitude = pieces[1].toDouble(&latitudeOk);
        if (gps == kNoPositionText || !longitudeOk || !latitudeOk) {
            // No position, or one that is not two numbers: nothing to look up.
            rows.setCell(row, kColLocation, kPlaceUnknown);
            continue;
        }
        const QString cell = GpsCellKey(longitude, latitude);
        if (lookupUnderWay_ && cell == lookupCell_)
            continue; // its answer is on the way

        auto seen = cellsSeen.find(cell);
        if (seen == cellsSeen.end()) {
            QString place;
            seen = cellsSeen.insert(cell, QueryValue(cell, kGpsTable, place) ? std::optional(place) : std::nullopt);
        }
        if (seen.value()) {
            rows.setCell(row, kColLocation, *seen.value());
            continue;
        }
        if (const auto offline = resolver_->ResolveOfflineNow(pieces[0], pieces[1])) {
            rows.setCell(row, kColLocation, offline->place);
            Tell(*offline);
            continue;
        }
        const bool refusedRecently = sinceRefusal_.isValid() && sinceRefusal_.elapsed() < kRetryAfterRefusalMs;
        if (!lookupUnderWay_ && !refusedRecently)
            StartLookup(catalogue_.RowKey(row), cell, pieces[0], pieces[1]);
    }
    return pending;
}

void LocationPass::StartLookup(const QString& rowKey, const QString& cellKey, const QString& longitude,
                               const QString& latitude)
{
    lookupUnderWay_ = true;
    lookupCell_ = cellKey;
    ++lookupsMade_;
    // The previous lookup has delivered its answer already: its task has ended.
    const QPointer<QObject> self(this);
    lookup_ = BackgroundTask::Start([this, self, rowKey, cellKey, longitude, latitude](BackgroundTask& task) {
        const PlaceAnswer answer = resolver_->Resolve(longitude, latitude, task.StopToken());
        if (task.StopRequested())
            return;
        UiHandover::Post(self, [this, rowKey, cellKey, answer] { Deliver(rowKey, cellKey, answer); });
    });
}

void LocationPass::Deliver(const QString& rowKey, const QString& cellKey, const PlaceAnswer& answer)
{
    lookupUnderWay_ = false;
    lookupCell_.clear();
    if (answer.place == kPlacePending)
        sinceRefusal_.start();
    else if (answer.Cacheable())
        InsertValue(cellKey, answer.place, kGpsTable);
    Tell(answer);

    // The row may have moved (sorting) or been edited meanwhile: find it by its key, and leave
    // a text the user typed alone.
    CatalogueListModel& rows = catalogue_.rows();
    const int row = catalogue_.RowOfKey(rowKey);
    if (row >= 0 && TrimLowChars(rows.cell(row, kColLocation)) == kPlacePending)
        rows.setCell(row, kColLocation, answer.place);
    emit answerWritten();
}
