#pragma once
// What the preview windows need of the catalogue list (the main window's services).

#include <QString>
#include <functional>

struct CatalogueAccess {
    std::function<QString(int row)> sourcePathOf;                                   // getSourpath
    std::function<int(const QString& extensions, int row, int direction)> nextRow; // getnexitem
    std::function<void(int row, bool select)> showSelectItem;                      // ShowSelectItem
    std::function<void()> clearSelection;
    std::function<void(int row)> removeRow; // the list row only; its record stays
};
