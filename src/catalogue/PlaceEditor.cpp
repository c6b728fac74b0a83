#include "catalogue/PlaceEditor.h"

#include "catalogue/Catalogue.h"
#include "core/Helpers.h"

#include <QLineEdit>

PlaceEditor::PlaceEditor(QLineEdit& edit, Catalogue& catalogue) : edit_(edit), catalogue_(catalogue) {}

void PlaceEditor::Open(int row, int column, int left, int width, const QRect& rowRect)
{
    column_ = column;
    rowKey_ = catalogue_.RowKey(row);
    edit_.setGeometry(left, rowRect.top(), width, rowRect.height() + 3);
    edit_.setText(catalogue_.rows().cell(row, column));
    edit_.show();
    edit_.setFocus();
}

void PlaceEditor::FollowTyping(const QString& text)
{
    if (!edit_.isVisible() || column_ != kColLocation)
        return; // only the place column is ever edited
    const int row = catalogue_.RowOfKey(rowKey_);
    if (row >= 0)
        catalogue_.rows().setCell(row, column_, text);
}

void PlaceEditor::Close()
{
    const QString typed = edit_.text();
    FollowTyping(typed.isEmpty() ? QStringLiteral("默认") : TrimLowChars(typed));
    edit_.hide();
    rowKey_.clear();
}

bool PlaceEditor::IsOpen() const
{
    return edit_.isVisible();
}
