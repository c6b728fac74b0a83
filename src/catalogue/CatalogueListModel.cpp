#include "catalogue/CatalogueListModel.h"

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

int CatalogueListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CatalogueListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CatalogueListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CatalogueRow& r = row(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return r.cells[static_cast<size_t>(index.column())];
    case Qt::DecorationRole:
        if (index.column() == kColName && pictureForImage)
            return pictureForImage(r.imageIndex);
        return {};
    case Qt::ToolTipRole:
        if (index.column() == kColLocation && toolTipForPlace)
            return toolTipForPlace(index.row());
        return {};
    case kImageIndexRole:
        return r.imageIndex;
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

int CatalogueListModel::appendRow(CatalogueRow row)
{
    const int at = rowCount();
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
    return at;
}

void CatalogueListModel::appendRows(std::vector<CatalogueRow>&& rows)
{
    if (rows.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
    rows.clear();
}

void CatalogueListModel::removeRow(int index)
{
    if (index < 0 || index >= rowCount())
        return;
    beginRemoveRows({}, index, index);
    rows_.erase(rows_.begin() + index);
    endRemoveRows();
}

void CatalogueListModel::sortRows(int column, int way)
{
    if (column < 0 || column >= kColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(rows_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    // Fold each text once; then plain code-unit comparisons order the rows.
    const size_t c = size_t(column);
    std::vector<QString> folded(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i) {
        folded[i] = rows_[i].cells[c];
        for (QChar& ch : folded[i])
            if (ch >= u'a' && ch <= u'z')
                ch = QChar(ch.unicode() - (u'a' - u'A'));
    }
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const int relation = QStringView(folded[size_t(x)]).compare(QStringView(folded[size_t(y)]));
        return relation * way < 0;
    });
    std::vector<CatalogueRow> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> newPosition(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(rows_[size_t(order[i])]));
        newPosition[size_t(order[i])] = int(i);
    }
    rows_ = std::move(sorted);
    // Selections and other kept positions follow their rows.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after << this->index(newPosition[size_t(index.row())], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

const QString& CatalogueListModel::cell(int row, int column) const
{
    return rows_[static_cast<size_t>(row)].cells[static_cast<size_t>(column)];
}

void CatalogueListModel::setCell(int row, int column, const QString& text)
{
    rows_[static_cast<size_t>(row)].cells[static_cast<size_t>(column)] = text;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed);
}

void CatalogueListModel::clearColumn(int column)
{
    for (CatalogueRow& row : rows_)
        row.cells[static_cast<size_t>(column)].clear();
    if (!rows_.empty())
        emit dataChanged(index(0, column), index(rowCount() - 1, column));
}
