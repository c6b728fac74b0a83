#pragma once
// The rules by which the catalogue list is walked: which column lies under the pointer, which
// row the arrow keys go to, and which row of a kind of file comes next.

#include <QString>
#include <functional>
#include <vector>

// The column under x (list client coordinates) with the list scrolled sideways by scroll
// pixels: the first column whose right edge is at or right of x; the column count when x
// lies right of the last column.
int ColumnUnderPointer(int x, int scroll, const std::vector<int>& widths);

// The row the Down (direction +1) or Up (-1) key selects from the current row: the next or
// previous row, wrapping around at both ends. With no current row (-1), Down goes to the
// first row and Up to the last. -1 for an empty list.
int ArrowKeyTarget(int currentRow, int rowCount, int direction);

// True when extension is one of the first count pieces (compared as they are).
bool ExtInList(int count, const QString* pieces, const QString& extension);

// The next (direction 1) or previous (direction 0) row whose file's extension, lower-cased
// A-Z, is one of the "|"-separated extensions (at most four are used). The search wraps
// around and looks at the starting row itself last. -1 when nothing matches or for another
// direction. pathOfRow gives a row's file path (empty for a row without a record).
int NextMatchingRow(int rowCount, const std::function<QString(int row)>& pathOfRow, const QString& extensions,
                    int index, int direction);
