#include "preview/VideoPreviewLogic.h"

#include <algorithm>
#include <cmath>
#include <limits>

std::optional<int> PlaySecondOf(int64_t t)
{
    if (t == std::numeric_limits<int64_t>::min())
        return std::nullopt;
    return int32_t((t + 5000) / 1000000);
}

QString FormatPlayTime(int64_t t)
{
    const std::optional<int> second = PlaySecondOf(t);
    if (!second)
        return QStringLiteral("N/A");
    const int s = *second;
    return QString::asprintf("%.2d:%.2d:%.2d", s / 3600, (s / 60) % 60, s % 60);
}

int64_t SeekTargetFromClick(int64_t duration, int x, int width)
{
    if (width <= 0)
        return 0;
    return std::llround(double(duration) * x / width);
}

QString HoverTimeText(int x, int width, int64_t duration)
{
    if (width <= 0)
        return FormatPlayTime(0);
    return FormatPlayTime(int64_t(std::trunc(double(x) / width * double(duration))));
}

int SeekBarPosition(int maximum, int64_t pts, int64_t duration)
{
    if (pts < 0 || duration <= 0)
        return -1;
    return int(std::llround(double(int64_t(maximum) * pts) / double(duration)));
}

InputSource ChooseInputSource(int64_t fileSize)
{
    if (fileSize <= 0)
        return InputSource::Unusable;
    return fileSize < kMemoryInputLimit ? InputSource::Memory : InputSource::File;
}

QString PictureFilterText(float brightness, float saturation, float hue)
{
    // Neutral values leave the picture as it is: no filter, which at 4K saves a pass over
    // every picture.
    if (brightness == 0 && saturation == 1 && hue == 0)
        return {};
    // "." as the decimal point whatever the locale: FFmpeg reads it so.
    return QString::asprintf("hue=b=%.2f:s=%.2f:H=%.2f", double(brightness), double(saturation), double(hue));
}

QString MemoryInputAddress(int identity)
{
    return QStringLiteral("memory:%1:PrivateData - any string less than 1000 bytes for your purpose(e.g. "
                          "indicating which stream to handle)")
        .arg(identity);
}

QPoint FrameCornerInside(const QRect& frame, const QRect& area)
{
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    return {x, y};
}

QString UnplayableReason(bool exists, int64_t size, const QString& engineMessage)
{
    if (!exists)
        return QStringLiteral("文件不存在（可能已被移走或删除）");
    if (size <= 0)
        return QStringLiteral("文件是空的");
    // The engine's messages for each stage of an open, and what each means to the user.
    static const std::pair<const char*, const char*> kReasons[] = {
        {"could not find codec parameters", "文件已损坏，读不出视频的格式"},
        {"or configure filtergraph", "不支持这个视频的编码"},
        {"Invalid data found", "不是视频文件，或文件已损坏"},
        {"End of file", "文件已损坏（内容不完整）"},
        {"Input/output error", "无法读取文件（存储卡是否已拔出？）"},
    };
    for (const auto& [engineText, reason] : kReasons)
        if (engineMessage.contains(QLatin1String(engineText)))
            return QString::fromUtf8(reason);
    return QStringLiteral("无法打开这个视频");
}

std::optional<ClipRequests::Request> ClipRequests::TakeNext()
{
    if (opening_ || !waiting_)
        return std::nullopt;
    opening_ = waiting_;
    waiting_.reset();
    return opening_;
}

ClipRequests::Request ClipRequests::Finish()
{
    const Request ended = opening_.value_or(Request{});
    opening_.reset();
    return ended;
}

int ClipRequests::StepOrigin(int shownRow) const
{
    if (waiting_)
        return waiting_->row;
    if (opening_)
        return opening_->row;
    return shownRow;
}
