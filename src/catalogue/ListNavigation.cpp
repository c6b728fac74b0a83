#include "catalogue/ListNavigation.h"

#include "core/Helpers.h"

#include <array>

int ColumnUnderPointer(int x, int scroll, const std::vector<int>& widths)
{
    int left = -scroll;
    for (int i = 0; i < int(widths.size()); ++i) {
        if (left + widths[size_t(i)] >= x)
            return i;
        left += widths[size_t(i)];
    }
    return int(widths.size());
}

int ArrowKeyTarget(int currentRow, int rowCount, int direction)
{
    if (rowCount <= 0)
        return -1;
    if (currentRow < 0 || currentRow >= rowCount)
        return direction > 0 ? 0 : rowCount - 1;
    return (currentRow + (direction > 0 ? 1 : rowCount - 1)) % rowCount;
}

bool ExtInList(int count, const QString* pieces, const QString& extension)
{
    for (int i = 0; i < count; ++i)
        if (pieces[i] == extension)
            return true;
    return false;
}

int NextMatchingRow(int rowCount, const std::function<QString(int)>& pathOfRow, const QString& extensions, int index,
                    int direction)
{
    if (rowCount <= 0 || (direction != 0 && direction != 1))
        return -1;
    std::array<QString, 4> pieces;
    const int count = std::min(SplitStr(extensions, pieces, u'|'), 4);
    const auto matches = [&](int row) {
        const QString path = pathOfRow(row);
        const qsizetype dot = path.lastIndexOf(u'.');
        const qsizetype slash = path.lastIndexOf(u'/');
        if (path.isEmpty() || dot < 0 || dot < slash)
            return false;
        return ExtInList(count, pieces.data(), LowerAsciiLetters(path.mid(dot)));
    };
    const int last = rowCount - 1;
    if (direction == 1) {
        const int start = index + 1 > last ? 0 : index + 1;
        for (int i = 0; i < rowCount; ++i) {
            const int row = (start + i) % rowCount;
            if (matches(row))
                return row;
        }
    } else {
        const int start = index - 1 < 0 ? last : index - 1;
        for (int i = 0; i < rowCount; ++i) {
            const int row = (start - i + rowCount) % rowCount;
            if (matches(row))
                return row;
        }
    }
    return -1;
}
