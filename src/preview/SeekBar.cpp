#include "preview/SeekBar.h"

#include <QMouseEvent>

SeekBar::SeekBar(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setMouseTracking(true);
    setTickPosition(QSlider::NoTicks);
    setCursor(Qt::PointingHandCursor);
}

void SeekBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int x = int(event->position().x());
    pressed_ = true;
    emit pressedAt(x);
    if (width() > 0)
        setValue(int(qint64(maximum() - minimum()) * x / width()) + minimum());
    event->accept();
}

void SeekBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    emit clicked();
    event->accept();
}

void SeekBar::mouseMoveEvent(QMouseEvent* event)
{
    emit hoveredAt(int(event->position().x()));
    event->accept();
}

void SeekBar::enterEvent(QEnterEvent* event)
{
    emit entered();
    QSlider::enterEvent(event);
}

void SeekBar::leaveEvent(QEvent* event)
{
    emit left();
    QSlider::leaveEvent(event);
}
