#include "preview/ImageView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

ImageView::ImageView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("Yulanimg"));
    QPalette white = viewport()->palette();
    white.setColor(QPalette::Window, Qt::white);
    viewport()->setPalette(white);
    viewport()->setAutoFillBackground(true);
    viewport()->setMouseTracking(true);
}

void ImageView::setImage(const QImage& image, QSize naturalSize)
{
    image_ = image;
    naturalSize_ = naturalSize.isValid() ? naturalSize : image.size();
    fitted_ = QImage();
    message_.clear();
    UpdateScrollBars();
    viewport()->update();
}

void ImageView::setMessage(const QString& text)
{
    image_ = QImage();
    fitted_ = QImage();
    message_ = text;
    UpdateScrollBars();
    viewport()->update();
}

void ImageView::setMode(Mode mode)
{
    mode_ = mode;
    dragging_ = false;
    viewport()->setCursor(mode == Mode::FullSize ? Qt::OpenHandCursor : Qt::ArrowCursor);
    UpdateScrollBars();
    viewport()->update();
}

QRect ImageView::pictureRect() const
{
    if (image_.isNull())
        return {};
    const QSize area = viewport()->size();
    if (mode_ == Mode::FullSize)
        return QRect(QPoint(-horizontalScrollBar()->value(), -verticalScrollBar()->value()), image_.size());
    QSize shown = naturalSize_;
    if (shown.width() > area.width() || shown.height() > area.height())
        shown.scale(area, Qt::KeepAspectRatio); // shrink only
    return QRect(QPoint((area.width() - shown.width()) / 2, (area.height() - shown.height()) / 2), shown);
}

void ImageView::UpdateScrollBars()
{
    const bool full = mode_ == Mode::FullSize && !image_.isNull();
    const QSize area = viewport()->size();
    horizontalScrollBar()->setRange(0, full ? std::max(0, image_.width() - area.width()) : 0);
    verticalScrollBar()->setRange(0, full ? std::max(0, image_.height() - area.height()) : 0);
    horizontalScrollBar()->setPageStep(area.width());
    verticalScrollBar()->setPageStep(area.height());
}

void ImageView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    if (!message_.isEmpty()) {
        painter.drawText(viewport()->rect(), Qt::AlignCenter | Qt::TextWordWrap, message_);
        return;
    }
    if (image_.isNull())
        return;
    const QRect target = pictureRect();
    if (mode_ == Mode::FullSize || target.size() == image_.size()) {
        painter.drawImage(target.topLeft(), image_);
        return;
    }
    if (fitted_.size() != target.size())
        fitted_ = image_.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(target.topLeft(), fitted_);
}

void ImageView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    emit resized();
}

void ImageView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && mode_ == Mode::FullSize) {
        dragging_ = true;
        lastPoint_ = event->position().toPoint();
        viewport()->setCursor(Qt::ClosedHandCursor);
    }
}

void ImageView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return;
    const QPoint at = event->position().toPoint();
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + lastPoint_.x() - at.x());
    verticalScrollBar()->setValue(verticalScrollBar()->value() + lastPoint_.y() - at.y());
    lastPoint_ = at;
    viewport()->repaint();
}

void ImageView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    viewport()->setCursor(mode_ == Mode::FullSize ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

void ImageView::mouseDoubleClickEvent(QMouseEvent*)
{
    emit doubleClicked();
}

void ImageView::leaveEvent(QEvent* event)
{
    QAbstractScrollArea::leaveEvent(event);
    viewport()->unsetCursor();
}

void ImageView::scrollContentsBy(int, int)
{
    viewport()->update();
}
