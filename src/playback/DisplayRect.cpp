#include "playback/DisplayRect.h"

#include <algorithm>
#include <cmath>

double DisplayAspect(float aspectSetting, QSize area, int pictureWidth, int pictureHeight, double sampleAspect)
{
    if (aspectSetting < 0 && area.width() > 0 && area.height() > 0)
        return double(area.width()) / area.height();
    if (aspectSetting > 0)
        return aspectSetting;
    if (pictureWidth <= 0 || pictureHeight <= 0)
        return 1.0;
    const double sar = sampleAspect > 0 && std::isfinite(sampleAspect) ? sampleAspect : 1.0;
    return pictureWidth * sar / pictureHeight;
}

QRect CalculateDisplayRect(QSize area, double aspect)
{
    const int areaWidth = std::max(area.width(), 0);
    const int areaHeight = std::max(area.height(), 0);
    if (!(aspect > 0) || !std::isfinite(aspect))
        aspect = 1.0;
    int64_t height = areaHeight;
    int64_t width = int64_t(std::floor(height * aspect)) & ~int64_t(1);
    if (width > areaWidth) {
        width = areaWidth;
        height = int64_t(std::floor(width / aspect)) & ~int64_t(1);
    }
    const int x = int((areaWidth - width) / 2);
    const int y = int((areaHeight - height) / 2);
    return QRect(x, y, int(std::max<int64_t>(width, 1)), int(std::max<int64_t>(height, 1)));
}

QRect DisplayToActual(const QRect& requested, const QRect& displayRect, int frameWidth, int frameHeight)
{
    if (displayRect.isEmpty())
        return {};
    // Ordered corners, as exclusive right/bottom edges.
    int left = std::min(requested.left(), requested.left() + requested.width());
    int right = std::max(requested.left(), requested.left() + requested.width());
    int top = std::min(requested.top(), requested.top() + requested.height());
    int bottom = std::max(requested.top(), requested.top() + requested.height());
    const int dl = displayRect.left(), dt = displayRect.top();
    const int dr = dl + displayRect.width(), db = dt + displayRect.height();
    left = std::clamp(left, dl, dr) - dl;
    right = std::clamp(right, dl, dr) - dl;
    top = std::clamp(top, dt, db) - dt;
    bottom = std::clamp(bottom, dt, db) - dt;
    if (frameWidth > 0) {
        left = int(int64_t(left) * frameWidth / displayRect.width());
        right = int(int64_t(right) * frameWidth / displayRect.width());
    }
    if (frameHeight > 0) {
        top = int(int64_t(top) * frameHeight / displayRect.height());
        bottom = int(int64_t(bottom) * frameHeight / displayRect.height());
    }
    return QRect(left, top, right - left, bottom - top);
}
