#pragma once
// The in-place editor of a list cell (the place column): a line edit laid over the cell of a
// row. The cell follows the typing; closing it (Enter, or leaving it) commits the text (blanks
// around are dropped, "/" between pieces becomes a space). A committed place is the user's:
// it is kept for the file across restarts and wins over looked-up places. Emptying the text
// (or typing "...") gives the row back to the lookup; closing without a change keeps nothing,
// so merely opening the editor never pins a looked-up place. Escape gives the cell back its
// text. The row is remembered by its key, so sorting or removal meanwhile cannot make the
// typing land in another row.

#include "catalogue/CatalogueEntry.h"

#include <QRect>
#include <QString>

class Catalogue;
class QLineEdit;
class QWidget;

class PlaceEditor {
public:
    // edit is the line edit (a child of the list's viewport); it stays the window's control.
    PlaceEditor(QLineEdit& edit, Catalogue& catalogue);

    // Opens over row's cell in column: at x = left in the viewport, rowRect's top and height
    // (3 pixels taller), width wide, with the cell's text, and takes the focus.
    void Open(int row, int column, int left, int width, const QRect& rowRect);
    // The edited cell takes text (while the editor is open).
    void FollowTyping(const QString& text);
    // Commits and hides the editor.
    void Close();
    // Hides the editor and gives the cell back the text it had when the editor opened.
    void Cancel();
    bool IsOpen() const;
    int Column() const { return column_; }

private:
    QLineEdit& edit_;
    Catalogue& catalogue_;
    int column_ = 0;
    QString rowKey_;   // the row the editor was opened on
    QString original_; // its text then
    PlaceState originalState_ = PlaceState::Pending; // and where its place came from
};

// The place text a typed text stands for: blanks around dropped; pieces typed with "/" (or
// "／") between them are joined with single spaces, as the places of the list are written.
QString PlaceFromTyping(const QString& typed);
