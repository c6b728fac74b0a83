#include "playback/VideoScreen.h"

#include "core/UiHandover.h"

#include <QPainter>
#include <QPointer>
#include <QRegion>

VideoScreen::VideoScreen(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMinimumSize(16, 16);
}

QSize VideoScreen::OutputSize() const
{
    return {areaWidth.load(), areaHeight.load()};
}

void VideoScreen::Present(const QImage& newPicture, const QRect& displayRect, const QColor& newBack)
{
    {
        std::lock_guard guard(lock);
        picture = newPicture;
        pictureRect = displayRect;
        back = newBack;
        ++presented;
    }
    // One queued repaint at a time: a slow UI thread gets the latest picture, not a backlog.
    if (!repaintQueued.exchange(true)) {
        UiHandover::Post(QPointer<QObject>(this), [this] {
            repaintQueued = false;
            update();
        });
    }
}

void VideoScreen::SetResizeListener(std::function<void()> newListener)
{
    std::lock_guard guard(lock);
    listener = std::move(newListener);
}

QImage VideoScreen::Picture() const
{
    std::lock_guard guard(lock);
    return picture;
}

QRect VideoScreen::PictureRect() const
{
    std::lock_guard guard(lock);
    return pictureRect;
}

void VideoScreen::Clear()
{
    {
        std::lock_guard guard(lock);
        picture = QImage();
        pictureRect = QRect();
    }
    update();
}

void VideoScreen::SetPlaceholder(const QString& text)
{
    {
        std::lock_guard guard(lock);
        placeholder = text;
    }
    update();
}

void VideoScreen::paintEvent(QPaintEvent*)
{
    QImage shown;
    QRect rect;
    QColor fill;
    QString caption;
    int64_t serial = 0;
    {
        std::lock_guard guard(lock);
        shown = picture;
        rect = pictureRect;
        fill = back;
        caption = placeholder;
        serial = presented;
    }
    if (!shown.isNull() && serial != lastPaintedSerial) {
        lastPaintedSerial = serial;
        ++painted;
    }
    QPainter painter(this);
    const QRegion outside = QRegion(this->rect()).subtracted(shown.isNull() ? QRegion() : QRegion(rect));
    for (const QRect& part : outside)
        painter.fillRect(part, fill);
    if (!shown.isNull()) {
        painter.drawImage(rect.topLeft(), shown);
    } else if (!caption.isEmpty()) {
        painter.setPen(fill.lightness() < 128 ? QColor(220, 220, 220) : QColor(40, 40, 40));
        painter.drawText(this->rect(), Qt::AlignCenter, caption);
    }
}

void VideoScreen::resizeEvent(QResizeEvent* event)
{
    areaWidth = width();
    areaHeight = height();
    QWidget::resizeEvent(event);
    std::function<void()> notify;
    {
        std::lock_guard guard(lock);
        notify = listener;
    }
    if (notify)
        notify();
}
