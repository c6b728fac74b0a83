#include "catalogue/CatalogueListModel.h"
#include "catalogue/ListNavigation.h"

#include <gtest/gtest.h>

namespace {

TEST(ColumnUnderPointer, FirstColumnWhoseRightEdgeIsAtOrPastThePointer)
{
    const std::vector<int> widths = {100, 50, 50, 200};
    const std::tuple<int, int, int> cases[] = {
        // x, scroll, column
        {0, 0, 0}, {100, 0, 0}, {101, 0, 1}, {150, 0, 1}, {399, 0, 3}, {400, 0, 3}, {401, 0, 4},
        {10, 95, 1}, {0, 120, 1},
    };
    for (const auto& [x, scroll, column] : cases)
        EXPECT_EQ(ColumnUnderPointer(x, scroll, widths), column) << x << " " << scroll;
}

TEST(ArrowKeyTarget, WrapsAtBothEnds)
{
    EXPECT_EQ(ArrowKeyTarget(0, 3, 1), 1);
    EXPECT_EQ(ArrowKeyTarget(2, 3, 1), 0);
    EXPECT_EQ(ArrowKeyTarget(0, 3, -1), 2);
    EXPECT_EQ(ArrowKeyTarget(1, 3, -1), 0);
    EXPECT_EQ(ArrowKeyTarget(-1, 3, 1), 0) << "no current row: Down starts at the top";
    EXPECT_EQ(ArrowKeyTarget(-1, 3, -1), 2) << "no current row: Up starts at the bottom";
    EXPECT_EQ(ArrowKeyTarget(-1, 0, 1), -1);
    EXPECT_EQ(ArrowKeyTarget(0, 1, 1), 0);
}

TEST(NextMatchingRow, WrapsAroundAndLooksAtItselfLast)
{
    // Rows 2 and 5 are photos; row 3 has no record; the rest are videos.
    const QStringList paths = {"/c/V0.MOV", "/c/V1.mp4", "/c/P2.JPG", "", "/c/V4.mov", "/c/P5.jpg", "/c/V6.MP4"};
    const auto pathOf = [&](int row) { return paths[row]; };
    const int n = int(paths.size());
    EXPECT_EQ(NextMatchingRow(n, pathOf, ".jpg", 5, 1), 2);
    EXPECT_EQ(NextMatchingRow(n, pathOf, ".jpg", 5, 0), 2);
    EXPECT_EQ(NextMatchingRow(n, pathOf, ".jpg", 2, 1), 5);
    EXPECT_EQ(NextMatchingRow(n, pathOf, ".jpg", 6, 1), 2) << "past the last row: from the top";
    EXPECT_EQ(NextMatchingRow(n, pathOf, ".jpg", 0, 0), 5) << "before the first row: from the bottom";
    EXPECT_EQ(NextMatchingRow(n, pathOf, ".mov|.mp4", 1, 1), 4);
    EXPECT_EQ(NextMatchingRow(n, pathOf, ".mov|.mp4", 0, 0), 6);
    EXPECT_EQ(NextMatchingRow(n, pathOf, ".jpg", 5, 2), -1) << "another direction";
    EXPECT_EQ(NextMatchingRow(n, pathOf, ".png", 5, 1), -1);

    const QStringList onePhoto = {"/c/V0.MOV", "/c/P1.JPG"};
    EXPECT_EQ(NextMatchingRow(2, [&](int r) { return onePhoto[r]; }, ".jpg", 1, 1), 1) << "the only match is itself";
    EXPECT_EQ(NextMatchingRow(2, [&](int r) { return onePhoto[r]; }, ".jpg", 1, 0), 1);
}

TEST(SortRows, TextOrderWithLettersFoldedAndTheDirectionGiven)
{
    CatalogueListModel model;
    for (const char* place : {"2.00", ".50", "1,177.38", "b", "B", "a"}) {
        CatalogueEntry entry;
        entry.place = QString::fromUtf8(place);
        model.appendEntry(entry);
    }
    QStringList order;
    model.sortRows(kColLocation, 1);
    for (int r = 0; r < model.rowCount(); ++r)
        order << model.text(r, kColLocation);
    EXPECT_EQ(order, QStringList({".50", "1,177.38", "2.00", "a", "b", "B"})) << "b and B compare equal and keep their order";
    model.sortRows(kColLocation, -1);
    order.clear();
    for (int r = 0; r < model.rowCount(); ++r)
        order << model.text(r, kColLocation);
    EXPECT_EQ(order, QStringList({"b", "B", "a", "2.00", "1,177.38", ".50"}));

    EXPECT_LT(CompareCellTexts("0", "100"), 0);
    EXPECT_LT(CompareCellTexts("100", "25"), 0);
    EXPECT_LT(CompareCellTexts("图片", "视频"), 0) << "UTF-16 order for other characters";
    EXPECT_EQ(CompareCellTexts("abc", "ABC"), 0);
    EXPECT_GT(CompareCellTexts("_", "a"), 0) << "'_' lies between the upper- and lower-case letters";
}

} // namespace
