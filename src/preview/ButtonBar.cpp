#include "preview/ButtonBar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>

ButtonBar::ButtonBar(QWidget* parent, const char* name, QSize size, QMargins margins, QWidget* focusAfter)
    : panel_(new QFrame(parent))
    , row_(new QHBoxLayout(panel_))
    , focusAfter_(focusAfter)
{
    panel_->setObjectName(QString::fromLatin1(name));
    panel_->setFrameShape(QFrame::Panel);
    panel_->setFrameShadow(QFrame::Sunken);
    panel_->setFixedSize(size);
    row_->setContentsMargins(margins);
    row_->setSpacing(4);
}

QPushButton* ButtonBar::AddButton(const char* name, const QString& caption, std::function<void()> clicked, int width)
{
    auto* button = new QPushButton(caption, panel_);
    button->setObjectName(QString::fromLatin1(name));
    button->setFocusPolicy(Qt::NoFocus);
    if (width > 0)
        button->setFixedWidth(width);
    row_->addWidget(button);
    // The bar itself is only the builder: the connection keeps what it needs by value.
    QObject::connect(button, &QPushButton::clicked, panel_, [focus = focusAfter_, clicked = std::move(clicked)] {
        clicked();
        focus->setFocus();
    });
    return button;
}

void ButtonBar::AddWidget(QWidget* widget)
{
    row_->addWidget(widget);
}
