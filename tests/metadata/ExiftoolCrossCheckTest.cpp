// Real JPEG files with Exif from our writer, read by our reader and by exiftool: every value
// must agree. exiftool is an independent reader, so this checks the writer and the reader.

#include "JpegFixtures.h"
#include "metadata/ExifData.h"
#include "metadata/ExifWriter.h"

#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct Photo {
    QString name;
    QDateTime shot;
    QByteArray subSeconds; // digits, or empty
    double latitude;
    double longitude;
    bool bigEndian;
};

const Photo kPhotos[] = {
    {"north-east-le.jpg", QDateTime(QDate(2017, 5, 3), QTime(14, 22, 10)), "", 30.5239, 104.0673, false},
    {"north-east-be.jpg", QDateTime(QDate(2017, 5, 3), QTime(14, 22, 10)), "", 30.5239, 104.0673, true},
    {"south-west-le.jpg", QDateTime(QDate(2019, 12, 31), QTime(23, 59, 59)), "7", -33.856784, -70.648278, false},
    {"south-west-be.jpg", QDateTime(QDate(2019, 12, 31), QTime(23, 59, 59)), "123", -33.856784, -70.648278, true},
    {"south-east-be.jpg", QDateTime(QDate(2020, 2, 29), QTime(0, 0, 1)), "45", -0.000139, 179.999861, true},
    {"north-west-le.jpg", QDateTime(QDate(2001, 1, 1), QTime(12, 0, 0)), "", 64.1466, -21.9426, false},
};

TEST(ExiftoolCrossCheck, EveryValueAgreesWithExiftool)
{
    TempFolder folder;
    int seed = 0;
    for (const Photo& photo : kPhotos) {
        ExifFields fields;
        fields.digitized = photo.shot;
        if (!photo.subSeconds.isEmpty())
            fields.subSecDigitized = photo.subSeconds;
        fields.latitude = GpsFromDegrees(photo.latitude, true);
        fields.longitude = GpsFromDegrees(photo.longitude, false);
        fields.bigEndian = photo.bigEndian;
        const QByteArray jpeg = InsertApp1Segment(EncodedJpeg(64, 48, ++seed), BuildExifApp1(fields));
        ASSERT_FALSE(jpeg.isEmpty());
        QFile file(folder.file(photo.name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(jpeg);
    }

    QProcess exiftool;
    exiftool.start("exiftool", {"-j", "-n", "-G1", "-ExifIFD:CreateDate", "-ExifIFD:SubSecTimeDigitized",
                                "-GPS:GPSLatitude", "-GPS:GPSLatitudeRef", "-GPS:GPSLongitude", "-GPS:GPSLongitudeRef",
                                folder.dir.path()});
    ASSERT_TRUE(exiftool.waitForFinished(60000)) << "exiftool is installed by scripts/install-deps.sh";
    const QJsonArray answers = QJsonDocument::fromJson(exiftool.readAllStandardOutput()).array();
    ASSERT_EQ(answers.size(), qsizetype(std::size(kPhotos)));

    for (const QJsonValue& answerValue : answers) {
        const QJsonObject answer = answerValue.toObject();
        const QString path = answer["SourceFile"].toString();
        SCOPED_TRACE(path.toStdString());
        TExifData ours;
        ASSERT_TRUE(ours.LoadFromGraphic(path).ok);

        const QDateTime shot = DaysToDateTime(ours.DateTimeDigitized().AsDateTime());
        EXPECT_EQ(shot.toString("yyyy:MM:dd HH:mm:ss"), answer["ExifIFD:CreateDate"].toString());
        const QString subSeconds = answer["ExifIFD:SubSecTimeDigitized"].toVariant().toString();
        EXPECT_EQ(shot.time().msec(), subSeconds.isEmpty() ? 0 : subSeconds.leftJustified(3, u'0').toInt());

        const double latitude = GpsDegrees(ours.GPSLatitude(0), ours.GPSLatitude(1), ours.GPSLatitude(2), 'N');
        const double longitude = GpsDegrees(ours.GPSLongitude(0), ours.GPSLongitude(1), ours.GPSLongitude(2), 'E');
        EXPECT_NEAR(latitude, answer["GPS:GPSLatitude"].toDouble(), 1e-9);
        EXPECT_NEAR(longitude, answer["GPS:GPSLongitude"].toDouble(), 1e-9);
        EXPECT_EQ(QString(QChar(ours.GPSLatitudeRef())), answer["GPS:GPSLatitudeRef"].toString());
        EXPECT_EQ(QString(QChar(ours.GPSLongitudeRef())), answer["GPS:GPSLongitudeRef"].toString());
    }
}

TEST(ExifWriter, CoordinatesKeepTheirPrecision)
{
    for (double degrees : {30.5239, -33.856784, 179.999861, -0.000139, 0.0}) {
        const GpsCoordinate c = GpsFromDegrees(degrees, true);
        EXPECT_NEAR(GpsDegrees(c.dms[0], c.dms[1], c.dms[2], c.ref), degrees, 0.00001 / 3600 * 10) << degrees;
    }
}

TEST(ExifWriter, InsertingNeedsAJpegAndASegmentThatFits)
{
    EXPECT_TRUE(InsertApp1Segment(QByteArray("PNG"), QByteArray("x")).isEmpty());
    EXPECT_TRUE(InsertApp1Segment(QByteArray("\xFF\xD8\xFF\xD9", 4), QByteArray(65534, 'x')).isEmpty());
    EXPECT_EQ(InsertApp1Segment(QByteArray("\xFF\xD8\xFF\xD9", 4), QByteArray("ab")),
              QByteArray("\xFF\xD8\xFF\xE1\x00\x04" "ab\xFF\xD9", 10));
}

} // namespace
