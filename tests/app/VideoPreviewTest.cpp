// The video preview window on the offscreen platform, playing generated clips with a flight log.
#include "BracketedFlightLogs.h"
#include "EventWait.h"
#include "MediaClips.h"
#include "MessageBoxes.h"
#include "TestFiles.h"
#include "WindowParts.h"
#include "dialogs/Dialogs.h"
#include "metadata/ExifData.h"
#include "playback/VideoScreen.h"
#include "preview/FrameTelemetry.h"
#include "preview/SeekBar.h"
#include "preview/VideoPreviewWindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>
#include <QApplication>
#include <QThread>
#include <gtest/gtest.h>

namespace {

// A flight log for the two-second clip: one entry per second.
const char* kFlightLog =
    "1\r\n00:00:00,000 --> 00:00:01,000\r\nHOME(113.9484,22.5797) 2016.05.09 13:14:41\r\n"
    "GPS(113.9500,22.5800,16) BAROMETER:16.8\r\nISO:100 Shutter:60 EV:0 Fnum:F2.2\r\n\r\n"
    "2\r\n00:00:01,000 --> 00:00:02,000\r\nHOME(113.9484,22.5797) 2016.05.09 13:14:42\r\n"
    "GPS(113.9501,22.5801,16) BAROMETER:16.9\r\nISO:100 Shutter:60 EV:0 Fnum:F2.2\r\n\r\n"
    "3\r\n00:00:02,000 --> 00:00:03,000\r\nHOME(113.9484,22.5797) 2016.05.09 13:14:43\r\n"
    "GPS(113.9502,22.5802,16) BAROMETER:17.0\r\nISO:100 Shutter:60 EV:0 Fnum:F2.2\r\n\r\n";

// Whether the picture has near-white pixels in its top band (where the telemetry goes).
bool TelemetryShown(const QImage& frame)
{
    for (int y = 10; y < std::min(frame.height(), 60); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (qGray(frame.pixel(x, y)) > 200)
                return true;
    return false;
}

class VideoPreviewTest : public testing::Test {
protected:
    void SetUp() override
    {
        const QString clip = MediaClip(ClipKind::H264Aac);
        ASSERT_FALSE(clip.isEmpty());
        rows = {folder.file("DJI_0001.MP4"), folder.file("DJI_0002.JPG"), folder.file("DJI_0003.MOV")};
        ASSERT_TRUE(QFile::copy(clip, rows[0]));
        ASSERT_TRUE(QFile::copy(clip, rows[2]));
        WriteTextFile(rows[1], "not really a photo");
        WriteTextFile(folder.file("DJI_0001.SRT"), QString::fromLatin1(kFlightLog));
        captures.dir.isValid();

        window = std::make_unique<TForm4>();
        window->resize(640, 480);
        window->catalogue.sourcePathOf = [this](int row) { return row >= 0 && row < rows.size() ? rows[row] : QString(); };
        window->catalogue.nextRow = [this](const QString& extensions, int row, int direction) {
            // The list's rule: the next (or previous) row with one of the extensions, wrapping.
            const QStringList wanted = extensions.split('|');
            for (int step = 1; step <= rows.size(); ++step) {
                const int n = ((row + (direction ? step : -step)) % int(rows.size()) + int(rows.size())) % int(rows.size());
                if (wanted.contains("." + rows[n].section('.', -1).toLower()))
                    return n;
            }
            return -1;
        };
        window->catalogue.removeRow = [this](int row) { rows.removeAt(row); };
        window->catalogue.showSelectItem = [this](int row, bool select) {
            selected = row;
            selectedToo = select;
        };
        window->catalogue.clearSelection = [] {};
        window->captureFolder = [this] { return captureFolderSetting; };
        window->setCaptureFolder = [this](const QString& f) { captureFolderSetting = f; };
        window->placeLookup = [](const QString&, const QString&, const QString&) {
            return QStringLiteral("深圳市 福田区 福田路");
        };
        window->show();
        captureFolderSetting = captures.dir.path();
    }
    void TearDown() override
    {
        window.reset();
        SetFolderChooser({});
    }

    // Pauses (so the second does not change under the capture), captures, and gives the files
    // then in the capture folder.
    QStringList CaptureWhilePaused()
    {
        window->Button5Click();
        EXPECT_TRUE(WaitFor([&] { return window->FFPlayer.Paused(); }));
        window->Button7Click();
        EXPECT_TRUE(window->Capturing());
        EXPECT_TRUE(WaitFor([&] { return !window->Capturing(); }));
        return QDir(captures.dir.path()).entryList(QDir::Files);
    }

    // The window's parts, by name.
    VideoScreen& Screen() { return Child<VideoScreen>(*window, "Panel1"); }
    SeekBar& Seek() { return Child<SeekBar>(*window, "TrackBar1"); }
    QLabel& TimeLine() { return Child<QLabel>(*window, "timebar"); }
    QLabel& TimeUnderMouse() { return Child<QLabel>(*window, "movetimebar"); }
    QLabel& Notice() { return Child<QLabel>(*window, "VideoShow"); }
    QCheckBox& TelemetryBox() { return Child<QCheckBox>(*window, "Zimuck"); }
    QPushButton& PlayButton() { return Child<QPushButton>(*window, "Button5"); }
    QPushButton& CaptureButton() { return Child<QPushButton>(*window, "Button7"); }
    QPushButton& NextButton() { return Child<QPushButton>(*window, "zhankai"); }
    QPushButton& PreviousButton() { return Child<QPushButton>(*window, "SPback"); }

    bool Playing() { return WaitFor([&] { return window->FFPlayer.PlayState() == TPlayState::psPlay && !window->FFPlayer.CurrentFrame().isNull(); }); }
    // No open under way or waiting, and the clip shown playing.
    bool Settled() { return WaitFor([&] { return window->OpenSettled(); }, 8000) && Playing(); }

    TempFolder folder;
    TempFolder captures;
    QStringList rows;
    int selected = -1;
    bool selectedToo = false; // the list was asked to select the row, not only to show it
    QString captureFolderSetting;
    std::unique_ptr<TForm4> window;
};

TEST_F(VideoPreviewTest, PlaysTheRowWithItsFlightLogOverThePicture)
{
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    EXPECT_EQ(window->windowTitle(), rows[0]);
    EXPECT_TRUE(WaitFor([&] { return window->SrtEntries.Count() == 4; }));
    EXPECT_EQ(window->SrtEntries.Lookup(1)->Location, "福田路");
    EXPECT_TRUE(window->ServingFromMemory());
    EXPECT_TRUE(TimeLine().text().endsWith("/00:00:02")) << TimeLine().text().toStdString();
    EXPECT_EQ(window->FFPlayer.VideoFilters, "") << "neutral picture settings need no filter";

    // The line is on the picture on screen (drawn at its size) and on the full-size frame.
    EXPECT_TRUE(WaitFor([&] { return TelemetryShown(window->FFPlayer.CurrentFrame()); }, 3000));
    EXPECT_TRUE(WaitFor([&] { return TelemetryShown(Screen().Picture()); }, 3000));
    TelemetryBox().click(); // "字幕" off: the next pictures come without the line
    EXPECT_FALSE(TelemetryBox().isChecked());
    QThread::msleep(200);
    EXPECT_TRUE(WaitFor([&] { return !TelemetryShown(window->FFPlayer.CurrentFrame()); }, 3000));
    EXPECT_TRUE(WaitFor([&] { return !TelemetryShown(Screen().Picture()); }, 3000));
}

TEST_F(VideoPreviewTest, ACaptureSavesTheFrameNamedAfterItsRecordingTime)
{
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    ASSERT_TRUE(WaitFor([&] { return window->SrtEntries.Count() == 4; }));
    const QStringList saved = CaptureWhilePaused();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(QRegularExpression("^I-2016050913144[123]\\.JPG$").match(saved[0]).hasMatch()) << saved[0].toStdString();
    TExifData exif;
    ASSERT_TRUE(exif.LoadFromGraphic(QDir(captures.dir.path()).filePath(saved[0])).ok);
    EXPECT_TRUE(exif.DateTimeDigitized().AsString().startsWith("2016/5/9 13:14:4"));
    EXPECT_EQ(exif.GPSLatitude(0).Numerator, 22u);
    EXPECT_EQ(exif.GPSLongitude(0).Numerator, 113u);
    EXPECT_TRUE(Notice().isVisible());
    EXPECT_TRUE(Notice().text().endsWith("保存成功!"));
    EXPECT_TRUE(WaitFor([&] { return !Notice().isVisible(); }, 4000)); // gone after 2.5 s
}

TEST_F(VideoPreviewTest, AFlightLogOfANewerDroneIsDrawnAndCapturedLikeTheOldOne)
{
    // One entry per frame with bracketed fields; the clip's two seconds are keys 0 and 1.
    WriteTextFile(folder.file("DJI_0003.SRT"), BracketedFlightLog());
    window->InitFile(2);
    ASSERT_TRUE(Playing());
    ASSERT_TRUE(WaitFor([&] { return window->SrtEntries.Count() == 2; }));
    const std::optional<videosrt> second = window->SrtEntries.Lookup(1);
    ASSERT_TRUE(second);
    EXPECT_EQ(TelemetryText(*second), "TIME:2021.06.12 10:15:43 D:45.46M LOCATION:福田路");
    EXPECT_TRUE(WaitFor([&] { return TelemetryShown(window->FFPlayer.CurrentFrame()); }, 3000));

    const QStringList saved = CaptureWhilePaused();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(QRegularExpression("^I-2021061210154[23]\\.JPG$").match(saved[0]).hasMatch()) << saved[0].toStdString();
    TExifData exif;
    ASSERT_TRUE(exif.LoadFromGraphic(QDir(captures.dir.path()).filePath(saved[0])).ok);
    EXPECT_EQ(exif.GPSLatitude(0).Numerator, 30u);
    EXPECT_EQ(exif.GPSLongitude(0).Numerator, 105u);
}

TEST_F(VideoPreviewTest, ACaptureThatCannotBeMadeSaysWhy)
{
    window->InitFile(2); // no ".SRT" beside this one
    ASSERT_TRUE(Playing());
    window->Button7Click();
    ASSERT_TRUE(WaitFor([&] { return !window->Capturing(); }));
    EXPECT_TRUE(QDir(captures.dir.path()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(Notice().isVisible());
    EXPECT_EQ(Notice().text(), QStringLiteral("截图失败：这一秒没有飞行记录，无法确定拍摄时间和位置"));
    EXPECT_TRUE(CaptureButton().isEnabled());

    window->Button6Click(); // stopped: no picture to save
    window->Button7Click();
    ASSERT_TRUE(WaitFor([&] { return !window->Capturing(); }));
    EXPECT_TRUE(Notice().text().startsWith(QStringLiteral("截图失败："))) << Notice().text().toStdString();
    EXPECT_TRUE(QDir(captures.dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(VideoPreviewTest, AnEmptyCaptureFolderIsAskedForInsteadOfTheRoot)
{
    captureFolderSetting.clear();
    QString asked;
    SetFolderChooser([&](const QString& prompt, const QString&) {
        asked = prompt;
        return QString(); // cancelled
    });
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    window->Button7Click();
    EXPECT_FALSE(asked.isEmpty());
    EXPECT_FALSE(window->Capturing()); // nothing started
    EXPECT_TRUE(captureFolderSetting.isEmpty());

    SetFolderChooser([&](const QString&, const QString&) { return captures.dir.path(); });
    window->Button7Click();
    EXPECT_EQ(captureFolderSetting, captures.dir.path()); // kept for the next capture
    ASSERT_TRUE(WaitFor([&] { return !window->Capturing(); }));
}

TEST_F(VideoPreviewTest, SmallFilesAreServedFromMemoryLargeOnesFromDisk)
{
    struct Case {
        qint64 size;
        bool opens;
        bool fromMemory;
    } cases[] = {{10485759, true, true}, {10485760, true, false}, {0, false, false}};
    MessageBoxRecorder boxes;
    for (const Case& c : cases) {
        const QString path = folder.file(QStringLiteral("size-%1.MP4").arg(c.size));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(c.size));
        file.close();
        window->SetServedPath(path);
        EXPECT_EQ(window->MAAOpen(), c.opens) << c.size;
        EXPECT_EQ(window->ServingFromMemory(), c.fromMemory) << c.size;
        if (c.opens) {
            char buffer[16];
            EXPECT_EQ(window->MAASeek(c.size - 4, TSeekOrigin::soBeginning), c.size - 4);
            EXPECT_EQ(window->MAARead(buffer, 16), 4);
        }
        window->MAAClose();
    }
    EXPECT_EQ(boxes.texts, QStringList({"file error" + folder.file("size-0.MP4")}));
    EXPECT_EQ(window->MAARead(nullptr, 4), -1); // nothing held
}

TEST_F(VideoPreviewTest, AnEmptyVideoIsReportedOnTheWindowsThreadWhileTheReaderServesTheInput)
{
    bool onWindowThread = true;
    MessageBoxRecorder boxes;
    boxes.yes = [&](const QString&) {
        onWindowThread = QThread::currentThread() == window->thread();
        return false;
    };
    rows[0] = folder.file("EMPTY.MP4");
    WriteTextFile(rows[0], "");
    window->InitFile(0);
    EXPECT_TRUE(WaitFor([&] { return !boxes.texts.isEmpty(); }));
    EXPECT_EQ(boxes.texts, QStringList({"file error" + rows[0]}));
    EXPECT_TRUE(onWindowThread);
}

TEST_F(VideoPreviewTest, NextAndPreviousSkipPhotosAndWrap)
{
    window->InitFile(0);
    ASSERT_TRUE(Settled());
    window->zhankaiClick();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window->itemindex, 2);
    EXPECT_EQ(selected, 2);
    EXPECT_TRUE(selectedToo) << "the list selects the row now shown";
    window->zhankaiClick();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window->itemindex, 0);
    window->SPbackClick();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window->itemindex, 2);
    EXPECT_EQ(window->videofilename, rows[2]);
}

TEST_F(VideoPreviewTest, TheSeekBarSeeksToTheClickAndShowsTheTimeUnderTheMouse)
{
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    window->Button5Click();
    ASSERT_TRUE(WaitFor([&] { return window->FFPlayer.Paused(); }));
    const int middle = Seek().width() / 2;
    window->TrackBar1MouseMove(middle);
    EXPECT_EQ(TimeUnderMouse().text(), "00:00:01");
    window->TrackBar1MouseDown(middle);
    window->TrackBar1Click();
    int64_t shownAt = -1;
    EXPECT_TRUE(WaitFor([&] {
        window->FFPlayer.CurrentFrame(shownAt);
        return std::llabs(shownAt - 1000000) <= 40000;
    }, 5000)) << shownAt;
}

TEST_F(VideoPreviewTest, SpacePausesWhateverHasTheFocus)
{
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    window->activateWindow();
    Seek().setFocus();
    QTest::keyClick(&Seek(), Qt::Key_Space);
    EXPECT_TRUE(WaitFor([&] { return window->FFPlayer.Paused(); }, 2000));
    QTest::keyClick(&Screen(), Qt::Key_Space);
    EXPECT_TRUE(WaitFor([&] { return !window->FFPlayer.Paused(); }, 2000));
}

TEST_F(VideoPreviewTest, DeletingAsksByNameAndTakesTheFlightLogWithTheVideo)
{
    MessageBoxRecorder boxes;
    boxes.yes = [](const QString& text) { return text == "确定删除 DJI_0001.MP4?"; };
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    const QString deleted = rows[0];
    window->Button1Click();
    EXPECT_FALSE(QFile::exists(deleted));
    EXPECT_FALSE(QFile::exists(folder.file("DJI_0001.SRT"))) << "a log left behind is never listed or exported again";
    ASSERT_EQ(rows.size(), 2);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window->videofilename, rows[1]); // the next video, not the photo now at that row
    EXPECT_EQ(selected, 1) << "the list selects the video now shown";
}

TEST_F(VideoPreviewTest, HidingTheWindowStopsPlaybackAndLeavesFullScreenButAMinimiseDoesNot)
{
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    // A hide by the window system (minimise, another virtual desktop) changes nothing.
    QHideEvent minimised;
    QSpontaneKeyEvent::setSpontaneous(&minimised);
    // Delivered as the window system delivers it (sendEvent would clear the spontaneous mark).
    static_cast<QObject*>(window.get())->event(&minimised);
    EXPECT_EQ(window->FFPlayer.PlayState(), TPlayState::psPlay);

    window->Panel1DblClick(); // full screen
    ASSERT_TRUE(window->IsFullScreen());
    window->hide();
    EXPECT_EQ(window->FFPlayer.PlayState(), TPlayState::psStop);
    EXPECT_FALSE(window->IsFullScreen()) << "the next video opens in a normal window";
    EXPECT_FALSE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(VideoPreviewTest, RapidClicksOnNextAndADeleteActOnTheVideoShown)
{
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    for (int i = 0; i < 3; ++i) // a hurried user: double-clicks on 下个, three times over
        QTest::mouseDClick(&NextButton(), Qt::LeftButton);
    QTest::mouseClick(&PreviousButton(), Qt::LeftButton);
    ASSERT_TRUE(Settled());
    const QString shown = window->videofilename;
    EXPECT_EQ(shown, rows[window->itemindex]);
    MessageBoxRecorder boxes;
    boxes.yes = [&](const QString&) {
        QTest::mouseClick(&NextButton(), Qt::LeftButton); // clicked while the question is up
        return true;
    };
    window->Button1Click();
    EXPECT_FALSE(QFile::exists(shown)) << "the confirmed video is the one removed";
    EXPECT_EQ(rows.size(), 2);
    const QString other = shown == folder.file("DJI_0001.MP4") ? folder.file("DJI_0003.MOV") : folder.file("DJI_0001.MP4");
    EXPECT_TRUE(QFile::exists(other));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window->videofilename, other);
}

TEST_F(VideoPreviewTest, AfterAStopPlayStartsAgainAndTheSeekBarPlaysFromItsClick)
{
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    EXPECT_EQ(PlayButton().text(), QStringLiteral("暂停"));
    window->Button6Click(); // 停止
    ASSERT_TRUE(WaitFor([&] { return PlayButton().text() == QStringLiteral("播放"); }));
    EXPECT_EQ(window->FFPlayer.PlayState(), TPlayState::psStop);

    window->Button5Click(); // 播放: from the start
    ASSERT_TRUE(Playing());
    EXPECT_LT(window->FFPlayer.CurrentPTS(), 1000000);
    EXPECT_TRUE(WaitFor([&] { return PlayButton().text() == QStringLiteral("暂停"); }));
    window->Button5Click(); // pause: the button offers to play
    EXPECT_TRUE(WaitFor([&] { return PlayButton().text() == QStringLiteral("播放"); }));

    window->Button6Click();
    ASSERT_TRUE(WaitFor([&] { return window->FFPlayer.PlayState() == TPlayState::psStop; }));
    const int middle = Seek().width() / 2;
    window->TrackBar1MouseDown(middle);
    window->TrackBar1Click(); // plays from the second clicked
    int64_t shownAt = -1;
    EXPECT_TRUE(WaitFor([&] {
        window->FFPlayer.CurrentFrame(shownAt);
        return window->FFPlayer.PlayState() != TPlayState::psStop && shownAt >= 900000;
    }, 5000)) << shownAt;
}

TEST_F(VideoPreviewTest, ACardPulledAndPutBackDuringPlaybackCanBeSeekedAgain)
{
    // A clip longer than the reader reads ahead, so reading goes on while it plays.
    rows[0] = folder.file("LONG.MP4");
    ASSERT_TRUE(QFile::copy(MediaClip(ClipKind::Long), rows[0]));
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    window->MAAClose(); // the card is pulled: the next read fails
    WaitFor([] { return false; }, 1500);
    ASSERT_TRUE(window->MAAOpen()); // and put back
    window->TrackBar1MouseDown(Seek().width() / 2);
    window->TrackBar1Click();
    int64_t shownAt = -1;
    EXPECT_TRUE(WaitFor([&] {
        window->FFPlayer.CurrentFrame(shownAt);
        return std::llabs(shownAt - 6000000) <= 80000;
    }, 5000)) << "the reader still serves seeks; shown at " << shownAt;
    window->Button5Click();
    EXPECT_TRUE(WaitFor([&] { return window->FFPlayer.Paused(); }, 2000)) << "pause still works";
}

TEST_F(VideoPreviewTest, EscapeLeavesFullScreenThenClosesTheWindow)
{
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    window->Panel1DblClick();
    ASSERT_TRUE(window->IsFullScreen());
    QTest::keyClick(&Screen(), Qt::Key_Escape);
    EXPECT_FALSE(window->IsFullScreen());
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(&Screen(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->FFPlayer.PlayState(), TPlayState::psStop) << "closed, it plays no more";
}

TEST_F(VideoPreviewTest, DeletingTheLastVideoLeavesNothingForASecondDelete)
{
    MessageBoxRecorder boxes;
    boxes.yes = [](const QString&) { return true; };
    rows = {rows[0], rows[1]}; // one video and a photo
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    window->Button1Click();
    EXPECT_FALSE(QFile::exists(folder.file("DJI_0001.MP4")));
    EXPECT_EQ(rows, QStringList({folder.file("DJI_0002.JPG")}));
    EXPECT_EQ(window->itemindex, -1);
    EXPECT_TRUE(window->videofilename.isEmpty());
    boxes.texts.clear();
    window->Button1Click(); // nothing shown: nothing asked, nothing removed
    EXPECT_TRUE(boxes.texts.isEmpty());
    EXPECT_EQ(rows.size(), 1);
    EXPECT_TRUE(QFile::exists(folder.file("DJI_0002.JPG")));
}

TEST_F(VideoPreviewTest, AClipThatCannotBeOpenedSaysWhyInThePanel)
{
    window->InitFile(0);
    ASSERT_TRUE(Playing());
    WriteTextFile(rows[2], "this is no video at all, only text long enough to be read");
    window->zhankaiClick();
    ASSERT_TRUE(WaitFor([&] { return window->OpenSettled(); }, 5000));
    EXPECT_EQ(Screen().Placeholder(), QStringLiteral("无法播放 DJI_0003.MOV\n不是视频文件，或文件已损坏"));
    EXPECT_TRUE(Screen().toolTip().contains("Invalid data")) << "the engine's own words stay in the tooltip";
    EXPECT_EQ(TimeLine().text(), QStringLiteral("00:00:00/00:00:00")) << "no time of the previous video";
    EXPECT_EQ(window->windowTitle(), rows[2]) << "the window names the clip it could not play";
    EXPECT_EQ(window->videofilename, rows[2]);
}

} // namespace

namespace {

// Quick sequences a hurried user makes, on clips that differ in picture size, length and log,
// so that what the engine opened tells which clip is on screen.
class VideoWindowSequencesTest : public VideoPreviewTest {
protected:
    void SetUp() override
    {
        VideoPreviewTest::SetUp();
        const struct {
            const char* name;
            ClipKind kind;
            QSize size;
        } clips[] = {{"DJI_0004.MP4", ClipKind::Wide, {1920, 1080}},
                     {"DJI_0005.MOV", ClipKind::Mov, {320, 240}},
                     {"DJI_0006.MP4", ClipKind::Long, {160, 90}}};
        sizes = {{320, 180}, {}, {320, 180}};
        for (const auto& clip : clips) {
            rows << folder.file(clip.name);
            ASSERT_TRUE(QFile::copy(MediaClip(clip.kind), rows.back()));
            sizes << clip.size;
        }
        // Row 0 has the only flight log; row 2 is the second copy of the short clip.
    }

    void Wait(int ms) { WaitFor([] { return false; }, ms); }

    // The title, the name acted on, the list's row, the flight log and the picture size the
    // engine reports all belong to one clip, the expected one.
    void ExpectOneClip(const std::string& sequence, int expectedRow, bool listFollows)
    {
        ASSERT_TRUE(Settled()) << sequence;
        const int row = window->itemindex;
        EXPECT_EQ(row, expectedRow) << sequence;
        ASSERT_TRUE(row >= 0 && row < rows.size()) << sequence;
        EXPECT_EQ(window->windowTitle(), rows[row]) << sequence;
        EXPECT_EQ(window->videofilename, rows[row]) << sequence << ": the delete and capture target";
        EXPECT_TRUE(WaitFor([&] { return window->FFPlayer.FrameWidth() > 0; })) << sequence;
        EXPECT_EQ(QSize(window->FFPlayer.FrameWidth(), window->FFPlayer.FrameHeight()), sizes[row])
            << sequence << ": the engine opened another clip than the window names";
        if (listFollows)
            EXPECT_EQ(selected, row) << sequence;
        if (row == 0) {
            EXPECT_TRUE(WaitFor([&] { return window->SrtEntries.Count() == 4; })) << sequence;
        } else {
            Wait(300); // a log read for another clip would have arrived by now
            EXPECT_EQ(window->SrtEntries.Count(), 0) << sequence << ": another clip's log over this one";
        }
    }

    QList<QSize> sizes;
};

TEST_F(VideoWindowSequencesTest, WhatTheWindowNamesIsWhatThePlayerOpened)
{
    struct Sequence {
        const char* name;
        int start;
        std::function<void()> act;
        int expectedRow;
        bool listFollows;
    } sequences[] = {
        {"下个 twice 40 ms apart", 0,
         [this] {
             QTest::mouseClick(&NextButton(), Qt::LeftButton);
             Wait(40);
             QTest::mouseClick(&NextButton(), Qt::LeftButton);
         },
         3, true},
        {"上个 right after 下个", 3,
         [this] {
             QTest::mouseClick(&NextButton(), Qt::LeftButton);
             QTest::mouseClick(&PreviousButton(), Qt::LeftButton);
         },
         3, true},
        {"double-clicks on two rows", 0,
         [this] {
             window->InitFile(3);
             Wait(40);
             window->InitFile(5);
         },
         5, false},
        {"three rows, the last wins", 5,
         [this] {
             window->InitFile(0);
             window->InitFile(3);
             window->InitFile(4);
         },
         4, false},
        {"下个 while the delete question is up, answered no", 2,
         [this] {
             MessageBoxRecorder boxes;
             boxes.yes = [&](const QString&) {
                 QTest::mouseClick(&NextButton(), Qt::LeftButton);
                 return false;
             };
             window->Button1Click();
             EXPECT_EQ(boxes.texts, QStringList({"确定删除 DJI_0003.MOV?"}));
         },
         2, false},
        {"下个 while a clip fails to open", 2,
         [this] {
             WriteTextFile(rows[3], "this is no video at all, only text long enough to be read");
             QTest::mouseClick(&NextButton(), Qt::LeftButton);
             QTest::mouseClick(&NextButton(), Qt::LeftButton);
         },
         4, true},
    };
    for (const Sequence& s : sequences) {
        window->InitFile(s.start);
        ASSERT_TRUE(Settled()) << s.name;
        selected = -1;
        s.act();
        ExpectOneClip(s.name, s.expectedRow, s.listFollows);
    }
}

TEST_F(VideoWindowSequencesTest, AClipThatFailsToOpenIsTheOneNamedAndDeleted)
{
    WriteTextFile(rows[3], "this is no video at all, only text long enough to be read");
    window->InitFile(3);
    ASSERT_TRUE(WaitFor([&] { return window->OpenSettled(); }));
    EXPECT_EQ(window->windowTitle(), rows[3]);
    MessageBoxRecorder boxes;
    boxes.yes = [](const QString&) { return true; };
    window->Button1Click();
    EXPECT_EQ(boxes.texts, QStringList({"确定删除 DJI_0004.MP4?"}));
    EXPECT_FALSE(QFile::exists(folder.file("DJI_0004.MP4")));
    EXPECT_TRUE(QFile::exists(folder.file("DJI_0005.MOV")));
    sizes.removeAt(3);
    ExpectOneClip("after the delete", 3, true);
}

TEST_F(VideoWindowSequencesTest, AtTheEndOfAClipPlayPlaysItAgainFromTheStart)
{
    window->InitFile(3); // one second long
    ASSERT_TRUE(Settled());
    ASSERT_TRUE(WaitFor([&] { return window->FFPlayer.PlayState() == TPlayState::psEnd; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return PlayButton().text() == QStringLiteral("播放"); }));
    window->Button5Click();
    EXPECT_EQ(PlayButton().text(), QStringLiteral("暂停"));
    EXPECT_TRUE(WaitFor([&] { return window->FFPlayer.CurrentPTS() < 500000; }, 3000)) << window->FFPlayer.CurrentPTS();
    EXPECT_TRUE(WaitFor([&] { return window->FFPlayer.CurrentPTS() >= 800000; }, 5000)) << "it plays through again";
    EXPECT_TRUE(WaitFor([&] { return PlayButton().text() == QStringLiteral("播放"); }, 5000)) << "and ends again";
}

} // namespace
