// Reads the shot time and position from every photo of a generated tree of 5,000 JPEGs, warm
// cache, side by side with: the floor (open each file and read its first 64 KiB), libexiv2's
// in-process readMetadata, and the exiftool program. Prints files/second and the ratios.
//
//   bench_exif_reader [tree folder] [file count]
// The tree is generated on the first run and kept (default /tmp/orvek-bench/exif-tree).

#include "BenchSupport.h"
#include "metadata/ExifData.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <functional>
#include <vector>

namespace {

QStringList ListFiles(const QString& root)
{
    QStringList files;
    QDirIterator it(root, {"*.JPG"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

// Reads the shot time and the six rationals with our reader; returns a checksum.
double ReadOurs(const QString& path)
{
    TExifData exif;
    exif.LoadFromGraphic(path);
    double sum = exif.DateTimeDigitized().AsDateTime();
    for (int i = 0; i < 3; ++i)
        sum += exif.GPSLatitude(i).Quotient() + exif.GPSLongitude(i).Quotient();
    return sum;
}

double ReadExiv2(const QString& path)
{
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        const Exiv2::ExifData& data = image->exifData();
        double sum = 0;
        for (const char* key : {"Exif.Photo.DateTimeDigitized", "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLongitude"}) {
            const auto it = data.findKey(Exiv2::ExifKey(key));
            if (it != data.end())
                sum += double(it->count());
        }
        return sum;
    } catch (const Exiv2::AnyError&) {
        return 0;
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/orvek-bench/exif-tree");
    const int count = argc > 2 ? std::atoi(argv[2]) : 5000;
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);

    QStringList files = ListFiles(root);
    if (files.size() != count) {
        std::printf("generating %d photos in %s ...\n", count, qPrintable(root));
        QDir(root).removeRecursively();
        WritePhotoTree(root, count, 20000);
        files = ListFiles(root);
    }
    std::printf("%lld photos, %lld bytes each\n", qlonglong(files.size()), qlonglong(QFileInfo(files.front()).size()));

    FilesPerSecond(files, ReadFloor, 1); // warm the cache
    const int passes = 5;
    const double floor = FilesPerSecond(files, ReadFloor, passes);
    const double ours = FilesPerSecond(files, ReadOurs, passes);
    const double exiv2 = FilesPerSecond(files, ReadExiv2, passes);

    QElapsedTimer timer;
    timer.start();
    QProcess exiftool;
    exiftool.setStandardOutputFile(QProcess::nullDevice());
    exiftool.start("exiftool", {"-fast", "-r", "-j", "-ExifIFD:CreateDate", "-GPS:GPSLatitude", "-GPS:GPSLongitude", root});
    exiftool.waitForFinished(-1);
    const double exiftoolRate = files.size() / (double(timer.nsecsElapsed()) / 1e9);

    std::printf("%-34s %12s %18s\n", "reader", "files/s", "ours is N x faster");
    std::printf("%-34s %12.0f %18s\n", "floor: open + read 64 KiB", floor, "");
    std::printf("%-34s %12.0f %18s\n", "ours: TExifData::LoadFromGraphic", ours, "");
    std::printf("%-34s %12.0f %18.2f\n", "libexiv2 readMetadata", exiv2, ours / exiv2);
    std::printf("%-34s %12.0f %18.2f\n", "exiftool -fast (one process)", exiftoolRate, ours / exiftoolRate);
    std::printf("floor / ours: %.2f (1.0 = as fast as reading 64 KiB)\n", floor / ours);
    return 0;
}
