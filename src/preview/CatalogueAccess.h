#pragma once
// What the preview windows need of the catalogue list (the main window's services), and the
// two moves both windows make through it: to the next row of their kind, and on after a row
// was deleted.

#include <QString>
#include <functional>

struct CatalogueAccess {
    std::function<QString(int row)> sourcePathOf;                                   // getSourpath
    std::function<int(const QString& extensions, int row, int direction)> nextRow; // getnexitem
    std::function<void(int row, bool select)> showSelectItem;                      // ShowSelectItem
    std::function<void()> clearSelection;
    std::function<void(int row)> removeRow; // the list row only; its record stays
    std::function<QString(int row)> placeOf; // the row's place as the list shows it

    // The next row (direction 1) or the previous one (0) after `from` with one of the
    // extensions, wrapping round: the selection is cleared, open(row) shows it, and the list
    // selects it (showSelectItem's select flag as given). False when there is none.
    bool StepTo(const QString& extensions, int from, int direction, bool select,
                const std::function<void(int row)>& open) const;

    // After the file of row `removed` was deleted: the row leaves the list, the selection is
    // cleared, and the next row of the kind at or after its place opens as StepTo does. False
    // when none of the kind is left.
    bool OpenAfterRemoval(const QString& extensions, int removed, bool select,
                          const std::function<void(int row)>& open) const;

    // The first half of OpenAfterRemoval: the row leaves the list, the selection is cleared, and
    // the row of the kind to open next is given (-1 when none is left).
    int RemoveAndFindNext(const QString& extensions, int removed) const;
    // The list selects row alone and shows it.
    void Select(int row) const;
};
