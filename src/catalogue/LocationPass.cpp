#include "catalogue/LocationPass.h"

#include "catalogue/Catalogue.h"
#include "services/Geocoder.h"
#include "services/Helpers.h"
#include "services/LocationCache.h"

#include <QHash>
#include <array>
#include <optional>

namespace {
const QString kGpsTable = QStringLiteral("GPS");
const QString kNoPositionText = QStringLiteral("0.0000,0.0000");
} // namespace

LocationPass::LocationPass(Catalogue& catalogue, Lookup lookup, QObject* parent)
    : QObject(parent)
    , catalogue_(catalogue)
    , lookup_(std::move(lookup))
{
}

LocationPass::~LocationPass()
{
    if (worker_.joinable()) {
        worker_.request_stop();
        worker_.join();
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
        const bool refusedRecently = sinceRefusal_.isValid() && sinceRefusal_.elapsed() < kRetryAfterRefusalMs;
        if (!lookupUnderWay_ && !refusedRecently)
            StartLookup(catalogue_.RowKey(row), cell, pieces[0], pieces[1]);
    }
    return pending;
}

void LocationPass::StartLookup(const QString& rowKey, const QString& cellKey, const QString& longitude,
                               const QString& latitude)
{
    if (worker_.joinable())
        worker_.join(); // the previous lookup has delivered its answer already
    lookupUnderWay_ = true;
    lookupCell_ = cellKey;
    ++lookupsMade_;
    worker_ = std::jthread([this, rowKey, cellKey, longitude, latitude](std::stop_token stop) {
        const QString answer = lookup_(longitude, latitude, stop);
        if (stop.stop_requested())
            return;
        QMetaObject::invokeMethod(this, [this, rowKey, cellKey, answer] { Deliver(rowKey, cellKey, answer); },
                                  Qt::QueuedConnection);
    });
}

void LocationPass::Deliver(const QString& rowKey, const QString& cellKey, const QString& answer)
{
    lookupUnderWay_ = false;
    lookupCell_.clear();
    if (answer == kPlacePending)
        sinceRefusal_.start();
    else if (answer != kPlaceUnknown)
        InsertValue(cellKey, answer, kGpsTable);

    // The row may have moved (sorting) or been edited meanwhile: find it by its key, and leave
    // a text the user typed alone.
    CatalogueListModel& rows = catalogue_.rows();
    for (int row = 0; row < rows.rowCount(); ++row) {
        if (catalogue_.RowKey(row) != rowKey)
            continue;
        if (TrimLowChars(rows.cell(row, kColLocation)) == kPlacePending)
            rows.setCell(row, kColLocation, answer);
        break;
    }
    emit answerWritten();
}
