// The photo preview window on the offscreen platform, with photos made in code.

#include "app/ProgramWindows.h"

#include "catalogue/MainWindow.h"
#include "dialogs/Dialogs.h"
#include "metadata/ExifWriter.h"
#include "preview/ImagePreviewWindow.h"
#include "preview/ImageView.h"
#include "services/LocationCache.h"

#include "JpegFixtures.h"
#include "MessageBoxes.h"
#include "TestFiles.h"
#include "WindowParts.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ImagePreviewTest : public testing::Test {
protected:
    void SetUp() override
    {
        boxes.yes = [this](const QString&) { return answerYes; };
        windows = std::make_unique<ProgramWindows>(folder.path());
        windows->show();
        Preview().resize(800, 600);
        Preview().show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        windows.reset();
    }
    TForm1& Main() { return *windows->Form1(); }
    TForm3& Preview() { return *windows->Form3(); }
    ImageView& View() { return Child<ImageView>(Preview(), "Yulanimg"); }
    QLabel& DateLine() { return Child<QLabel>(Preview(), "IMGdate"); }
    QPushButton& NextButton() { return Child<QPushButton>(Preview(), "NextImg"); }
    QPushButton& SizeButton() { return Child<QPushButton>(Preview(), "Button1"); }
    QPushButton& DeleteButton() { return Child<QPushButton>(Preview(), "Button3"); }

    // A row for a file with the given bytes (a name ending in ".JPG" is a photo).
    void AddFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = folder.path() + "card/" + name;
        ASSERT_TRUE(WriteBytes(path, bytes));
        NewEntry entry;
        entry.path = path;
        entry.kind = name.endsWith(".JPG") ? MediaKind::Photo : MediaKind::Video;
        entry.shotTime = WallClock(QDate(2017, 5, 3), QTime(14, 22, Main().catalogue().rows().rowCount()));
        Main().catalogue().AddEntry(entry, folder.path() + "card");
        Main().catalogue().Flush();
    }
    QByteArray Photo(int width, int height, const std::optional<ExifFields>& fields = std::nullopt)
    {
        const QByteArray picture = EncodedJpeg(width, height, width);
        return fields ? InsertApp1Segment(picture, BuildExifApp1(*fields)) : picture;
    }
    QString Shown() const { return windows->Form3()->filename.section(u'/', -1); }

    TempFolder folder;
    bool answerYes = false;
    MessageBoxRecorder boxes;
    std::unique_ptr<ProgramWindows> windows;
};

TEST_F(ImagePreviewTest, LargePhotosShrinkSmallOnesKeepTheirSizeAndFullSizeShowsAllPixels)
{
    AddFile("BIG.JPG", Photo(2400, 1600));
    AddFile("SMALL.JPG", Photo(120, 80));
    Preview().InitFile(0);
    const QSize area = View().viewport()->size();
    const QRect fitted = View().pictureRect();
    EXPECT_TRUE(fitted.width() == area.width() || fitted.height() == area.height());
    EXPECT_LE(fitted.width(), area.width());
    EXPECT_NEAR(double(fitted.width()) / fitted.height(), 1.5, 0.02) << "the aspect ratio is kept";
    EXPECT_LT(View().image().width(), 2400) << "decoded at a reduced scale";

    SizeButton().click();
    EXPECT_EQ(SizeButton().text(), QStringLiteral("最佳显示(S)"));
    EXPECT_EQ(View().pictureRect().size(), QSize(2400, 1600));
    QTest::keyClick(&Preview(), Qt::Key_S);
    EXPECT_EQ(SizeButton().text(), QStringLiteral("原图显示(S)"));

    Preview().InitFile(1);
    EXPECT_EQ(View().pictureRect().size(), QSize(120, 80)) << "never enlarged";
    EXPECT_EQ(Preview().windowTitle(), Preview().filename);
}

TEST_F(ImagePreviewTest, APhotoOpenedInASmallWindowGrowsWithTheWindow)
{
    AddFile("BIG.JPG", Photo(2400, 1600));
    Preview().resize(200, 150);
    QApplication::processEvents();
    Preview().InitFile(0);
    Preview().resize(900, 700);
    QApplication::processEvents();
    const QSize area = View().viewport()->size();
    const QRect shown = View().pictureRect();
    EXPECT_TRUE(shown.width() == area.width() || shown.height() == area.height()) << "fills the larger view";
    EXPECT_GE(View().image().width(), shown.width()) << "decoded again with enough pixels";
    EXPECT_EQ(DateLine().width(), area.width()) << "the red line spans the view";
}

TEST_F(ImagePreviewTest, StepsThroughThePhotosOnlyAndWrapsAround)
{
    AddFile("P0.JPG", Photo(64, 48));
    AddFile("V1.MOV", "video");
    AddFile("P2.JPG", Photo(64, 48));
    Preview().InitFile(0);
    NextButton().click();
    EXPECT_EQ(Shown(), QStringLiteral("P2.JPG"));
    QTest::keyClick(&Preview(), Qt::Key_D);
    EXPECT_EQ(Shown(), QStringLiteral("P0.JPG")) << "from the last photo to the first";
    QTest::keyClick(&Preview(), Qt::Key_A);
    EXPECT_EQ(Shown(), QStringLiteral("P2.JPG"));
    EXPECT_EQ(Main().ItemIndex(), 2) << "the list follows";
}

TEST_F(ImagePreviewTest, TheRedLineShowsTheShotTimeAndTheCachedPlace)
{
    ExifFields fields;
    fields.digitized = QDateTime(QDate(2017, 5, 3), QTime(14, 22, 10));
    // Minutes stored as a fraction, as some cameras do: 22° 35.25' N, 113° 56.76' E.
    fields.latitude = GpsCoordinate{{TTiffLongWordFraction{22, 1}, {3525, 100}, {0, 1}}, 'N'};
    fields.longitude = GpsCoordinate{{TTiffLongWordFraction{113, 1}, {5676, 100}, {0, 1}}, 'E'};
    AddFile("PLACED.JPG", Photo(64, 48, fields));
    ExifFields unplaced = fields;
    unplaced.latitude = GpsCoordinate{{TTiffLongWordFraction{40, 1}, {1, 1}, {0, 1}}, 'N'};
    AddFile("ELSEWHERE.JPG", Photo(64, 48, unplaced));
    // The location pass stores places under the cell key of the position text.
    ASSERT_TRUE(InsertValue(GpsCellKey(113.9460, 22.5875), "深圳市 南山区 粤海街道", "GPS"));

    Preview().InitFile(0);
    EXPECT_EQ(DateLine().text(), QStringLiteral("2017/05/03 14:22:10 深圳市 南山区 粤海街道")) << "one date format";
    Preview().InitFile(1);
    EXPECT_EQ(DateLine().text(), QStringLiteral("2017/05/03 14:22:10"));
    // A place the list shows (typed by the user) is the one the line shows.
    Main().catalogue().SetPlace(1, "我的农场", PlaceState::Typed);
    Preview().InitFile(1);
    EXPECT_EQ(DateLine().text(), QStringLiteral("2017/05/03 14:22:10 我的农场"));
}

TEST_F(ImagePreviewTest, DeletingAsksFirstAndOpensTheNextPhotoAndTakesTheRawTwinAlong)
{
    AddFile("P0.JPG", Photo(64, 48));
    AddFile("V1.MOV", "video");
    AddFile("P2.JPG", Photo(64, 48));
    // The RAW twin, which the list never shows: left behind it would never be exported again.
    ASSERT_TRUE(WriteBytes(folder.path() + "card/P0.dng", "raw"));
    Preview().InitFile(0);

    answerYes = false;
    QTest::keyClick(&Preview(), Qt::Key_W);
    EXPECT_EQ(boxes.texts, QStringList({"确定删除 P0.JPG?"})) << "the question names the photo";
    EXPECT_TRUE(QFile::exists(folder.path() + "card/P0.JPG"));
    EXPECT_EQ(Main().catalogue().rows().rowCount(), 3);

    answerYes = true;
    DeleteButton().click();
    EXPECT_FALSE(QFile::exists(folder.path() + "card/P0.JPG"));
    EXPECT_FALSE(QFile::exists(folder.path() + "card/P0.dng"));
    EXPECT_TRUE(QFile::exists(folder.path() + "card/V1.MOV"));
    EXPECT_EQ(Main().catalogue().rows().rowCount(), 2);
    EXPECT_EQ(Shown(), QStringLiteral("P2.JPG")) << "the video row that moved up is passed over";

    DeleteButton().click(); // the last photo
    EXPECT_EQ(Main().catalogue().rows().rowCount(), 1);
    EXPECT_TRUE(Preview().filename.isEmpty());
    EXPECT_TRUE(View().image().isNull());
    EXPECT_TRUE(Preview().isVisible());
}

TEST_F(ImagePreviewTest, EscapeClosesTheWindow)
{
    AddFile("P0.JPG", Photo(64, 48));
    Preview().InitFile(0);
    ASSERT_TRUE(Preview().isVisible());
    QTest::keyClick(&Preview(), Qt::Key_Escape);
    EXPECT_FALSE(Preview().isVisible());
}

TEST_F(ImagePreviewTest, ADamagedPhotoShowsAMessageAndTheWindowGoesOn)
{
    const QByteArray photo = Photo(640, 480);
    AddFile("BROKEN.JPG", photo.left(400));
    AddFile("NOTAPHOTO.JPG", "this is text");
    AddFile("GOOD.JPG", photo);
    Preview().InitFile(1);
    EXPECT_TRUE(View().image().isNull());
    Preview().InitFile(0); // a cut-off JPEG still shows what it has, or a message
    NextButton().click();
    NextButton().click();
    EXPECT_EQ(Shown(), QStringLiteral("GOOD.JPG"));
    EXPECT_FALSE(View().image().isNull());
}

} // namespace
