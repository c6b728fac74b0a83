#include "preview/CatalogueAccess.h"

bool CatalogueAccess::StepTo(const QString& extensions, int from, int direction, bool select,
                             const std::function<void(int row)>& open) const
{
    const int next = nextRow ? nextRow(extensions, from, direction) : -1;
    if (next == -1)
        return false;
    if (clearSelection)
        clearSelection();
    open(next);
    if (showSelectItem)
        showSelectItem(next, select);
    return true;
}

bool CatalogueAccess::OpenAfterRemoval(const QString& extensions, int removed, bool select,
                                       const std::function<void(int row)>& open) const
{
    const int next = RemoveAndFindNext(extensions, removed);
    if (next == -1)
        return false;
    open(next);
    if (showSelectItem)
        showSelectItem(next, select);
    return true;
}

int CatalogueAccess::RemoveAndFindNext(const QString& extensions, int removed) const
{
    if (removeRow)
        removeRow(removed);
    if (clearSelection)
        clearSelection();
    // From the row before the removed one's place, so that the row now there comes first.
    return nextRow ? nextRow(extensions, removed - 1, 1) : -1;
}

void CatalogueAccess::Select(int row) const
{
    if (clearSelection)
        clearSelection();
    if (showSelectItem)
        showSelectItem(row, true);
}
