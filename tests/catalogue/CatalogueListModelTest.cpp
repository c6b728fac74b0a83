#include "catalogue/CatalogueListModel.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <numeric>

namespace {

TEST(CatalogueColumnWidths, FollowTheListWidthAndLeaveRoomForTheScrollBar)
{
    const auto widths = CatalogueColumnWidths(790);
    // w = 131: name, half for type and size, double for place, +10 for time, -35 for status.
    EXPECT_EQ(widths, (std::array<int, 6>{131, 65, 65, 262, 141, 96}));
    const int listWidth = 792; // divisible by 6 with an even sixth: the sum is exactly 25 short
    const auto even = CatalogueColumnWidths(listWidth);
    EXPECT_EQ(std::accumulate(even.begin(), even.end(), 0), listWidth - 25);
    // A list too narrow for the status column gives it no width rather than a negative one.
    EXPECT_EQ(CatalogueColumnWidths(60)[kColStatus], 0);
}

TEST(CatalogueListModel, RowsCarryCaptionSubItemsAndImageIndex)
{
    CatalogueListModel model;
    model.pictureForImage = [](int image) { return QVariant(image * 100); };
    EXPECT_EQ(model.columnCount(), 6);
    QStringList headers;
    for (int c = 0; c < kColumnCount; ++c)
        headers << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(headers, QStringList({"名称", "类型", "大小", "位置(GPS)", "拍摄时间", "状态...."}));

    CatalogueRow row;
    row.cells = {"P0001.JPG", "图片", "1.00", "...", "2017/05/03 14:22:10", ""};
    row.imageIndex = 6;
    EXPECT_EQ(model.appendRow(row), 0);
    EXPECT_EQ(model.appendRow(row), 1);
    EXPECT_EQ(model.rowCount(), 2);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setCell(1, kColLocation, "遂宁市 船山区 灵泉街道");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model.data(model.index(1, kColLocation), Qt::DisplayRole).toString(), QStringLiteral("遂宁市 船山区 灵泉街道"));
    EXPECT_EQ(model.cell(0, kColLocation), QStringLiteral("..."));
    EXPECT_EQ(model.data(model.index(0, kColName), CatalogueListModel::kImageIndexRole).toInt(), 6);
    EXPECT_EQ(model.data(model.index(0, kColName), Qt::DecorationRole).toInt(), 600);
    EXPECT_FALSE(model.data(model.index(0, kColType), Qt::DecorationRole).isValid());
}

} // namespace
