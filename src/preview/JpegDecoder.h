#pragma once
// Decoding photos for the preview. A JPEG is decoded with libjpeg-turbo, at a reduced scale
// when the picture only has to fill a smaller area (the codec's DCT scaling is much faster
// than decoding in full and shrinking); other formats go through Qt's readers.

#include <QImage>
#include <QSize>
#include <QString>

struct DecodedPhoto {
    QImage image;      // null when the file could not be decoded
    QSize fullSize;    // the picture's own size
    QString error;     // why it could not be decoded, for the user
};

// Decodes path. With a valid fitInto the JPEG may be decoded at 1/2, 1/4 or 1/8 of its size,
// never smaller than what fitting it into fitInto needs; without it, in full.
DecodedPhoto DecodePhoto(const QString& path, QSize fitInto = {});
