#include "catalogue/CatalogueListView.h"

#include "catalogue/ListViewDraw.h"

#include <QHeaderView>
#include <QPainter>

namespace {
constexpr int kIconGap = 2;
}

CatalogueListView::CatalogueListView(QWidget* parent)
    : QTreeView(parent)
{
}

QRect CatalogueListView::rowBounds(int row) const
{
    const QModelIndex first = model() ? model()->index(row, 0) : QModelIndex();
    const QRect cell = visualRect(first);
    if (!cell.isValid())
        return {};
    const int left = header()->sectionViewportPosition(0);
    return QRect(left, cell.top(), header()->length(), cell.height());
}

void CatalogueListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    listdraw::Row row;
    const int columns = model()->columnCount();
    row.bounds = QRect(header()->sectionViewportPosition(0), option.rect.top(), header()->length(), option.rect.height());
    row.cells.reserve(size_t(columns));
    for (int column = 0; column < columns; ++column) {
        QRect cell(header()->sectionViewportPosition(column), option.rect.top(), header()->sectionSize(column),
                   option.rect.height());
        const QModelIndex at = index.siblingAtColumn(column);
        if (column == 0) {
            row.iconRect = QRect(cell.left() + kIconGap, cell.top() + (cell.height() - 16) / 2, 16, 16);
            row.icon = at.data(Qt::DecorationRole).value<QIcon>();
            cell.setLeft(row.iconRect.right() + 1 + kIconGap);
        }
        row.cells.push_back({cell, at.data(Qt::DisplayRole).toString(), Qt::AlignLeft});
    }
    row.selected = selectionModel() && selectionModel()->isSelected(index);
    row.focused = currentIndex().row() == index.row();
    row.progressColumn = progressColumn_;
    row.background = palette().color(QPalette::Base);
    painter->save();
    painter->setPen(palette().color(QPalette::Text));
    listdraw::DrawListRow(*painter, row);
    painter->restore();
}
