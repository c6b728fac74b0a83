#pragma once
// The catalogue list's view: a report view that paints each row itself (selected-row colours,
// the export progress bar in one column) and leaves keyboard handling to its window.

#include <QTreeView>

class CatalogueListView : public QTreeView {
    Q_OBJECT
public:
    explicit CatalogueListView(QWidget* parent = nullptr);

    void setProgressColumn(int column) { progressColumn_ = column; }
    // The whole bounds of a row (all columns), in viewport coordinates.
    QRect rowBounds(int row) const;

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int progressColumn_ = -1;
};
