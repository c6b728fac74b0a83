#pragma once
// Paints report-view rows: the row background and frame of selected rows, each cell's text
// cut with an ellipsis, the row's picture, and one column shown as a progress bar with its
// percentage. Knows nothing of the catalogue: the caller passes a row's rectangles and texts.

#include <QColor>
#include <QIcon>
#include <QRect>
#include <QString>
#include <vector>

class QPainter;

namespace listdraw {

inline const QColor kFocusedBackground(185, 204, 236);
inline const QColor kSelectedBackground(229, 236, 248);
inline const QColor kFocusedFrame(122, 160, 218);
inline const QColor kSelectedFrame(152, 181, 226);
inline const QColor kProgressColour(122, 160, 218);

struct Cell {
    QRect label; // where the cell's text (or bar) goes
    QString text;
    Qt::Alignment alignment = Qt::AlignLeft;
};

struct Row {
    QRect bounds;        // the whole row
    std::vector<Cell> cells;
    QRect iconRect;      // column 0's picture
    QIcon icon;          // empty: no picture
    bool selected = false;
    bool focused = false; // the selected row that has the focus
    int progressColumn = -1;
    QColor background = Qt::white; // the list's normal background
};

enum class BarStyle { Solid, Striped };

// The whole percentage shown for value out of maximum: 0 for values not above 0, 100 from
// the maximum on, otherwise rounded to the nearest whole number with halves to even.
int ProgressPercent(double value, int maximum);

// Paints a complete row.
void DrawListRow(QPainter& painter, const Row& row);

// The row's picture at the top-left of its icon rectangle.
void DrawRowIcon(QPainter& painter, const QRect& iconRect, const QIcon& icon);

// A progress cell: an empty cell (filled with brush) for 0 unless showAtZero, else a frame
// 2 pixels inside the cell, a bar 4 pixels inside, and the percentage centred.
void DrawProgressCell(QPainter& painter, const QRect& cell, const QColor& frame, const QColor& bar, bool showAtZero,
                      BarStyle style, int maximum, double value, const QColor& brush);

} // namespace listdraw
