#include "catalogue/PlaceEditor.h"

#include "catalogue/Catalogue.h"
#include "core/Helpers.h"
#include "services/Geocoder.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QStringList>

PlaceEditor::PlaceEditor(QLineEdit& edit, Catalogue& catalogue) : edit_(edit), catalogue_(catalogue) {}

void PlaceEditor::Open(int row, int column, int left, int width, const QRect& rowRect)
{
    column_ = column;
    rowKey_ = catalogue_.RowKey(row);
    edit_.setGeometry(left, rowRect.top(), width, rowRect.height() + 3);
    original_ = catalogue_.rows().text(row, column);
    originalState_ = catalogue_.Entry(row).placeState;
    edit_.setText(original_);
    edit_.show();
    edit_.setFocus();
}

void PlaceEditor::FollowTyping(const QString& text)
{
    if (!edit_.isVisible() || column_ != kColLocation)
        return; // only the place column is ever edited
    const int row = catalogue_.RowOfKey(rowKey_);
    if (row >= 0) // a text that stands for "..." gives the row back to the lookup at once
        catalogue_.SetPlace(row, text, TrimLowChars(text) == kPlacePending ? PlaceState::Pending : PlaceState::Typed);
}

void PlaceEditor::Close()
{
    const QString place = PlaceFromTyping(edit_.text());
    const int row = edit_.isVisible() && column_ == kColLocation ? catalogue_.RowOfKey(rowKey_) : -1;
    if (row >= 0) {
        if (!place.isEmpty() && place == original_)
            catalogue_.SetPlace(row, place, originalState_); // unchanged: whoever gave it keeps it
        else
            catalogue_.TypePlace(row, place);
    }
    edit_.hide();
    rowKey_.clear();
}

void PlaceEditor::Cancel()
{
    const int row = edit_.isVisible() && column_ == kColLocation ? catalogue_.RowOfKey(rowKey_) : -1;
    if (row >= 0)
        catalogue_.SetPlace(row, original_, originalState_);
    edit_.hide();
    rowKey_.clear();
}

QString PlaceFromTyping(const QString& typed)
{
    QStringList pieces;
    for (const QString& piece : typed.split(QRegularExpression(QStringLiteral("[/／]")))) {
        const QString trimmed = TrimLowChars(piece);
        if (!trimmed.isEmpty())
            pieces << trimmed;
    }
    return pieces.join(u' ');
}

bool PlaceEditor::IsOpen() const
{
    return edit_.isVisible();
}
