#include "catalogue/CatalogueListModel.h"

#include "resources/ImageIndexes.h"

#include <algorithm>

namespace {
const char* const kHeaders[kColumnCount] = {"名称", "类型", "大小", "位置(GPS)", "拍摄时间", "状态...."};
}

std::array<int, kColumnCount> CatalogueColumnWidths(int listWidth)
{
    const int w = std::max(0, listWidth / kColumnCount);
    const int c = w;
    return {w, c / 2, c / 2, 2 * c, c + 10, std::max(0, c - 35)};
}

int CompareCellTexts(const QString& a, const QString& b)
{
    const auto fold = [](char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c; };
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = fold(a[i].unicode());
        const char16_t y = fold(b[i].unicode());
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

QString CatalogueListModel::columnHeader(int column)
{
    return (column >= 0 && column < kColumnCount) ? QString::fromUtf8(kHeaders[column]) : QString();
}

QString CatalogueListModel::Text(const CatalogueEntry& entry, int column)
{
    switch (column) {
    case kColName:
        return entry.name;
    case kColType:
        return entry.kind == MediaKind::Photo ? kTypePhoto : kTypeVideo;
    case kColSize:
        return FileSizeText(entry.bytes);
    case kColLocation:
        return entry.place;
    case kColShotTime:
        return ShotTimeText(entry.shotTime);
    case kColStatus:
        return entry.status;
    default:
        return {};
    }
}

int CatalogueListModel::ImageIndex(const CatalogueEntry& entry)
{
    return entry.kind == MediaKind::Photo ? kImgPhotoRow : kImgVideoRow;
}

int CatalogueListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int CatalogueListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CatalogueListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CatalogueEntry& e = entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return Text(e, index.column());
    case Qt::DecorationRole:
        if (index.column() == kColName && pictureForImage)
            return pictureForImage(ImageIndex(e));
        return {};
    case Qt::ToolTipRole:
        if (index.column() == kColLocation && toolTipForPlace)
            return toolTipForPlace(index.row());
        return {};
    case kImageIndexRole:
        return ImageIndex(e);
    default:
        return {};
    }
}

QVariant CatalogueListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return columnHeader(section);
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

int CatalogueListModel::appendEntry(CatalogueEntry entry)
{
    const int at = rowCount();
    beginInsertRows({}, at, at);
    entries_.push_back(std::move(entry));
    endInsertRows();
    return at;
}

void CatalogueListModel::appendEntries(std::vector<CatalogueEntry>&& entries)
{
    if (entries.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(entries.size()) - 1);
    entries_.insert(entries_.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
    endInsertRows();
    entries.clear();
}

void CatalogueListModel::removeRow(int index)
{
    if (index < 0 || index >= rowCount())
        return;
    beginRemoveRows({}, index, index);
    entries_.erase(entries_.begin() + index);
    endRemoveRows();
}

void CatalogueListModel::sortRows(int column, int way)
{
    if (column < 0 || column >= kColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(entries_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    // Fold each text once; then plain code-unit comparisons order the rows.
    std::vector<QString> folded(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
        folded[i] = Text(entries_[i], column);
        for (QChar& ch : folded[i])
            if (ch >= u'a' && ch <= u'z')
                ch = QChar(ch.unicode() - (u'a' - u'A'));
    }
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const int relation = QStringView(folded[size_t(x)]).compare(QStringView(folded[size_t(y)]));
        return relation * way < 0;
    });
    std::vector<CatalogueEntry> sorted;
    sorted.reserve(entries_.size());
    std::vector<int> newPosition(entries_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(entries_[size_t(order[i])]));
        newPosition[size_t(order[i])] = int(i);
    }
    entries_ = std::move(sorted);
    // Selections and other kept positions follow their rows.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after << this->index(newPosition[size_t(index.row())], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CatalogueListModel::setPlace(int row, const QString& place, PlaceState state)
{
    CatalogueEntry& e = entries_[static_cast<size_t>(row)];
    e.place = place;
    e.placeState = state;
    const QModelIndex changed = index(row, kColLocation);
    emit dataChanged(changed, changed);
}

void CatalogueListModel::setStatus(int row, const QString& text)
{
    entries_[static_cast<size_t>(row)].status = text;
    const QModelIndex changed = index(row, kColStatus);
    emit dataChanged(changed, changed);
}

void CatalogueListModel::clearStatus()
{
    for (CatalogueEntry& e : entries_)
        e.status.clear();
    if (!entries_.empty())
        emit dataChanged(index(0, kColStatus), index(rowCount() - 1, kColStatus));
}
