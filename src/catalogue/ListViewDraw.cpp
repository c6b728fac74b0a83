#include "catalogue/ListViewDraw.h"

#include <QFontMetrics>
#include <QPainter>
#include <cmath>

namespace listdraw {

namespace {

// Rounds to the nearest whole number, halves to the even neighbour.
int RoundHalfEven(double value)
{
    return int(std::nearbyint(value)); // the default rounding mode is to nearest, ties to even
}

void DrawCellText(QPainter& painter, const QRect& label, const QString& text, Qt::Alignment alignment)
{
    const QRect inner = label.adjusted(3, 0, -3, 0);
    if (inner.width() <= 0)
        return;
    const QString shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, inner.width());
    painter.drawText(inner, int(alignment | Qt::AlignVCenter | Qt::TextSingleLine), shown);
}

// A one-pixel frame inside r, as a frame rectangle of the platform would draw it.
void FrameInside(QPainter& painter, const QRect& r, const QColor& colour)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), colour);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), colour);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), colour);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), colour);
}

} // namespace

int ProgressPercent(double value, int maximum)
{
    if (maximum <= value)
        return 100;
    if (!(value > 0))
        return 0;
    return RoundHalfEven(value / maximum * 100.0);
}

void DrawRowIcon(QPainter& painter, const QRect& iconRect, const QIcon& icon)
{
    if (!icon.isNull())
        icon.paint(&painter, QRect(iconRect.topLeft(), QSize(16, 16)));
}

void DrawProgressCell(QPainter& painter, const QRect& cell, const QColor& frame, const QColor& bar, bool showAtZero,
                      BarStyle style, int maximum, double value, const QColor& brush)
{
    painter.fillRect(cell, brush);
    const int percent = ProgressPercent(value, maximum);
    if (percent == 0 && !showAtZero)
        return;

    // Edges as left/top inclusive and right/bottom exclusive.
    int left = cell.left() + 2, top = cell.top() + 2;
    int right = cell.left() + cell.width() - 2, bottom = cell.top() + cell.height() - 2;
    FrameInside(painter, QRect(left, top, right - left, bottom - top), frame);
    left += 2;
    top += 2;
    right -= 2;
    bottom -= 2;
    const int barEnd = right - RoundHalfEven((100 - percent) / 100.0 * (right - left));
    if (barEnd > left && bottom > top) {
        if (style == BarStyle::Solid) {
            painter.fillRect(QRect(left, top, barEnd - left, bottom - top), bar);
        } else {
            QLinearGradient fade(0, top, 0, bottom);
            fade.setColorAt(0, brush);
            fade.setColorAt(1, bar);
            for (int x = left; x < barEnd; x += 3)
                painter.fillRect(QRect(x, top, 1, bottom - top), fade);
        }
    }

    const QString text = QString::asprintf("%d%%", percent);
    const QFontMetrics metrics = painter.fontMetrics();
    const int textWidth = metrics.horizontalAdvance(text);
    const int textHeight = metrics.height();
    const int x = cell.left() + (cell.width() + 1 - textWidth) / 2;
    const int y = cell.top() + (cell.height() + 1 - textHeight) / 2;
    painter.save();
    painter.setClipRect(cell);
    painter.drawText(QRect(x, y, textWidth, textHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter.restore();
}

void DrawListRow(QPainter& painter, const Row& row)
{
    const QRect r = row.bounds.adjusted(1, 0, -1, 0);
    const QColor background =
        row.selected ? (row.focused ? kFocusedBackground : kSelectedBackground) : row.background;
    painter.fillRect(r, background);

    for (int i = 0; i < int(row.cells.size()); ++i) {
        const Cell& cell = row.cells[size_t(i)];
        if (i == row.progressColumn) {
            bool isNumber = false;
            const double value = cell.text.trimmed().toDouble(&isNumber);
            if (!isNumber && !cell.text.isEmpty()) {
                // What became of the file (已校验, 已存在, 失败): a word, a failure in red.
                painter.save();
                if (cell.text.startsWith(QStringLiteral("失败")))
                    painter.setPen(QColor(0xc0, 0x10, 0x10));
                DrawCellText(painter, cell.label, cell.text, Qt::AlignCenter);
                painter.restore();
                continue;
            }
            DrawProgressCell(painter, cell.label, kProgressColour, kProgressColour, false, BarStyle::Solid, 100,
                             isNumber ? value : 0.0, background);
            continue;
        }
        if (i == 0)
            DrawRowIcon(painter, row.iconRect, row.icon);
        DrawCellText(painter, cell.label, cell.text, cell.alignment);
    }

    if (row.selected)
        FrameInside(painter, r, row.focused ? kFocusedFrame : kSelectedFrame);
}

} // namespace listdraw
