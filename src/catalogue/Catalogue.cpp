#include "catalogue/Catalogue.h"

#include "core/Helpers.h"
#include "services/Geocoder.h"
#include "services/LocationCache.h"

Catalogue::Catalogue()
    : rows_(std::make_unique<CatalogueListModel>())
{
    // The place column shows names only: its tooltip shows the position behind the name.
    rows_->toolTipForPlace = [this](int row) {
        const std::optional<GeoPoint>& position = Entry(row).position;
        return position ? QStringLiteral("GPS：%1").arg(PositionText(position)) : QStringLiteral("没有位置信息");
    };
}

void Catalogue::AddEntry(const NewEntry& made, const QString& rootText)
{
    const qsizetype slash = made.path.lastIndexOf(u'/');
    CatalogueEntry entry;
    entry.name = made.path.mid(slash + 1);
    SetEntryFolder(entry, made.path.left(slash + 1), rootText);
    entry.kind = made.kind;
    entry.bytes = made.bytes;
    entry.shotTime = made.shotTime;
    entry.shotTimeFrom = made.shotTimeFrom;
    entry.position = made.position;
    entry.key = CatalogueKey(entry.name, ShotTimeText(entry.shotTime));
    ++listedKeys_[entry.key];

    entry.place = kPlacePending;
    if (LoadTypedPlace(entry.key, entry.place))
        entry.placeState = PlaceState::Typed;
    pendingEntries_.push_back(std::move(entry));
}

void Catalogue::Flush()
{
    rows_->appendEntries(std::move(pendingEntries_));
    pendingEntries_.clear();
}

void Catalogue::RemoveEntry(int row)
{
    if (row < 0 || row >= rows_->rowCount())
        return;
    const QString key = RowKey(row);
    if (--listedKeys_[key] <= 0)
        listedKeys_.remove(key);
    rows_->removeRow(row);
}

void Catalogue::Clear()
{
    Flush();
    while (rows_->rowCount() > 0)
        rows_->removeRow(rows_->rowCount() - 1);
    listedKeys_.clear();
}

int Catalogue::RowOfKey(const QString& key, int hint) const
{
    const int count = rows_->rowCount();
    if (hint >= 0 && hint < count && RowKey(hint) == key)
        return hint;
    for (int row = 0; row < count; ++row)
        if (RowKey(row) == key)
            return row;
    return -1;
}

void Catalogue::TypePlace(int row, const QString& place)
{
    if (row < 0 || row >= rows_->rowCount())
        return;
    const QString key = RowKey(row);
    const QString kept = TrimLowChars(place);
    if (kept.isEmpty() || kept == kPlacePending) {
        ForgetTypedPlace(key);
        SetPlace(row, kPlacePending, PlaceState::Pending);
        return;
    }
    SaveTypedPlace(key, kept);
    SetPlace(row, kept, PlaceState::Typed);
}

QString Catalogue::SourcePath(int row) const
{
    if (row < 0 || row >= rows_->rowCount())
        return {};
    return Entry(row).Path();
}
