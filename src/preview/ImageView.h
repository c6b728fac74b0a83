#pragma once
// The photo view of the preview window: the picture fitted into the view (shrunk when larger,
// never enlarged, centred) or at full size with scroll bars, panned by dragging with the left
// button in full size.

#include <QAbstractScrollArea>
#include <QImage>

class ImageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class Mode { Fitted, FullSize };

    explicit ImageView(QWidget* parent = nullptr);

    // naturalSize is the picture's own size when image was decoded smaller (fitted mode).
    void setImage(const QImage& image, QSize naturalSize = {});
    QSize naturalSize() const { return naturalSize_; }
    const QImage& image() const { return image_; }
    void clear() { setImage({}); }
    void setMode(Mode mode);
    Mode mode() const { return mode_; }
    // Where the picture lies in the view's viewport, in viewport coordinates.
    QRect pictureRect() const;
    // A message shown instead of a picture (when one could not be shown).
    void setMessage(const QString& text);

signals:
    void doubleClicked();
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void UpdateScrollBars();

    QImage image_;
    QSize naturalSize_;
    QImage fitted_; // the picture scaled for the fitted mode, made once per size
    Mode mode_ = Mode::Fitted;
    QString message_;
    bool dragging_ = false;
    QPoint lastPoint_;
};
