#include "BenchSupport.h"

#include "metadata/ExifWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <random>
#include <turbojpeg.h>
#include <vector>

// A camera-like photo body: a picture of noise, encoded once.
QByteArray EncodedPicture(int width, int height)
{
    std::mt19937 random(7);
    std::vector<unsigned char> pixels(size_t(width) * height * 3);
    for (auto& p : pixels)
        p = static_cast<unsigned char>(random());
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long bytes = 0;
    tjCompress2(encoder, pixels.data(), width, 0, height, TJPF_RGB, &jpeg, &bytes, TJSAMP_420, 85, 0);
    QByteArray out(reinterpret_cast<const char*>(jpeg), qsizetype(bytes));
    tjFree(jpeg);
    tjDestroy(encoder);
    return out;
}

// An Exif block like a drone camera's: some forty tags, a maker note, the GPS directory.
QByteArray CameraExif(int index)
{
    TiffWriter writer(index % 2 == 1);
    writer.AddAscii(TiffWriter::kIfd0, 0x010F, "ORVEK\0");
    writer.AddAscii(TiffWriter::kIfd0, 0x0110, "FC6310\0");
    writer.Add(TiffWriter::kIfd0, 0x0112, kTiffShort, {1});
    writer.AddRationals(TiffWriter::kIfd0, 0x011A, {{72, 1}});
    writer.AddRationals(TiffWriter::kIfd0, 0x011B, {{72, 1}});
    writer.Add(TiffWriter::kIfd0, 0x0128, kTiffShort, {2});
    writer.AddAscii(TiffWriter::kIfd0, 0x0131, "v01.08.1719\0");
    writer.AddAscii(TiffWriter::kIfd0, 0x0132, "2017:05:03 14:22:10\0");
    writer.Add(TiffWriter::kIfd0, 0x0213, kTiffShort, {1});
    const QDateTime shot = QDateTime(QDate(2017, 5, 3), QTime(8, 0)).addSecs(index * 7);
    const QByteArray date = shot.toString("yyyy:MM:dd HH:mm:ss").toLatin1() + '\0';
    writer.AddRationals(TiffWriter::kExifIfd, 0x829A, {{1, 500}});
    writer.AddRationals(TiffWriter::kExifIfd, 0x829D, {{28, 10}});
    writer.Add(TiffWriter::kExifIfd, 0x8822, kTiffShort, {2});
    writer.Add(TiffWriter::kExifIfd, 0x8827, kTiffShort, {100});
    writer.Add(TiffWriter::kExifIfd, 0x9000, kTiffUndefined, {'0', '2', '3', '0'});
    writer.AddAscii(TiffWriter::kExifIfd, 0x9003, date);
    writer.AddAscii(TiffWriter::kExifIfd, 0x9004, date);
    writer.Add(TiffWriter::kExifIfd, 0x9101, kTiffUndefined, {0, 3, 2, 1});
    writer.Add(TiffWriter::kExifIfd, 0x9201, kTiffSRational, {8965784, 1000000});
    writer.AddRationals(TiffWriter::kExifIfd, 0x9202, {{297, 100}});
    writer.Add(TiffWriter::kExifIfd, 0x9204, kTiffSRational, {0, 1});
    writer.AddRationals(TiffWriter::kExifIfd, 0x9205, {{297, 100}});
    writer.Add(TiffWriter::kExifIfd, 0x9207, kTiffShort, {2});
    writer.Add(TiffWriter::kExifIfd, 0x9208, kTiffShort, {1});
    writer.Add(TiffWriter::kExifIfd, 0x9209, kTiffShort, {32});
    writer.AddRationals(TiffWriter::kExifIfd, 0x920A, {{880, 100}});
    std::vector<uint32_t> makerNote(6000);
    for (size_t i = 0; i < makerNote.size(); ++i)
        makerNote[i] = uint32_t(i * 31 + index) & 0xFF;
    writer.Add(TiffWriter::kExifIfd, 0x927C, kTiffUndefined, makerNote);
    writer.Add(TiffWriter::kExifIfd, 0xA000, kTiffUndefined, {'0', '1', '0', '0'});
    writer.Add(TiffWriter::kExifIfd, 0xA001, kTiffShort, {1});
    writer.Add(TiffWriter::kExifIfd, 0xA002, kTiffLong, {4000});
    writer.Add(TiffWriter::kExifIfd, 0xA003, kTiffLong, {3000});
    writer.Add(TiffWriter::kExifIfd, 0xA402, kTiffShort, {0});
    writer.Add(TiffWriter::kExifIfd, 0xA403, kTiffShort, {0});
    writer.Add(TiffWriter::kExifIfd, 0xA405, kTiffShort, {24});
    writer.Add(TiffWriter::kExifIfd, 0xA406, kTiffShort, {0});
    writer.AddAscii(TiffWriter::kExifIfd, 0xA420, "a3b7c1d2e4f5061728394a5b6c7d8e9f\0");
    const GpsCoordinate latitude = GpsFromDegrees(30.5 + index * 1e-5, true);
    const GpsCoordinate longitude = GpsFromDegrees(104.06 + index * 1e-5, false);
    writer.Add(TiffWriter::kGpsIfd, 0, kTiffByte, {2, 3, 0, 0});
    writer.AddAscii(TiffWriter::kGpsIfd, 1, QByteArray(1, latitude.ref) + '\0');
    writer.AddRationals(TiffWriter::kGpsIfd, 2, {latitude.dms.begin(), latitude.dms.end()});
    writer.AddAscii(TiffWriter::kGpsIfd, 3, QByteArray(1, longitude.ref) + '\0');
    writer.AddRationals(TiffWriter::kGpsIfd, 4, {longitude.dms.begin(), longitude.dms.end()});
    writer.Add(TiffWriter::kGpsIfd, 5, kTiffByte, {0});
    writer.AddRationals(TiffWriter::kGpsIfd, 6, {{12345, 100}});
    return QByteArray("Exif\0\0", 6) + writer.Build().tiff;
}

QByteArray Segment(unsigned char marker, const QByteArray& data)
{
    const int length = int(data.size()) + 2;
    return QByteArray(1, '\xFF') + char(marker) + char(length >> 8) + char(length & 0xFF) + data;
}

void WritePhotoTree(const QString& root, int count, int app2Bytes, int width, int height)
{
    const QByteArray picture = EncodedPicture(width, height);
    QByteArray xmp("http://ns.adobe.com/xap/1.0/\0", 29);
    xmp.append(QByteArray(3000, ' '));
    const QByteArray app2 = app2Bytes > 0 ? Segment(0xE2, QByteArray("MPF\0", 4) + QByteArray(app2Bytes, '\x11')) : QByteArray();
    for (int i = 0; i < count; ++i) {
        const QString folder = root + QStringLiteral("/%1MEDIA").arg(100 + i / 100);
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/DJI_%1.JPG").arg(i, 4, 10, QChar(u'0')));
        if (!file.open(QIODevice::WriteOnly))
            continue;
        file.write(picture.left(2) + Segment(0xE1, CameraExif(i)) + Segment(0xE1, xmp) + app2 + picture.mid(2));
    }
}


double ReadFloor(const QString& path)
{
    static thread_local std::vector<char> buffer(64 * 1024);
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    close(fd);
    return double(got);
}

double MedianSeconds(const std::function<void()>& work, int runs)
{
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

double FilesPerSecond(const QStringList& files, const std::function<double(const QString&)>& read, int passes)
{
    volatile double sink = 0;
    const double seconds = MedianSeconds([&] {
        for (const QString& file : files)
            sink = sink + read(file);
    }, passes);
    return files.size() / seconds;
}
