// Writes a few well-formed photos into a folder as the fuzzers' starting corpus, so that they
// begin from real Exif structure rather than from nothing, and inputs that once found a fault.

#include "metadata/ExifWriter.h"

#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + u'/';
    const QByteArray scan("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\x12\x34\xFF\xD9", 14);
    int written = 0;
    for (bool bigEndian : {false, true}) {
        for (bool withSubSeconds : {false, true}) {
            ExifFields fields;
            fields.bigEndian = bigEndian;
            fields.digitized = QDateTime(QDate(2017, 5, 3), QTime(14, 22, 10));
            if (withSubSeconds)
                fields.subSecDigitized = "45";
            fields.latitude = GpsFromDegrees(bigEndian ? -33.8568 : 30.5239, true);
            fields.longitude = GpsFromDegrees(bigEndian ? -70.6483 : 104.0673, false);
            const QByteArray app1 = BuildExifApp1(fields);
            QFile jpeg(folder + QStringLiteral("seed-%1.jpg").arg(written++));
            if (jpeg.open(QIODevice::WriteOnly))
                jpeg.write(InsertApp1Segment(QByteArray("\xFF\xD8", 2) + scan, app1));
            QFile tiff(folder + QStringLiteral("seed-%1.tif").arg(written++));
            if (tiff.open(QIODevice::WriteOnly))
                tiff.write(app1.mid(6));
        }
    }
    // A Photoshop document with an empty Exif resource: it once made the reader pass a null
    // buffer to memcpy.
    QByteArray psd("8BPS\0\1\0\0\0\0\0\0", 12);
    psd += QByteArray(18, '\0');                       // channels, size, depth, mode; no colour data
    psd += QByteArray("\0\0\0\x0C", 4);                // 12 bytes of image resources:
    psd += QByteArray("8BIM\x04\x22\0\0\0\0\0\0", 12); // Exif (0x0422), no name, no data
    QFile photoshop(folder + QStringLiteral("seed-empty-exif.psd"));
    if (photoshop.open(QIODevice::WriteOnly))
        photoshop.write(psd);
    return 0;
}
