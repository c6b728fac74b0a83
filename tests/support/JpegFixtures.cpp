#include "JpegFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <turbojpeg.h>

QByteArray SyntheticJpeg(const std::vector<Segment>& segments)
{
    QByteArray out("\xFF\xD8", 2);
    for (const Segment& segment : segments) {
        const int length = int(segment.data.size()) + 2;
        out.append('\xFF').append(char(segment.marker)).append(char(length >> 8)).append(char(length & 0xFF));
        out.append(segment.data);
    }
    out.append(QByteArray("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10)); // start of scan
    out.append(QByteArray("\x12\x34\x56\x78", 4));                         // "picture" data
    out.append(QByteArray("\xFF\xD9", 2));
    return out;
}

QByteArray EncodedJpeg(int width, int height, int seed)
{
    std::vector<unsigned char> pixels(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 3];
            p[0] = static_cast<unsigned char>(x * 255 / width);
            p[1] = static_cast<unsigned char>(y * 255 / height);
            p[2] = static_cast<unsigned char>((x + y + seed * 37) & 0xFF);
        }
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long jpegBytes = 0;
    const int status = tjCompress2(encoder, pixels.data(), width, 0, height, TJPF_RGB, &jpeg, &jpegBytes,
                                   TJSAMP_420, 90, 0);
    QByteArray out = status == 0 ? QByteArray(reinterpret_cast<const char*>(jpeg), qsizetype(jpegBytes)) : QByteArray();
    tjFree(jpeg);
    tjDestroy(encoder);
    return out;
}

LoadedExif LoadBytes(const QByteArray& bytes)
{
    LoadedExif loaded;
    loaded.result = loaded.data.LoadFromBytes(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    return loaded;
}

void Patch16(QByteArray& bytes, qsizetype pos, uint16_t value, bool bigEndian)
{
    bytes[pos + (bigEndian ? 0 : 1)] = char(value >> 8);
    bytes[pos + (bigEndian ? 1 : 0)] = char(value & 0xFF);
}

void Patch32(QByteArray& bytes, qsizetype pos, uint32_t value, bool bigEndian)
{
    for (int i = 0; i < 4; ++i)
        bytes[pos + i] = char(value >> (bigEndian ? 8 * (3 - i) : 8 * i));
}

QString DateText(const TDateTimeTagValue& value)
{
    if (value.MissingOrInvalid())
        return QStringLiteral("missing");
    return DaysToDateTime(value.AsDateTime()).toString(QStringLiteral("yyyy:MM:dd HH:mm:ss.zzz"));
}

QByteArray PhotoBytes(const std::optional<ExifFields>& fields)
{
    static const QByteArray picture = EncodedJpeg(16, 16, 1);
    return fields ? InsertApp1Segment(picture, BuildExifApp1(*fields)) : picture;
}

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
