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

    CatalogueEntry photo;
    photo.name = "P0001.JPG";
    photo.bytes = 1048576;
    photo.shotTime = WallClock(QDate(2017, 5, 3), QTime(14, 22, 10));
    photo.place = "...";
    EXPECT_EQ(model.appendEntry(photo), 0);
    CatalogueEntry video = photo;
    video.kind = MediaKind::Video;
    video.bytes = 1234567890;
    video.shotTime = {};
    video.status = "37";
    EXPECT_EQ(model.appendEntry(video), 1);
    EXPECT_EQ(model.rowCount(), 2);
    const auto texts = [&](int row) {
        QStringList shown;
        for (int c = 0; c < kColumnCount; ++c)
            shown << model.data(model.index(row, c), Qt::DisplayRole).toString();
        return shown;
    };
    EXPECT_EQ(texts(0), QStringList({"P0001.JPG", "图片", "1.00", "...", "2017/05/03 14:22:10", ""}));
    EXPECT_EQ(texts(1), QStringList({"P0001.JPG", "视频", "1,177.38", "...", "0000/00/00 00:00:00", "37"}))
        << "a time with no valid date shows as zeros";

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setPlace(1, "遂宁市 船山区 灵泉街道", PlaceState::Web);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model.data(model.index(1, kColLocation), Qt::DisplayRole).toString(), QStringLiteral("遂宁市 船山区 灵泉街道"));
    EXPECT_EQ(model.entry(1).placeState, PlaceState::Web);
    EXPECT_EQ(model.text(0, kColLocation), QStringLiteral("..."));
    model.clearStatus();
    EXPECT_EQ(model.text(1, kColStatus), QString());
    EXPECT_EQ(model.data(model.index(0, kColName), CatalogueListModel::kImageIndexRole).toInt(), 6);
    EXPECT_EQ(model.data(model.index(0, kColName), Qt::DecorationRole).toInt(), 600);
    EXPECT_EQ(model.data(model.index(1, kColName), CatalogueListModel::kImageIndexRole).toInt(), 7);
    EXPECT_FALSE(model.data(model.index(0, kColType), Qt::DecorationRole).isValid());
}

} // namespace
