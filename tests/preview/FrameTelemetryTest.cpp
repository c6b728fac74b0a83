// The telemetry line over each picture and the geotagged frame capture.
#include "TestFiles.h"
#include "metadata/ExifData.h"
#include "preview/FrameTelemetry.h"

#include <QDir>
#include <QProcess>
#include <cmath>
#include <gtest/gtest.h>

namespace {

videosrt Entry(const QString& time, float distance, const QString& lon, const QString& lat, const QString& place)
{
    videosrt entry;
    entry.Time = time;
    entry.Distance = distance;
    entry.GPSLAt = lon;
    entry.GPSLNg = lat;
    entry.Location = place;
    return entry;
}

// The smallest rectangle holding the picture's near-white pixels.
QRect WhiteArea(const QImage& image)
{
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) > 200)
                area |= QRect(x, y, 1, 1);
    return area;
}

TEST(FrameTelemetry, TheLineNamesTimeDistanceAndPlace)
{
    EXPECT_EQ(TelemetryText(Entry("2016.05.09 13:14:41", 167.86f, "113.9500", "22.5800", "福田路")),
              "TIME:2016.05.09 13:14:41 D:167.86M LOCATION:福田路");
    EXPECT_TRUE(TelemetryText(Entry("2016.05.09 13:14:41", 0, "", "", "")).contains(" D:0.00M"));
    const QFont font = TelemetryFont();
    EXPECT_EQ(font.pointSize(), 33);
    EXPECT_TRUE(font.bold());
}

TEST(FrameTelemetry, TheLineIsDrawnAtTheTopForTheSecondOfThePicture)
{
    SrtTable table;
    table.Store(1, Entry("2016.05.09 13:14:41", 12.5f, "113.9500", "22.5800", "X"));
    QImage picture(960, 540, QImage::Format_RGB32);
    picture.fill(Qt::black);
    EXPECT_FALSE(DrawTelemetry(picture, table, 994000)); // 0.994 s is second 0
    EXPECT_TRUE(WhiteArea(picture).isEmpty());
    EXPECT_TRUE(DrawTelemetry(picture, table, 996000)); // 0.996 s is second 1
    const QRect line = WhiteArea(picture);
    ASSERT_FALSE(line.isEmpty());
    EXPECT_GE(line.top(), 10);
    EXPECT_LT(line.bottom(), 70);
    // Centred: as much dark margin left as right of the text.
    EXPECT_NEAR(line.left(), picture.width() - 1 - line.right(), 8);
}

TEST(FrameTelemetry, APictureNarrowerThanTheLineGetsAllOfItInASmallerFont)
{
    SrtTable table;
    table.Store(1, Entry("2016.05.09 13:14:41", 167.86f, "113.9500", "22.5800", "灵泉街道"));
    QImage wide(1920, 1080, QImage::Format_RGB32);
    wide.fill(Qt::black);
    ASSERT_TRUE(DrawTelemetry(wide, table, 1000000));
    const QRect full = WhiteArea(wide);
    for (const int width : {640, 360}) {
        QImage narrow(width, width * 9 / 16, QImage::Format_RGB32);
        narrow.fill(Qt::black);
        ASSERT_TRUE(DrawTelemetry(narrow, table, 1000000));
        const QRect line = WhiteArea(narrow);
        EXPECT_GE(line.left(), 2) << width << ": not cut at the left";
        EXPECT_LE(line.right(), width - 3) << width << ": not cut at the right";
        EXPECT_LT(line.height(), 2 * full.height()) << width << ": one line, or two smaller ones";
        EXPECT_GE(line.top(), 10) << width;
    }
}

TEST(FrameTelemetry, TheLineHasADarkOutlineSoItReadsOnABrightSky)
{
    SrtTable table;
    table.Store(1, Entry("2017.08.05 14:11:51", 149.025f, "104.0610", "30.5010", "成都市 双流区"));
    QImage sky(1280, 720, QImage::Format_RGB32);
    sky.fill(Qt::white);
    ASSERT_TRUE(DrawTelemetry(sky, table, 1000000));
    int dark = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < sky.width(); ++x)
            dark += qGray(sky.pixel(x, y)) < 80 ? 1 : 0;
    EXPECT_GT(dark, 500) << "the white letters are edged in black";
}

TEST(FrameTelemetry, CapturesAreNamedAfterTheRecordingTime)
{
    const auto recorded = RecordingTime("2016.05.09 13:14:41");
    ASSERT_TRUE(recorded.has_value());
    EXPECT_EQ(CaptureFileName(*recorded), "I-20160509131441.JPG");
    EXPECT_EQ(CaptureFileName(*RecordingTime("2016.5.9 3:04:05")), "I-20160509030405.JPG");
    EXPECT_FALSE(RecordingTime("").has_value());
    EXPECT_FALSE(RecordingTime("not a date").has_value());

    SrtTable table;
    TempFolder folder;
    EXPECT_FALSE(PlanCapture(table, 0, folder.path()).has_value()); // no flight log
    table.Store(0, Entry("", 0, "1", "2", "X"));
    EXPECT_FALSE(PlanCapture(table, 0, folder.path()).has_value()); // no date in the entry
    table.Store(1, Entry("2016.05.09 13:14:41", 0, "1", "2", "X"));
    const auto plan = PlanCapture(table, 1200000, folder.path());
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->path, folder.file("I-20160509131441.JPG"));
}

TEST(FrameTelemetry, ACaptureCarriesItsTimeAndPositionForOurReaderAndExiftool)
{
    QImage picture(320, 180, QImage::Format_RGB32);
    picture.fill(QColor(0x20, 0x60, 0xC0));
    TempFolder folder;
    const struct {
        const char* lon;
        const char* lat;
        const char* latRef;
        const char* lonRef;
    } cases[] = {
        {"113.9500", "22.5800", "N", "E"},
        {"-70.6483", "-33.4569", "S", "W"},
        {"104.9999", "30.999999", "N", "E"}, // 59.9964 s rounds to a whole minute: it carries
    };
    // Degrees from the three rationals of a coordinate as read back.
    const auto degrees = [](const TExifData& exif, bool latitude) {
        double value = 0;
        for (int i = 2; i >= 0; --i) {
            const TTiffLongWordFraction part = latitude ? exif.GPSLatitude(i) : exif.GPSLongitude(i);
            value = value / 60.0 + part.Quotient();
        }
        return value;
    };
    for (const auto& c : cases) {
        const QString path = folder.file(QStringLiteral("I-%1-%2.JPG").arg(c.latRef, c.lon));
        ASSERT_TRUE(SaveFrameJpeg(picture, path, c.lon, *RecordingTime("2016.05.09 13:14:41"), c.lat));
        const QByteArray bytes = [&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        EXPECT_TRUE(bytes.contains(QByteArray("\xFF\xC0", 2))); // baseline, not progressive
        TExifData exif;
        ASSERT_TRUE(exif.LoadFromGraphic(path).ok);
        EXPECT_EQ(exif.DateTimeDigitized().AsString(), "2016/5/9 13:14:41");
        EXPECT_EQ(exif.GPSLatitude(2).Denominator, 100u) << "seconds to 1/100";
        EXPECT_LT(exif.GPSLatitude(2).Numerator, 6000u);
        EXPECT_LT(exif.GPSLongitude(1).Numerator, 60u);
        EXPECT_NEAR(degrees(exif, true), std::fabs(QString(c.lat).toDouble()), 1e-5) << c.lat;
        EXPECT_NEAR(degrees(exif, false), std::fabs(QString(c.lon).toDouble()), 1e-5) << c.lon;
        EXPECT_EQ(exif.GPSLatitudeRef(), c.latRef[0]);
        EXPECT_EQ(exif.GPSLongitudeRef(), c.lonRef[0]);

        QProcess exiftool;
        exiftool.start("exiftool", {"-s3", "-n", "-DateTimeOriginal", "-CreateDate", "-GPSLatitude", "-GPSLongitude", path});
        ASSERT_TRUE(exiftool.waitForFinished(30000));
        const QStringList lines = QString::fromUtf8(exiftool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 4) << exiftool.readAllStandardError().toStdString();
        EXPECT_EQ(lines[0], "2016:05:09 13:14:41") << "DateTimeOriginal";
        EXPECT_EQ(lines[1], "2016:05:09 13:14:41") << "CreateDate";
        EXPECT_NEAR(lines[2].toDouble(), QString(c.lat).toDouble(), 1e-5) << "signed by its hemisphere";
        EXPECT_NEAR(lines[3].toDouble(), QString(c.lon).toDouble(), 1e-5);
    }
}

TEST(FrameTelemetry, AnUnwritableFolderWritesNothing)
{
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    QString error;
    EXPECT_FALSE(SaveFrameJpeg(picture, "/nonexistent-folder/I-1.JPG", "1", QDateTime::currentDateTime(), "2", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(SaveFrameJpeg(QImage(), QDir::temp().filePath("orvek-none.jpg"), "1", QDateTime::currentDateTime(), "2"));
}

} // namespace
