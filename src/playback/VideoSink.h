#pragma once
// What the engine needs of the host's output area: its size, a place to hand each picture
// (already scaled to its display rectangle), and a way to hear about size changes. The engine
// calls these from its play thread; implementations make them safe for that.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <functional>

class VideoSink {
public:
    virtual ~VideoSink() = default;
    // Size of the output area in pixels (any thread).
    virtual QSize OutputSize() const = 0;
    // Shows picture in displayRect and paints back everywhere else (any thread).
    virtual void Present(const QImage& picture, const QRect& displayRect, const QColor& back) = 0;
    // Called on the UI thread after the area was resized; an empty function removes the listener.
    virtual void SetResizeListener(std::function<void()> listener) = 0;
};
