#include "preview/JpegDecoder.h"

#include <QFile>
#include <QImageReader>
#include <turbojpeg.h>

namespace {

// The smallest of the codec's scales at which the picture still covers what fitting it into
// the area needs.
tjscalingfactor ChooseScale(int width, int height, QSize fitInto)
{
    tjscalingfactor chosen{1, 1};
    if (!fitInto.isValid() || fitInto.isEmpty())
        return chosen;
    const double shrink = std::min(1.0, std::min(double(fitInto.width()) / width, double(fitInto.height()) / height));
    for (const tjscalingfactor factor : {tjscalingfactor{1, 2}, tjscalingfactor{1, 4}, tjscalingfactor{1, 8}}) {
        if (double(factor.num) / factor.denom < shrink)
            break;
        chosen = factor;
    }
    return chosen;
}

DecodedPhoto DecodeWithQt(const QString& path)
{
    DecodedPhoto photo;
    QImageReader reader(path);
    photo.image = reader.read();
    if (photo.image.isNull())
        photo.error = QStringLiteral("无法显示图片：%1").arg(reader.errorString());
    photo.fullSize = photo.image.size();
    return photo;
}

} // namespace

DecodedPhoto DecodePhoto(const QString& path, QSize fitInto)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, {}, QStringLiteral("无法打开图片：%1").arg(file.errorString())};
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 2 || uchar(bytes[0]) != 0xFF || uchar(bytes[1]) != 0xD8)
        return DecodeWithQt(path); // not a JPEG, whatever its name says

    DecodedPhoto photo;
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    if (tjDecompressHeader3(decoder, data, (unsigned long)bytes.size(), &width, &height, &subsampling, &colourspace) != 0
        || width <= 0 || height <= 0) {
        photo.error = QStringLiteral("无法显示图片：%1").arg(QString::fromLocal8Bit(tjGetErrorStr2(decoder)));
        tjDestroy(decoder);
        return photo;
    }
    photo.fullSize = QSize(width, height);
    const tjscalingfactor scale = ChooseScale(width, height, fitInto);
    const int scaledWidth = TJSCALED(width, scale);
    const int scaledHeight = TJSCALED(height, scale);
    QImage image(scaledWidth, scaledHeight, QImage::Format_RGB32);
    const int status = tjDecompress2(decoder, data, (unsigned long)bytes.size(), image.bits(), scaledWidth,
                                     int(image.bytesPerLine()), scaledHeight, TJPF_BGRX, TJFLAG_FASTDCT);
    // A warning (a truncated or slightly damaged file) still gives a picture worth showing.
    if (status != 0 && tjGetErrorCode(decoder) == TJERR_FATAL) {
        photo.error = QStringLiteral("无法显示图片：%1").arg(QString::fromLocal8Bit(tjGetErrorStr2(decoder)));
        image = QImage();
    }
    tjDestroy(decoder);
    photo.image = image;
    return photo;
}
