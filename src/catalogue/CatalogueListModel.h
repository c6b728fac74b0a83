#pragma once
// The rows of the catalogue list: one CatalogueEntry per row, shown as a caption, five sub-item
// texts and an image index. Column N is the caption for N = 0 and sub-item N-1 otherwise. This is
// the one place where entries become the texts the list shows.

#include "catalogue/CatalogueEntry.h"

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <functional>
#include <vector>

enum CatalogueColumn : int {
    kColName = 0,     // "名称"
    kColType = 1,     // "类型"
    kColSize = 2,     // "大小"
    kColLocation = 3, // "位置(GPS)"
    kColShotTime = 4, // "拍摄时间"
    kColStatus = 5,   // "状态...."
    kColumnCount = 6,
};

// The words of the type column.
inline const QString kTypePhoto = QStringLiteral("图片");
inline const QString kTypeVideo = QStringLiteral("视频");

// The width of each column for a list of the given width: w = width / 6 for the name, half of
// it for type and size, twice it for the place, w + 10 for the time and w - 35 for the status,
// about 25 pixels short of the list's width to leave room for the scroll bar.
std::array<int, kColumnCount> CatalogueColumnWidths(int listWidth);

// Compares two cell texts code unit by code unit after folding a-z to upper case: <0, 0, >0.
int CompareCellTexts(const QString& a, const QString& b);

class CatalogueListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The role under which column 0 reports the row's image index.
    static constexpr int kImageIndexRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    static QString columnHeader(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The text of an entry in one column, as the list shows it.
    static QString Text(const CatalogueEntry& entry, int column);
    // The picture of an entry's row: a photo's or a video's.
    static int ImageIndex(const CatalogueEntry& entry);

    // Appends a row at the end; returns its index.
    int appendEntry(CatalogueEntry entry);
    // Appends rows at the end in one step (one notification for the whole batch).
    void appendEntries(std::vector<CatalogueEntry>&& entries);
    const CatalogueEntry& entry(int row) const { return entries_[static_cast<size_t>(row)]; }
    QString text(int row, int column) const { return Text(entry(row), column); }
    // The place shown in a row, with where it came from.
    void setPlace(int row, const QString& place, PlaceState state);
    // The status column of a row: the export's progress or its end word.
    void setStatus(int row, const QString& text);
    // Empties the status column in every row (one notification).
    void clearStatus();

    // Removes one row.
    void removeRow(int index);

    // Sorts all rows by the text of one column, case-insensitively for the letters a-z and by
    // UTF-16 code unit otherwise; way is +1 (ascending) or -1 (descending). Rows that compare
    // equal keep their order.
    void sortRows(int column, int way);

    // Turns a row's image index into its picture (set by the window that shows the list).
    std::function<QVariant(int imageIndex)> pictureForImage;
    // The tooltip of a row's place cell (set by the catalogue: the position it was named from).
    std::function<QString(int row)> toolTipForPlace;

private:
    std::vector<CatalogueEntry> entries_;
};
