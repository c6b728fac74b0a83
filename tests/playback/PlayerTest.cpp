// The playback engine playing generated clips into a VideoScreen on the offscreen platform.
#include "MediaClips.h"
#include "PlayerTestSupport.h"
#include "core/UiHandover.h"
#include "playback/MemoryInput.h"
#include "playback/Player.h"
#include "playback/VideoScreen.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QSet>
#include <QThread>
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

class PlayerTest : public testing::Test {
protected:
    void SetUp() override
    {
        // No "LibAV" folder beside the tests: the libraries come from the system's path.
        ASSERT_TRUE(player.LoadAVLib(QDir::temp().filePath("no-such-LibAV"))) << player.LastErrMsg().toStdString();
        screen.resize(320, 180);
        screen.show();
        recorder.Attach(player);
    }

    bool PlayToEnd(int ms = 15000)
    {
        return WaitFor([&] { return recorder.Count(TPlayState::psEnd) > 0; }, ms);
    }

    // The player goes first: its last events still reach the recorder and the screen.
    Recorder recorder;
    VideoScreen screen;
    TFFPlayer player;
};

TEST_F(PlayerTest, PlaysAClipToItsEndWithEveryEventOnTheUiThread)
{
    const QString clip = MediaClip(ClipKind::H264Aac);
    ASSERT_FALSE(clip.isEmpty());
    ASSERT_TRUE(player.TryOpen(clip, &screen));
    ASSERT_TRUE(PlayToEnd());
    WaitFor([&] { return !recorder.positions.isEmpty() && recorder.positions.last() == recorder.duration; }, 3000);
    WaitFor([] { return false; }, 300); // nothing more may come after the end

    EXPECT_NEAR(double(recorder.duration), 2e6, 1e5);
    EXPECT_EQ(recorder.frameWidth, 320);
    EXPECT_EQ(recorder.frameHeight, 180);
    ASSERT_FALSE(recorder.states.isEmpty());
    EXPECT_EQ(recorder.states.first(), TPlayState::psPlay);
    EXPECT_FALSE(recorder.playBeforeOpen); // OnFileOpen came first
    EXPECT_EQ(recorder.Count(TPlayState::psEnd), 1);
    EXPECT_TRUE(recorder.eventsOnUiThread);
    ASSERT_GE(recorder.positions.size(), 10);
    EXPECT_TRUE(std::is_sorted(recorder.positions.begin(), recorder.positions.end()));
    EXPECT_LE(*std::max_element(recorder.positions.begin(), recorder.positions.end()), recorder.duration);
    EXPECT_EQ(recorder.positions.last(), recorder.duration);
    EXPECT_FALSE(screen.Picture().isNull());

    player.Stop(true);
    WaitFor([&] { return recorder.Count(TPlayState::psStop) == 1; }, 3000);
    EXPECT_EQ(recorder.states.last(), TPlayState::psStop);
}


TEST_F(PlayerTest, PauseResumeAndStepReportTheirStates)
{
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::VideoOnly), &screen));
    ASSERT_TRUE(WaitFor([&] { return recorder.positions.size() >= 3; }));

    player.Pause();
    EXPECT_TRUE(player.Paused());
    ASSERT_TRUE(WaitFor([&] { return !recorder.states.isEmpty() && recorder.states.last() == TPlayState::psPause; }));
    WaitFor([] { return false; }, 50);
    const int64_t pausedAt = player.CurrentPTS(); // the time of the picture on screen
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(player.CurrentPTS(), pausedAt); // the clock stands still

    player.StepToNextFrame();
    ASSERT_TRUE(WaitFor([&] { return recorder.states.last() == TPlayState::psStep; }));
    ASSERT_TRUE(WaitFor([&] { return player.Paused(); }, 3000)); // one picture, then paused again
    int64_t steppedAt = 0;
    EXPECT_TRUE(WaitFor([&] {
        player.CurrentFrame(steppedAt);
        return steppedAt > pausedAt;
    }, 3000)) << steppedAt << " after " << pausedAt;

    player.Resume();
    ASSERT_TRUE(WaitFor([&] { return recorder.states.last() == TPlayState::psResume; }));
    EXPECT_FALSE(player.Paused());
    ASSERT_TRUE(WaitFor([&] { return player.CurrentPTS() > steppedAt + 100000; }));

    player.TogglePause();
    ASSERT_TRUE(WaitFor([&] { return recorder.states.last() == TPlayState::psPause; }));
    player.TogglePause();
    ASSERT_TRUE(WaitFor([&] { return recorder.states.last() == TPlayState::psResume; }));
}

TEST_F(PlayerTest, SteppingReportsTheTimeOfThePictureOnScreen)
{
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::H264Aac), &screen)); // with sound: the audio clock runs ahead
    ASSERT_TRUE(WaitFor([&] { return recorder.positions.size() >= 3; }));
    player.Pause();
    ASSERT_TRUE(WaitFor([&] { return player.Paused(); }));
    for (int i = 0; i < 8; ++i) {
        player.StepToNextFrame();
        ASSERT_TRUE(WaitFor([&] { return player.Paused(); }, 3000));
        WaitFor([] { return false; }, 60);
    }
    WaitFor([] { return false; }, 200);
    int64_t shown = -1;
    player.CurrentFrame(shown);
    ASSERT_GE(shown, 0);
    EXPECT_EQ(player.CurrentPTS(), shown) << "the time of the picture on screen";
    EXPECT_EQ(recorder.positions.last(), shown);
}

TEST_F(PlayerTest, AfterAPauseTheTimeGoesOnFromThePictureOnScreen)
{
    // Without sound the video clock is the time reported; a pause must not count as time played.
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::Long), &screen));
    ASSERT_TRUE(WaitFor([&] { return player.CurrentPTS() >= 500000; }, 5000));
    player.Pause();
    ASSERT_TRUE(WaitFor([&] { return player.Paused(); }));
    WaitFor([] { return false; }, 1500);
    player.Resume();
    WaitFor([] { return false; }, 150);
    int64_t shown = -1;
    player.CurrentFrame(shown);
    ASSERT_GE(shown, 0);
    EXPECT_LT(std::llabs(player.CurrentPTS() - shown), 400000)
        << "reported " << player.CurrentPTS() << " while the picture on screen is at " << shown;
}

TEST_F(PlayerTest, SeekShowsThePictureAtTheTarget)
{
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::H264Aac), &screen));
    ASSERT_TRUE(WaitFor([&] { return !recorder.positions.isEmpty(); }));
    player.Pause();
    // Key frames lie one second apart: 1.48 s needs the pictures after the key frame dropped.
    for (const int64_t target : {int64_t(1480000), int64_t(400000), int64_t(0)}) {
        player.Seek(target, {}, true);
        int64_t shownAt = -1;
        ASSERT_TRUE(WaitFor([&] {
            player.CurrentFrame(shownAt);
            return std::llabs(shownAt - target) <= 40000;
        }, 5000)) << "target " << target << " shown " << shownAt;
        EXPECT_FALSE(player.Seeking());
    }
    EXPECT_TRUE(player.Paused());
}

TEST_F(PlayerTest, ASeekWhileAnotherIsPendingIsIgnored)
{
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::VideoOnly), &screen));
    player.Pause();
    player.Seek(1200000);
    player.Seek(200000); // the first has not been performed yet
    ASSERT_TRUE(WaitFor([&] { return !player.Seeking(); }));
    int64_t shownAt = -1;
    ASSERT_TRUE(WaitFor([&] {
        player.CurrentFrame(shownAt);
        return shownAt >= 1100000;
    }, 5000)) << shownAt;
}

TEST_F(PlayerTest, StopReturnsWhileTheEngineWaitsForTheUiThread)
{
    std::atomic<int> handled{0};
    player.OnPosition = [&](TCustomPlayer*, int64_t) { ++handled; };
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::H264Aac), &screen));
    ASSERT_TRUE(WaitFor([&] { return handled > 0; }));
    // Keep the UI thread busy so a position hand-over is waiting when Stop begins.
    QThread::msleep(150);
    player.Stop(true);
    EXPECT_EQ(player.PlayState(), TPlayState::psStop);
    int64_t pts = 0;
    EXPECT_TRUE(player.CurrentFrame(pts).isNull());
    EXPECT_EQ(pts, -1);
}

TEST_F(PlayerTest, WhatTheVideoHookDrawsIsShownAndInCurrentFrame)
{
    player.VideoHook = true;
    std::atomic<bool> hookOnUiThread{false};
    player.OnVideoHook = [&](TCustomPlayer*, QImage& bitmap, int64_t, bool& update) {
        hookOnUiThread = hookOnUiThread || UiHandover::OnUiThread();
        EXPECT_EQ(bitmap.format(), QImage::Format_RGB32);
        QPainter painter(&bitmap);
        painter.fillRect(QRect(0, 0, 100, 60), Qt::red);
        update = true;
    };
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::VideoOnly), &screen));
    ASSERT_TRUE(WaitFor([&] { return recorder.positions.size() >= 3; }));
    const QImage frame = player.CurrentFrame();
    ASSERT_EQ(frame.size(), QSize(320, 180));
    EXPECT_EQ(frame.pixelColor(10, 10), QColor(Qt::red));
    const QColor outside = frame.pixelColor(300, 160);
    EXPECT_NEAR(outside.red(), 0x20, 12);
    EXPECT_NEAR(outside.blue(), 0xC0, 12);
    EXPECT_FALSE(hookOnUiThread);

    const QImage shown = screen.Picture();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixelColor(5, 5), QColor(Qt::red));
}

TEST_F(PlayerTest, TheOverlayIsDrawnAtTheShownSizeAndOverCurrentFramesCopy)
{
    screen.resize(160, 90); // half the video's size
    QCoreApplication::processEvents();
    player.VideoHook = true;
    std::mutex sizesLock;
    QSet<QPair<int, int>> sizes;
    std::atomic<bool> throwing{false};
    player.OnDrawOverlay = [&](TCustomPlayer*, QImage& picture, int64_t pts) {
        EXPECT_EQ(picture.format(), QImage::Format_RGB32);
        EXPECT_GE(pts, 0);
        {
            std::lock_guard lock(sizesLock);
            sizes.insert({picture.width(), picture.height()});
        }
        QPainter(&picture).fillRect(QRect(0, 0, 20, 12), Qt::red);
        if (throwing)
            throw std::runtime_error("boom");
    };
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::VideoOnly), &screen));
    ASSERT_TRUE(WaitFor([&] { return recorder.positions.size() >= 3; }));
    const QImage shown = screen.Picture();
    ASSERT_FALSE(shown.isNull());
    ASSERT_EQ(shown.size(), QSize(160, 90));
    EXPECT_EQ(shown.pixelColor(15, 9), QColor(Qt::red)) << "20 by 12 pixels of the shown picture, not of the video's";
    EXPECT_NE(shown.pixelColor(25, 9), QColor(Qt::red));
    const QImage frame = player.CurrentFrame();
    ASSERT_EQ(frame.size(), QSize(320, 180));
    EXPECT_EQ(frame.pixelColor(5, 5), QColor(Qt::red));
    EXPECT_NE(frame.pixelColor(25, 5), QColor(Qt::red));
    {
        std::lock_guard lock(sizesLock);
        EXPECT_TRUE(sizes.contains({shown.width(), shown.height()}));
        EXPECT_TRUE(sizes.contains({320, 180}));
    }

    QStringList errors;
    FFLogger().OnLog = [&](TFFLogger*, quint64, TLogLevel level, const QString& text) {
        if (level == TLogLevel::llError)
            errors << text;
    };
    throwing = true;
    WaitFor([&] { return errors.contains("Error occurs OnDrawOverlay: boom"); }, 2000);
    FFLogger().OnLog = TFFLogger::TOnLog();
    EXPECT_TRUE(errors.contains("Error occurs OnDrawOverlay: boom"));
    throwing = false;

    player.VideoHook = false; // switched off while playing: the next pictures come without it
    EXPECT_TRUE(WaitFor([&] { return screen.Picture().pixelColor(5, 5) != QColor(Qt::red); }, 2000));
    EXPECT_NE(player.CurrentFrame().pixelColor(5, 5), QColor(Qt::red));
}

TEST_F(PlayerTest, AHookThatThrowsIsLoggedAndPlaybackGoesOn)
{
    QStringList errors;
    FFLogger().OnLog = [&](TFFLogger*, quint64, TLogLevel level, const QString& text) {
        if (level == TLogLevel::llError)
            errors << text;
    };
    player.VideoHook = true;
    player.OnVideoHook = [](TCustomPlayer*, QImage& bitmap, int64_t, bool&) {
        bitmap.fill(Qt::green);
        throw std::runtime_error("boom");
    };
    ASSERT_TRUE(player.TryOpen(MediaClip(ClipKind::VideoOnly), &screen));
    ASSERT_TRUE(PlayToEnd());
    WaitFor([&] { return errors.contains("Error occurs OnVideoHook: boom"); }, 2000);
    FFLogger().OnLog = TFFLogger::TOnLog();
    EXPECT_TRUE(errors.contains("Error occurs OnVideoHook: boom"));
    // The picture is shown as decoded, without what the hook drew before throwing.
    const QColor shown = player.CurrentFrame().pixelColor(160, 90);
    EXPECT_NEAR(shown.blue(), 0xC0, 12);
}

TEST_F(PlayerTest, AnAudioHookThatThrowsIsLoggedAndTheSoundGoesOn)
{
    QStringList errors;
    FFLogger().OnLog = [&](TFFLogger*, quint64, TLogLevel level, const QString& text) {
        if (level == TLogLevel::llError)
            errors << text;
    };
    std::atomic<int> calls{0};
    player.AudioHook = true;
    player.OnAudioHook = [&](TCustomPlayer*, int64_t, uint8_t*, int, int, int) {
        ++calls;
        throw std::runtime_error("boom");
    };
    ASSERT_TRUE(player.TryOpen(MediaClip(ClipKind::AudioOnly), &screen));
    ASSERT_TRUE(PlayToEnd()) << "the sound plays to its end";
    FFLogger().OnLog = TFFLogger::TOnLog();
    EXPECT_GT(calls.load(), 1) << "called again after it threw";
    EXPECT_TRUE(errors.contains("Error occurs OnAudioHook: boom"));
}

// An output area that fails when the first picture reaches it.
class FailingScreen : public VideoSink {
public:
    QSize OutputSize() const override { return {320, 180}; }
    void Present(const QImage&, const QRect&, const QColor&) override { throw std::runtime_error("the screen is gone"); }
    void SetResizeListener(std::function<void()>) override {}
};

TEST_F(PlayerTest, AnErrorEscapingThePlayThreadIsLoggedAndEndsInAStop)
{
    QStringList lines;
    FFLogger().OnLog = [&](TFFLogger*, quint64, TLogLevel level, const QString& text) {
        if (level == TLogLevel::llFatal)
            lines << text;
    };
    FailingScreen failing;
    ASSERT_TRUE(player.TryOpen(MediaClip(ClipKind::VideoOnly), &failing));
    EXPECT_TRUE(WaitFor([&] { return recorder.Count(TPlayState::psStop) == 1; }, 5000));
    EXPECT_EQ(player.PlayState(), TPlayState::psStop);
    FFLogger().OnLog = TFFLogger::TOnLog();
    EXPECT_TRUE(lines.contains("PlayThread Exception: the screen is gone")) << lines.join(" | ").toStdString();
    // The player is usable again.
    ASSERT_TRUE(player.TryOpen(MediaClip(ClipKind::VideoOnly), &screen));
    EXPECT_TRUE(WaitFor([&] { return recorder.Count(TPlayState::psPlay) == 2; }, 5000));
}

TEST_F(PlayerTest, InputsThatCannotBePlayedEndInOpenFailed)
{
    QStringList lines;
    FFLogger().OnLog = [&](TFFLogger*, quint64, TLogLevel, const QString& text) { lines << text; };
    const QString missing = QDir::temp().filePath("orvek-no-such-clip.mp4");
    for (const QString& input : {missing, MediaClip(ClipKind::Damaged)}) {
        recorder = Recorder();
        recorder.Attach(player);
        ASSERT_TRUE(player.TryOpen(input, &screen));
        ASSERT_TRUE(WaitFor([&] { return recorder.openFailed == 1; })) << input.toStdString();
        EXPECT_FALSE(player.LastErrMsg().isEmpty());
        EXPECT_TRUE(recorder.eventsOnUiThread);
        WaitFor([] { return false; }, 100);
        EXPECT_EQ(recorder.Count(TPlayState::psPlay), 0);
        EXPECT_EQ(recorder.duration, -2); // no OnFileOpen
    }
    EXPECT_TRUE(player.LastErrMsg().contains("damaged.mp4")) << player.LastErrMsg().toStdString();
    EXPECT_FALSE(player.Open(missing, &screen));
    WaitFor([] { return false; }, 100);
    FFLogger().OnLog = TFFLogger::TOnLog();
    // FFmpeg's own complaint about the damaged file came through the engine's log, with its source.
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith("[mov,mp4"); })) << lines.join(" | ").toStdString();
}

TEST_F(PlayerTest, AnInputThatNeverAnswersTimesOut)
{
    // A server that accepts the connection and never says a word.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

    QStringList errors;
    FFLogger().OnLog = [&](TFFLogger*, quint64, TLogLevel level, const QString& text) {
        if (level == TLogLevel::llError)
            errors << text;
    };
    player.ReadTimeout = 700;
    ASSERT_TRUE(player.TryOpen(QStringLiteral("http://127.0.0.1:%1/clip.mp4").arg(ntohs(address.sin_port)), &screen));
    EXPECT_TRUE(WaitFor([&] { return recorder.openFailed == 1; }, 10000));
    FFLogger().OnLog = TFFLogger::TOnLog();
    close(listener);
    EXPECT_TRUE(errors.contains("connecting/reading timeout")) << errors.join(" | ").toStdString();
}

TEST_F(PlayerTest, TheVideoFiltersApplyToEveryPicture)
{
    player.VideoFilters = "hue=s=0"; // no colour left
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::VideoOnly), &screen));
    ASSERT_TRUE(WaitFor([&] { return recorder.positions.size() >= 2; }));
    const QColor shown = player.CurrentFrame().pixelColor(160, 90);
    EXPECT_NEAR(shown.red(), shown.blue(), 4);
    EXPECT_NEAR(shown.green(), shown.blue(), 4);
    player.Stop(true);

    player.VideoFilters = "hue=b=0.00:s=1.00:H=0.00"; // the neutral setting of the preview
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::VideoOnly), &screen));
    ASSERT_TRUE(WaitFor([&] { return !player.CurrentFrame().isNull() && player.CurrentFrame().pixelColor(160, 90).blue() > 150; }, 5000));
}

TEST_F(PlayerTest, SettingsChangedWhileAClipPlaysWaitForTheNextOpen)
{
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::VideoOnly), &screen));
    ASSERT_TRUE(WaitFor([&] { return recorder.positions.size() >= 2; }));
    // The open goes on with the handlers and filters it began with.
    int laterPositions = 0;
    player.OnPosition = [&](TCustomPlayer*, int64_t) { ++laterPositions; };
    player.VideoFilters = "hue=s=0";
    const qsizetype before = recorder.positions.size();
    ASSERT_TRUE(WaitFor([&] { return recorder.positions.size() >= before + 3; }));
    EXPECT_EQ(laterPositions, 0);
    EXPECT_GT(player.CurrentFrame().pixelColor(160, 90).blue(), 150);
    player.Stop(true);

    // The next open takes them.
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::VideoOnly), &screen));
    ASSERT_TRUE(WaitFor([&] { return laterPositions >= 2; }));
    const QColor shown = player.CurrentFrame().pixelColor(160, 90);
    EXPECT_NEAR(shown.red(), shown.blue(), 4);
    player.Stop(true);
}

TEST_F(PlayerTest, ASecondOpenWhileTheFirstIsOpeningIsRefused)
{
    // The memory input's open event waits for the UI thread, so the first open is still busy.
    TMemoryAccessAdapter adapter;
    QFile file(MediaClip(ClipKind::VideoOnly));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    adapter.SetOnRead([&](TCustomEventStream*, void* buffer, int count) { return int(file.read(static_cast<char*>(buffer), count)); });
    adapter.SetOnSeek([&](TCustomEventStream*, qint64 offset, TSeekOrigin origin) -> qint64 {
        const qint64 base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? file.pos() : file.size();
        return file.seek(base + offset) ? file.pos() : -1;
    });
    ASSERT_TRUE(player.TryOpen(adapter.Address(), &screen));
    EXPECT_FALSE(player.TryOpen(MediaClip(ClipKind::H264Aac), &screen));
    EXPECT_EQ(player.LastErrMsg(), "Current trying open is not completed.");
    // The first open goes on and plays.
    ASSERT_TRUE(PlayToEnd());
    EXPECT_TRUE(adapter.Opened());
    player.Stop(true);
    EXPECT_FALSE(adapter.Opened());
}

TEST_F(PlayerTest, AnInputThatFailsAndComesBackKeepsServingSeeks)
{
    // A card that is pulled and put back twice: reads and seeks fail while it is out. The
    // second time the failure comes while a seek moves the input, which the demuxer reports
    // as damaged data rather than as the end; the reader must stay and serve the next seek.
    TMemoryAccessAdapter adapter;
    adapter.SetTriggerEventInMainThread(false);
    QFile file(MediaClip(ClipKind::Long));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::atomic<bool> pulled{false};
    std::atomic<int> failedCalls{0};
    adapter.SetOnRead([&](TCustomEventStream*, void* buffer, int count) {
        if (pulled) {
            ++failedCalls;
            return -1;
        }
        return int(file.read(static_cast<char*>(buffer), count));
    });
    adapter.SetOnSeek([&](TCustomEventStream*, qint64 offset, TSeekOrigin origin) -> qint64 {
        if (pulled) {
            ++failedCalls;
            return -1;
        }
        const qint64 base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? file.pos() : file.size();
        return file.seek(base + offset) ? file.pos() : -1;
    });
    Watchdog watchdog("a seek after failed reads", 60);
    ASSERT_TRUE(player.Open(adapter.Address(), &screen));
    ASSERT_TRUE(WaitFor([&] { return recorder.positions.size() >= 3; }));
    const auto showsNear = [&](int64_t target) {
        int64_t shownAt = -1;
        const bool near = WaitFor([&] {
            player.CurrentFrame(shownAt);
            return std::llabs(shownAt - target) <= 80000;
        }, 5000);
        return near ? testing::AssertionSuccess() : testing::AssertionFailure() << "target " << target << ", shown " << shownAt;
    };

    pulled = true; // a read ahead of the playing picture fails
    ASSERT_TRUE(WaitFor([&] { return failedCalls > 0; }, 5000));
    pulled = false;
    player.Pause();
    player.Seek(3000000);
    ASSERT_TRUE(showsNear(3000000));

    pulled = true; // out again while a seek back moves the input
    failedCalls = 0;
    player.Seek(500000);
    ASSERT_TRUE(WaitFor([&] { return failedCalls > 0; }, 5000));
    WaitFor([] { return false; }, 300);
    pulled = false;
    player.Seek(6000000);
    EXPECT_TRUE(showsNear(6000000)) << "the reader still serves seeks";
    player.Stop(true);
}

TEST_F(PlayerTest, AMemoryInputWhoseOpenIsRefusedFails)
{
    TMemoryAccessAdapter adapter;
    adapter.SetOnOpen([](TCustomEventStream*, void*, const QString&, int) { return false; });
    ASSERT_TRUE(player.TryOpen(adapter.Address("x"), &screen));
    ASSERT_TRUE(WaitFor([&] { return recorder.openFailed == 1; }));
    ASSERT_TRUE(player.TryOpen("memory:abc:x", &screen));
    ASSERT_TRUE(WaitFor([&] { return recorder.openFailed == 2; }));
}

TEST_F(PlayerTest, SoundOnlyVideoOnlyAndMovInputsPlayToTheEnd)
{
    struct Case {
        ClipKind kind;
        bool video;
        bool audio;
    };
    for (const Case& c : {Case{ClipKind::AudioOnly, false, true}, Case{ClipKind::VideoOnly, true, false},
                          Case{ClipKind::Mov, true, true}}) {
        recorder = Recorder();
        recorder.Attach(player);
        ASSERT_TRUE(player.Open(MediaClip(c.kind), &screen));
        EXPECT_EQ(player.VideoStreamIndex() >= 0, c.video);
        EXPECT_EQ(player.AudioStreamIndex() >= 0, c.audio);
        ASSERT_TRUE(PlayToEnd()) << int(c.kind);
        ASSERT_TRUE(WaitFor([&] { return !recorder.positions.isEmpty() && recorder.positions.last() == recorder.duration; }, 3000));
        EXPECT_EQ(recorder.Count(TPlayState::psEnd), 1);
        EXPECT_EQ(recorder.frameWidth, c.video ? (c.kind == ClipKind::Mov ? 320 : 320) : -1);
    }
}

TEST_F(PlayerTest, TwoPlayersPlayAtTheSameTime)
{
    Recorder secondRecorder;
    VideoScreen secondScreen;
    secondScreen.resize(320, 240);
    secondScreen.show();
    TFFPlayer second;
    secondRecorder.Attach(second);
    ASSERT_TRUE(second.LoadAVLib(QString()));
    ASSERT_TRUE(player.TryOpen(MediaClip(ClipKind::H264Aac), &screen));
    ASSERT_TRUE(second.TryOpen(MediaClip(ClipKind::Mov), &secondScreen));
    ASSERT_TRUE(PlayToEnd());
    ASSERT_TRUE(WaitFor([&] { return secondRecorder.Count(TPlayState::psEnd) == 1; }));
    EXPECT_EQ(secondRecorder.frameHeight, 240);
    EXPECT_FALSE(secondScreen.Picture().isNull());
    EXPECT_FALSE(screen.Picture().isNull());
}

TEST_F(PlayerTest, ThePictureKeepsItsShapeWithTheBackColourAround)
{
    screen.resize(676, 365);
    player.SetBackColor(QColor(200, 0, 0));
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::Wide), &screen));
    ASSERT_TRUE(WaitFor([&] { return screen.PictureRect() == QRect(14, 0, 648, 365); }, 5000)) << screen.PictureRect();
    EXPECT_EQ(player.DisplayToActualRect(QRect(14, 0, 648, 365)), QRect(0, 0, 1920, 1080));

    screen.resize(400, 365);
    ASSERT_TRUE(WaitFor([&] { return screen.PictureRect() == QRect(0, 70, 400, 224); }, 5000)) << screen.PictureRect();
    WaitFor([] { return false; }, 100);
    const QImage shot = screen.grab().toImage();
    EXPECT_EQ(shot.pixelColor(200, 30), QColor(200, 0, 0));  // above the picture
    EXPECT_EQ(shot.pixelColor(200, 330), QColor(200, 0, 0)); // below it
    EXPECT_NE(shot.pixelColor(200, 180), QColor(200, 0, 0)); // the picture itself

    player.SetAspectRatio(-1); // fill the whole area
    ASSERT_TRUE(WaitFor([&] { return screen.PictureRect() == QRect(0, 0, 400, 365); }, 5000)) << screen.PictureRect();
}

} // namespace
