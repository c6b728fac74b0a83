#pragma once
// The host's output area for the playback engine: shows the latest picture in its display
// rectangle and paints the back colour around it. Pictures arrive from the engine's play thread
// already scaled; this widget only copies them to the screen.

#include "playback/VideoSink.h"

#include <QWidget>
#include <atomic>
#include <mutex>

class VideoScreen : public QWidget, public VideoSink {
    Q_OBJECT
public:
    explicit VideoScreen(QWidget* parent = nullptr);

    QSize OutputSize() const override;
    void Present(const QImage& picture, const QRect& displayRect, const QColor& back) override;
    void SetResizeListener(std::function<void()> listener) override;

    // What is on screen now (for tests and the overlay).
    QImage Picture() const;
    QRect PictureRect() const;
    // Drops the picture (after playback stopped): only the back colour is painted.
    void Clear();
    // A text shown in the middle while there is no picture (UI thread).
    void SetPlaceholder(const QString& text);
    QString Placeholder() const { return placeholder; }
    // Pictures handed over and pictures that reached the screen (measurements: a picture
    // replaced before the UI thread painted it was never seen).
    int64_t PicturesPresented() const { return presented.load(); }
    int64_t PicturesPainted() const { return painted.load(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    mutable std::mutex lock; // guards picture, pictureRect, back and listener
    QImage picture;
    QRect pictureRect;
    QColor back{Qt::black};
    QString placeholder;
    std::function<void()> listener;
    std::atomic<int> areaWidth{0};
    std::atomic<int> areaHeight{0};
    std::atomic<bool> repaintQueued{false};
    std::atomic<int64_t> presented{0}; // also the serial of the latest picture
    std::atomic<int64_t> painted{0};
    int64_t lastPaintedSerial = 0; // UI thread only
};
