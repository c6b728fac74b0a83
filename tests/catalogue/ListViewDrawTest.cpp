#include "catalogue/ListViewDraw.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

using namespace listdraw;

// Paints a row of three columns (name, text, progress) into an image.
QImage PaintRow(const QString& status, bool selected, bool focused, int progressWidth = 112)
{
    QImage image(200 + progressWidth, 24, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    Row row;
    row.bounds = QRect(0, 0, image.width(), 24);
    row.cells = {{QRect(20, 0, 100, 24), "P0001.JPG"}, {QRect(120, 0, 80, 24), "图片"},
                 {QRect(200, 0, progressWidth, 24), status}};
    row.iconRect = QRect(2, 4, 16, 16);
    row.selected = selected;
    row.focused = focused;
    row.progressColumn = 2;
    DrawListRow(painter, row);
    return image;
}

QColor At(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

// Columns inside the progress frame (4 pixels in from the cell's edges) painted in the bar colour.
int BarLength(const QImage& image)
{
    int length = 0;
    for (int x = 204; x < image.width() - 4; ++x)
        if (At(image, x, 6) == kProgressColour && At(image, x, 5) == kProgressColour)
            ++length;
    return length;
}

TEST(ListViewDraw, SelectedRowsGetTheirBackgroundAndFrame)
{
    const QImage focused = PaintRow("", true, true);
    EXPECT_EQ(At(focused, 150, 12), kFocusedBackground);
    EXPECT_EQ(At(focused, 1, 12), kFocusedFrame) << "the frame is one pixel in from the left";
    EXPECT_EQ(At(focused, 150, 0), kFocusedFrame);
    EXPECT_EQ(At(focused, 150, 23), kFocusedFrame);
    EXPECT_EQ(At(focused, 0, 12), QColor(Qt::white)) << "left of the frame";

    const QImage other = PaintRow("", true, false);
    EXPECT_EQ(At(other, 150, 12), kSelectedBackground);
    EXPECT_EQ(At(other, 150, 0), kSelectedFrame);

    const QImage plain = PaintRow("", false, false);
    EXPECT_EQ(At(plain, 150, 12), QColor(Qt::white));
    EXPECT_EQ(At(plain, 150, 0), QColor(Qt::white));
}

TEST(ListViewDraw, ProgressBarLengthFollowsThePercentage)
{
    // A 112-pixel cell leaves an inner width of 104 pixels; "1" on an inner width of 100
    // pixels (a 108-pixel cell) is one pixel long.
    EXPECT_EQ(BarLength(PaintRow("1", false, false, 108)), 1);
    EXPECT_EQ(BarLength(PaintRow("100", false, false)), 104);
    EXPECT_EQ(BarLength(PaintRow("250", false, false)), 104) << "past the maximum: a full bar";
    EXPECT_EQ(BarLength(PaintRow("50", false, false, 108)), 50);
    EXPECT_EQ(BarLength(PaintRow("37.6", false, false, 108)), 38);
}

TEST(ListViewDraw, NoFrameForEmptyOrZeroStatus)
{
    for (const char* status : {"", "0", "-5", "abc"}) {
        const QImage image = PaintRow(QString::fromLatin1(status), true, false);
        for (int x = 200; x < image.width(); ++x)
            for (int y = 0; y < 24; y += 2)
                ASSERT_NE(At(image, x, y), kProgressColour) << status << " at " << x << "," << y;
    }
    const QImage framed = PaintRow("37.6", false, false);
    EXPECT_EQ(At(framed, 202, 12), kProgressColour) << "the frame lies 2 pixels inside the cell";
    EXPECT_EQ(At(framed, 203, 12), QColor(Qt::white)) << "a gap between frame and bar";
}

TEST(ListViewDraw, ThePercentageIsWrittenInTheCell)
{
    // The text is drawn over the bar: some pixels in the cell's middle are neither bar, frame
    // nor background.
    const QImage image = PaintRow("37.6", false, false);
    int ink = 0;
    for (int x = 200; x < image.width(); ++x)
        for (int y = 4; y < 20; ++y) {
            const QColor c = At(image, x, y);
            ink += (c != kProgressColour && c != QColor(Qt::white)) ? 1 : 0;
        }
    EXPECT_GT(ink, 10);
}

TEST(ListViewDraw, PercentRoundsHalvesToEven)
{
    const std::pair<double, int> cases[] = {{0, 0}, {-1, 0}, {0.4, 0}, {0.5, 0}, {1.5, 2}, {2.5, 2},
                                            {37.6, 38}, {99.5, 100}, {100, 100}, {250, 100}};
    for (const auto& [value, percent] : cases)
        EXPECT_EQ(ProgressPercent(value, 100), percent) << value;
}

TEST(ListViewDraw, LongCaptionsEndInAnEllipsis)
{
    QImage image(60, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QString name = "DJI_0001_VERY_LONG_NAME.JPG";
    EXPECT_TRUE(painter.fontMetrics().elidedText(name, Qt::ElideRight, 54).endsWith(QChar(0x2026)));
}

} // namespace
