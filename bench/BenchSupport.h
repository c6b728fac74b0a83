#pragma once
// What the benchmarks share: photo trees with Exif blocks like a drone camera's, the floor of
// reading a file, and timing passes over a list of files.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// A width x height picture of noise, JPEG-encoded.
QByteArray EncodedPicture(int width, int height);

// An APP1 Exif block like a drone camera's for photo number index: some forty tags, a maker
// note, a GPS position that moves with the index, a shot time seven seconds after the last.
QByteArray CameraExif(int index);

// A JPEG segment: marker, length and data.
QByteArray Segment(unsigned char marker, const QByteArray& data);

// Writes count photos into folders of 100 below root ("100MEDIA/DJI_0000.JPG", ...), each with
// the camera Exif block, an XMP block and, when app2Bytes > 0, an APP2 block of that size.
void WritePhotoTree(const QString& root, int count, int app2Bytes, int width = 640, int height = 480);

// The floor: open the file, read its first 64 KiB, close it. Returns the bytes read.
double ReadFloor(const QString& path);

// Median files/second of several passes of read over the files.
double FilesPerSecond(const QStringList& files, const std::function<double(const QString&)>& read, int passes);

// Median seconds of several runs of work.
double MedianSeconds(const std::function<void()>& work, int runs);
