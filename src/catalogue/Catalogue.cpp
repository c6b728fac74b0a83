#include "catalogue/Catalogue.h"

#include "resources/ImageIndexes.h"
#include "core/Helpers.h"
#include "services/Geocoder.h"
#include "services/LocationCache.h"

#include <QFileInfo>

Catalogue::Catalogue()
    : rows_(std::make_unique<CatalogueListModel>())
{
    // The place column shows names only: its tooltip shows the position behind the name.
    rows_->toolTipForPlace = [this](int row) {
        const PListviewdata record = index_.find(RowKey(row));
        if (!record)
            return QString();
        const QString position = record->filegps.trimmed();
        return position.isEmpty() || position == kNoPosition ? QStringLiteral("没有位置信息")
                                                                                 : QStringLiteral("GPS：%1").arg(position);
    };
}

QString Catalogue::RowKey(int row) const
{
    return CatalogueKey(rows_->cell(row, kColName), rows_->cell(row, kColShotTime));
}

bool Catalogue::IsListed(const QString& name, const QString& shotTime) const
{
    return listedKeys_.contains(CatalogueKey(name, shotTime));
}

void Catalogue::AddEntry(const NewEntry& entry, const QString& rootText)
{
    const qsizetype slash = entry.path.lastIndexOf(u'/');
    const QString name = entry.path.mid(slash + 1);
    const QString& typeText = entry.photo ? kTypePhoto : kTypeVideo;

    auto record = std::make_unique<Listviewdata>();
    record->filename = name;
    SetRecordFolder(*record, entry.path.left(slash + 1), rootText);
    record->filetype = typeText;
    record->filegps = entry.position;
    record->filemaketime = entry.shotTime;
    const QString key = CatalogueKey(name, entry.shotTime);
    index_.insert(key, std::move(record));
    ++listedKeys_[key];

    QString place = kPlacePending;
    LoadTypedPlace(key, place);

    CatalogueRow row;
    row.cells = {name, typeText, entry.sizeText, place, entry.shotTime, QString()};
    row.imageIndex = entry.photo ? kImgPhotoRow : kImgVideoRow;
    pendingRows_.push_back(std::move(row));
}

void Catalogue::Flush()
{
    rows_->appendRows(std::move(pendingRows_));
    pendingRows_.clear();
}

void Catalogue::RemoveEntry(int row)
{
    if (row < 0 || row >= rows_->rowCount())
        return;
    index_.remove(RowKey(row));
    RemoveRow(row);
}

void Catalogue::Clear()
{
    Flush();
    while (rows_->rowCount() > 0)
        rows_->removeRow(rows_->rowCount() - 1);
    index_.clear();
    listedKeys_.clear();
}

void Catalogue::RemoveRow(int row)
{
    if (row < 0 || row >= rows_->rowCount())
        return;
    const QString key = RowKey(row);
    if (--listedKeys_[key] <= 0)
        listedKeys_.remove(key);
    rows_->removeRow(row);
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
        rows_->setCell(row, kColLocation, kPlacePending);
        return;
    }
    SaveTypedPlace(key, kept);
    rows_->setCell(row, kColLocation, kept);
}

QString Catalogue::SourcePath(int row) const
{
    if (row < 0 || row >= rows_->rowCount())
        return {};
    const PListviewdata record = index_.find(RowKey(row));
    return record ? RecordPath(*record) : QString();
}
