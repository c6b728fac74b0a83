#include "JpegFixtures.h"
#include "metadata/ExifData.h"
#include "metadata/ExifWriter.h"

#include "TestFiles.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

const QByteArray kDate("2016:05:03 14:22:09\0", 20);
const QString kDateRead = QStringLiteral("2016:05:03 14:22:09.000");
const QString kLatitude = QStringLiteral("30 31 3456/100");
const QString kLongitude = QStringLiteral("104 4 2");
const QString kNone = QStringLiteral("  ");

// A TIFF block as the camera writes it: the date in the Exif IFD, the position in the GPS IFD.
// Entries by position: IFD0 [Exif pointer, GPS pointer]; Exif IFD [date, sub-seconds when
// given]; GPS IFD [version, latitude ref, latitude, longitude ref, longitude].
TiffWriter::Layout CameraBlock(bool bigEndian, const QByteArray& date = kDate, const QByteArray& subSeconds = {})
{
    TiffWriter writer(bigEndian);
    writer.AddAscii(TiffWriter::kExifIfd, 0x9004, date);
    if (!subSeconds.isEmpty())
        writer.AddAscii(TiffWriter::kExifIfd, 0x9292, subSeconds);
    writer.Add(TiffWriter::kGpsIfd, 0, kTiffByte, {2, 3, 0, 0});
    writer.AddAscii(TiffWriter::kGpsIfd, 1, QByteArray("N\0", 2));
    writer.AddRationals(TiffWriter::kGpsIfd, 2, {{30, 1}, {31, 1}, {3456, 100}});
    writer.AddAscii(TiffWriter::kGpsIfd, 3, QByteArray("E\0", 2));
    writer.AddRationals(TiffWriter::kGpsIfd, 4, {{104, 1}, {4, 1}, {2, 1}});
    return writer.Build();
}

qsizetype EntryAt(const TiffWriter::Layout& layout, TiffWriter::Directory directory, int index)
{
    return qsizetype(layout.ifdOffsets[directory]) + 2 + 12 * index;
}

QByteArray Exif(const QByteArray& tiff) { return QByteArray("Exif\0\0", 6) + tiff; }
QByteArray Photo(const QByteArray& tiff) { return SyntheticJpeg({{0xE1, Exif(tiff)}}); }

// A camera photo whose TIFF block is changed by patch before it is wrapped.
QByteArray PatchedPhoto(bool bigEndian, const std::function<void(QByteArray&, const TiffWriter::Layout&)>& patch)
{
    TiffWriter::Layout layout = CameraBlock(bigEndian);
    patch(layout.tiff, layout);
    return Photo(layout.tiff);
}

QString Triple(const TExifData& exif, bool latitude)
{
    QStringList parts;
    for (int i = 0; i < 3; ++i)
        parts << (latitude ? exif.GPSLatitude(i) : exif.GPSLongitude(i)).AsString();
    return parts.join(u' ');
}

// A Photoshop document whose image resources hold one Exif resource (id 0x0422) of tiff.
QByteArray PhotoshopWithExifResource(const QByteArray& tiff)
{
    QByteArray psd("8BPS\0\1\0\0\0\0\0\0", 12);
    psd.append(QByteArray(14, '\0'));           // channels, size, depth, mode
    psd.append(QByteArray(4, '\0'));            // no colour mode data
    QByteArray resource("8BIM\x04\x22\0\0", 8); // id 0x0422, empty name
    QByteArray length(4, '\0');
    Patch32(length, 0, uint32_t(tiff.size()), true);
    resource.append(length).append(tiff);
    QByteArray sectionLength(4, '\0');
    Patch32(sectionLength, 0, uint32_t(resource.size()), true);
    return psd + sectionLength + resource;
}

struct ReaderCase {
    const char* name;
    std::function<QByteArray()> file;
    QString date;
    QString latitude;
    QString longitude;
    QString error; // empty when the load succeeds
    friend void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }
};

class ExifReaderTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(ExifReaderTest, ReadsTheThreeValues)
{
    const ReaderCase& c = GetParam();
    const LoadedExif loaded = LoadBytes(c.file());
    EXPECT_EQ(loaded.result.ok, c.error.isEmpty());
    EXPECT_EQ(loaded.result.error, c.error);
    EXPECT_EQ(DateText(loaded.data.DateTimeDigitized()), c.date);
    EXPECT_EQ(Triple(loaded.data, true), c.latitude);
    EXPECT_EQ(Triple(loaded.data, false), c.longitude);
}

QByteArray WithDate(const QByteArray& date) { return Photo(CameraBlock(false, date).tiff); }
QByteArray WithSubSeconds(const QByteArray& subSeconds) { return Photo(CameraBlock(false, kDate, subSeconds).tiff); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ExifReaderTest,
    testing::Values(
        ReaderCase{"cameraPhoto", [] { return Photo(CameraBlock(false).tiff); }, kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"bigEndianTwin", [] { return Photo(CameraBlock(true).tiff); }, kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"markIIWithBigEndianMagic",
                   [] { return PatchedPhoto(true, [](QByteArray& t, const auto&) { t[0] = 'I'; t[1] = 'I'; }); },
                   kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"markMMWithLittleEndianMagic",
                   [] { return PatchedPhoto(false, [](QByteArray& t, const auto&) { t[0] = 'M'; t[1] = 'M'; }); },
                   kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"noApp1", [] { return SyntheticJpeg({{0xE0, "JFIF\0"}}); }, "missing", kNone, kNone, {}},
        // Dates: the 19-character rule after one dropped low byte.
        ReaderCase{"monthZero", [] { return WithDate(QByteArray("0000:00:00 00:00:00\0", 20)); }, "missing", kLatitude, kLongitude, {}},
        ReaderCase{"nineteenCharactersNoTerminator", [] { return WithDate("2016:05:03 14:22:09"); }, kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"twoTerminators", [] { return WithDate(QByteArray("2016:05:03 14:22:09\0\0", 21)); }, "missing", kLatitude, kLongitude, {}},
        ReaderCase{"trailingSpaceDropped", [] { return WithDate("2016:05:03 14:22:09 "); }, kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"dashSeparators", [] { return WithDate(QByteArray("2016-05-03 14:22:09\0", 20)); }, "missing", kLatitude, kLongitude, {}},
        ReaderCase{"letterTBetweenDateAndTime", [] { return WithDate(QByteArray("2016:05:03T14:22:09\0", 20)); }, kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"dayThatDoesNotExist", [] { return WithDate(QByteArray("2016:02:30 10:00:00\0", 20)); }, "missing", kLatitude, kLongitude, {}},
        ReaderCase{"hour24", [] { return WithDate(QByteArray("2016:05:03 24:00:00\0", 20)); }, "missing", kLatitude, kLongitude, {}},
        ReaderCase{"notDigits", [] { return WithDate(QByteArray("2016:0x:03 14:22:09\0", 20)); }, "missing", kLatitude, kLongitude, {}},
        // Sub-seconds: up to three digits, padded with zeros on the right.
        ReaderCase{"subSecondsTwoDigits", [] { return WithSubSeconds(QByteArray("45\0", 3)); }, "2016:05:03 14:22:09.450", kLatitude, kLongitude, {}},
        ReaderCase{"subSecondsFourDigits", [] { return WithSubSeconds(QByteArray("1234\0", 5)); }, "2016:05:03 14:22:09.123", kLatitude, kLongitude, {}},
        ReaderCase{"subSecondsNotANumber", [] { return WithSubSeconds(QByteArray("ab\0", 3)); }, kDateRead, kLatitude, kLongitude, {}},
        // GPS element rules.
        ReaderCase{"latitudeWithTwoElements",
                   [] {
                       TiffWriter writer(false);
                       writer.AddRationals(TiffWriter::kGpsIfd, 2, {{30, 1}, {31, 1}});
                       return Photo(writer.Build().tiff);
                   },
                   "missing", "30 31 ", kNone, {}},
        ReaderCase{"latitudeAsShort",
                   [] {
                       TiffWriter writer(false);
                       writer.Add(TiffWriter::kGpsIfd, 2, kTiffShort, {30, 31, 34});
                       writer.AddRationals(TiffWriter::kGpsIfd, 4, {{104, 1}, {4, 1}, {2, 1}});
                       return Photo(writer.Build().tiff);
                   },
                   "missing", kNone, kLongitude, {}},
        ReaderCase{"signedRationalsReadUnsigned",
                   [] {
                       TiffWriter writer(true);
                       writer.Add(TiffWriter::kGpsIfd, 2, kTiffSRational, {0xFFFFFFFF, 2, 1, 1, 0, 0});
                       return Photo(writer.Build().tiff);
                   },
                   "missing", "4294967295/2 1 ", kNone, {}},
        // Pointers and offsets.
        ReaderCase{"exifPointerStoredAsShort",
                   [] { return PatchedPhoto(false, [](QByteArray& t, const auto& l) { Patch16(t, EntryAt(l, TiffWriter::kIfd0, 0) + 2, kTiffShort, false); }); },
                   "missing", kLatitude, kLongitude, {}},
        ReaderCase{"exifPointerOfTypeIfd",
                   [] { return PatchedPhoto(true, [](QByteArray& t, const auto& l) { Patch16(t, EntryAt(l, TiffWriter::kIfd0, 0) + 2, kTiffIfd, true); }); },
                   kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"dateOffsetPastTheBlock",
                   [] { return PatchedPhoto(false, [](QByteArray& t, const auto& l) { Patch32(t, EntryAt(l, TiffWriter::kExifIfd, 0) + 8, 0xFFF0, false); }); },
                   "missing", kLatitude, kLongitude, {}},
        ReaderCase{"gpsPointerPastTheBlock",
                   [] { return PatchedPhoto(false, [](QByteArray& t, const auto& l) { Patch32(t, EntryAt(l, TiffWriter::kIfd0, 1) + 8, 0x7FFFFFF0, false); }); },
                   kDateRead, kNone, kNone, {}},
        ReaderCase{"firstDirectoryOffsetZero",
                   [] { return PatchedPhoto(false, [](QByteArray& t, const auto&) { Patch32(t, 4, 0, false); }); },
                   "missing", kNone, kNone, {}},
        // Exif directory with a bad entry: trusted only with more than two entries.
        ReaderCase{"badEntryInSmallDirectoryDropsIt",
                   [] {
                       TiffWriter writer(false);
                       writer.AddAscii(TiffWriter::kExifIfd, 0x9004, kDate);
                       writer.Add(TiffWriter::kExifIfd, 0x9010, 0, {});
                       return Photo(writer.Build().tiff);
                   },
                   "missing", kNone, kNone, {}},
        ReaderCase{"badEntryInLargerDirectoryIsTolerated",
                   [] {
                       TiffWriter writer(false);
                       writer.AddAscii(TiffWriter::kExifIfd, 0x9004, kDate);
                       writer.Add(TiffWriter::kExifIfd, 0x9010, 0, {});
                       writer.Add(TiffWriter::kExifIfd, 0xA002, kTiffLong, {4000});
                       return Photo(writer.Build().tiff);
                   },
                   kDateRead, kNone, kNone, {}},
        // Segments.
        ReaderCase{"twoExifSegmentsFirstWins",
                   [] {
                       return SyntheticJpeg({{0xE1, Exif(CameraBlock(false).tiff)},
                                             {0xE1, Exif(CameraBlock(false, QByteArray("2020:01:01 00:00:00\0", 20)).tiff)}});
                   },
                   kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"xmpBeforeExif",
                   [] {
                       return SyntheticJpeg({{0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 42)},
                                             {0xE1, Exif(CameraBlock(false).tiff)}});
                   },
                   kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"exifWithoutPrefix", [] { return SyntheticJpeg({{0xE1, CameraBlock(true).tiff}}); }, kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"fillBytesAndRestartMarkers",
                   [] {
                       QByteArray jpeg = Photo(CameraBlock(false).tiff);
                       jpeg.insert(2, QByteArray("\xFF\xFF\xFF\xD0\xFF\x01", 6));
                       return jpeg;
                   },
                   kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"cutBeforeStartOfScan",
                   [] {
                       const QByteArray jpeg = Photo(CameraBlock(false).tiff);
                       return jpeg.left(jpeg.indexOf(QByteArray("\xFF\xDA", 2)));
                   },
                   kDateRead, kLatitude, kLongitude, "Stream read error"},
        ReaderCase{"cutInsideExifSegment", [] { return Photo(CameraBlock(false).tiff).left(40); }, "missing", kNone, kNone, "Stream read error"},
        ReaderCase{"tiffHeaderWithoutFirstOffset", [] { return SyntheticJpeg({{0xE1, QByteArray("Exif\0\0II*\0", 10)}}); },
                   "missing", kNone, kNone, "Invalid TIFF data"},
        ReaderCase{"pngNamedJpg", [] { return QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16); }, "missing", kNone, kNone, {}},
        ReaderCase{"emptyFile", [] { return QByteArray(); }, "missing", kNone, kNone, {}},
        ReaderCase{"bareTiff", [] { return CameraBlock(true).tiff; }, kDateRead, kLatitude, kLongitude, {}},
        ReaderCase{"photoshopExifResource", [] { return PhotoshopWithExifResource(CameraBlock(false).tiff); }, kDateRead,
                   kLatitude, kLongitude, {}},
        ReaderCase{"photoshopEmptyExifResource", [] { return PhotoshopWithExifResource({}); }, "missing", kNone, kNone, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExifReader, SouthAndWestKeepPositiveRationalsAndOfferTheirReferences)
{
    ExifFields fields;
    fields.latitude = GpsFromDegrees(-33.8568, true);
    fields.longitude = GpsFromDegrees(-70.6483, false);
    const LoadedExif loaded = LoadBytes(SyntheticJpeg({{0xE1, BuildExifApp1(fields)}}));
    EXPECT_EQ(loaded.data.GPSLatitude(0).AsString(), QStringLiteral("33"));
    EXPECT_EQ(loaded.data.GPSLatitudeRef(), 'S');
    EXPECT_EQ(loaded.data.GPSLongitudeRef(), 'W');
    const TExifData& e = loaded.data;
    EXPECT_NEAR(GpsDegrees(e.GPSLatitude(0), e.GPSLatitude(1), e.GPSLatitude(2), e.GPSLatitudeRef()), -33.8568, 1e-7);
    EXPECT_NEAR(GpsDegrees(e.GPSLongitude(0), e.GPSLongitude(1), e.GPSLongitude(2), e.GPSLongitudeRef()), -70.6483, 1e-7);
}

TEST(ExifReader, FilesAreReadFromDiskAndMissingOnesReportTheReason)
{
    TempFolder folder;
    QFile file(folder.file("P0001.JPG"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Photo(CameraBlock(false).tiff));
    file.close();

    TExifData exif;
    const ExifLoadResult loaded = exif.LoadFromGraphic(folder.file("P0001.JPG"));
    EXPECT_TRUE(loaded.ok && loaded.recognised);
    EXPECT_EQ(DateText(exif.DateTimeDigitized()), kDateRead);

    const ExifLoadResult missing = exif.LoadFromGraphic(folder.file("gone.jpg"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(folder.file("gone.jpg")));
    EXPECT_TRUE(exif.DateTimeDigitized().MissingOrInvalid()) << "a failed load leaves nothing behind";
}

TEST(ExifReader, TheWalkStopsAtThePictureData)
{
    // A picture body that is not valid JPEG data at all: the walk must stop before it.
    QByteArray jpeg = Photo(CameraBlock(false).tiff);
    jpeg.insert(jpeg.size() - 2, QByteArray(100000, '\xFF'));
    const LoadedExif loaded = LoadBytes(jpeg);
    EXPECT_TRUE(loaded.result.ok);
    EXPECT_EQ(DateText(loaded.data.DateTimeDigitized()), kDateRead);
}

} // namespace
