#pragma once
// Builds the sunken panel of buttons that both preview windows show under the picture (the panel
// belongs to the window; the builder may go once it is built). Its buttons take no focus, and
// after a button's handler has run the focus goes back to the window's picture, so the window's
// keys (A/D, Space, ...) keep working after a click.

#include <QMargins>
#include <QSize>
#include <functional>

class QFrame;
class QHBoxLayout;
class QPushButton;
class QString;
class QWidget;

class ButtonBar {
public:
    // A panel named name of a fixed size inside parent; focusAfter takes the focus after a click.
    ButtonBar(QWidget* parent, const char* name, QSize size, QMargins margins, QWidget* focusAfter);

    QFrame* Panel() const { return panel_; }
    // A button at the end of the row (width 0: as wide as its caption needs).
    QPushButton* AddButton(const char* name, const QString& caption, std::function<void()> clicked, int width = 0);
    // Any other part at the end of the row (a separator, a check box).
    void AddWidget(QWidget* widget);

private:
    QFrame* panel_;
    QHBoxLayout* row_;
    QWidget* focusAfter_;
};
