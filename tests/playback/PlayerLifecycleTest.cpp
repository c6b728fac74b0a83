// The engine when the host calls it at awkward moments: from inside its own events, while an
// open is finishing or a stop is under way, and from other threads.
#include "MediaClips.h"
#include "PlayerTestSupport.h"
#include "playback/VideoScreen.h"

#include <QDir>
#include <memory>
#include <optional>
#include <gtest/gtest.h>

namespace {

// Counts what the engine asks of a screen.
struct CountingSink : VideoSink {
    std::atomic<int> listenerCalls{0};
    std::atomic<int> presents{0};
    QSize OutputSize() const override { return {320, 180}; }
    void Present(const QImage&, const QRect&, const QColor&) override { ++presents; }
    void SetResizeListener(std::function<void()>) override { ++listenerCalls; }
};

class PlayerLifecycleTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(player.LoadAVLib(QDir::temp().filePath("no-such-LibAV")));
        screen.resize(320, 180);
        screen.show();
        recorder.Attach(player);
    }
    Recorder recorder;
    VideoScreen screen;
    TFFPlayer player;
};

TEST_F(PlayerLifecycleTest, AStopWhileTheOpenFinishesEndsIt)
{
    for (int round = 0; round < 4; ++round) {
        std::atomic<bool> heard{false};
        player.OnFileOpen = [&](TCustomPlayer*, int64_t, int, int, int&, int&) {
            player.Stop(false);
            heard = true;
        };
        ASSERT_TRUE(player.TryOpen(MediaClip(ClipKind::H264Aac), &screen));
        ASSERT_TRUE(WaitFor([&] { return heard.load(); }, 5000));
        Watchdog dog("Stop(true) after a stop during the open", 10);
        player.Stop(true);
        EXPECT_EQ(player.PlayState(), TPlayState::psStop) << "round " << round;
    }
}

TEST_F(PlayerLifecycleTest, HandlersMayStopOrOpenTheNextClip)
{
    // A play list: the end of one clip opens the next from the state event.
    int opened = 0;
    player.OnState = [&](TCustomPlayer*, TPlayState s) {
        recorder.states << s;
        if (s == TPlayState::psEnd && opened++ == 0) {
            EXPECT_TRUE(player.TryOpen(MediaClip(ClipKind::VideoOnly), &screen));
        }
    };
    {
        Watchdog dog("TryOpen from the end event", 20);
        ASSERT_TRUE(player.TryOpen(MediaClip(ClipKind::VideoOnly), &screen));
        EXPECT_TRUE(WaitFor([&] { return recorder.Count(TPlayState::psEnd) >= 2; }, 15000));
    }
    EXPECT_EQ(recorder.Count(TPlayState::psPlay), 2);

    // A failed open tries another file from its failure event; a stop inside the open event.
    player.OnOpenFailed = [&](TCustomPlayer*) {
        if (++recorder.openFailed == 1)
            EXPECT_TRUE(player.TryOpen(MediaClip(ClipKind::VideoOnly), &screen));
    };
    recorder.states.clear();
    {
        Watchdog dog("TryOpen from the failure event", 20);
        ASSERT_TRUE(player.TryOpen(QDir::temp().filePath("orvek-missing.mp4"), &screen));
        EXPECT_TRUE(WaitFor([&] { return recorder.Count(TPlayState::psPlay) == 1; }));
        EXPECT_EQ(recorder.openFailed, 1);
        player.OnFileOpen = [&](TCustomPlayer*, int64_t, int, int, int&, int&) { player.Stop(true); };
        ASSERT_TRUE(player.TryOpen(MediaClip(ClipKind::VideoOnly), &screen));
        EXPECT_TRUE(WaitFor([&] { return player.PlayState() == TPlayState::psStop && !player.Paused(); }, 10000))
            << int(player.PlayState()) << " " << recorder.states.size();
        player.Stop(true);
    }
}

TEST_F(PlayerLifecycleTest, EveryOpenEndsWithAStopEventBeforeTheNextPlay)
{
    player.OnPosition = [](TCustomPlayer*, int64_t) { QThread::msleep(40); }; // a slow host
    for (int round = 0; round < 3; ++round) {
        recorder.states.clear();
        ASSERT_TRUE(player.TryOpen(MediaClip(ClipKind::H264Aac), &screen));
        ASSERT_TRUE(WaitFor([&] { return recorder.states.contains(TPlayState::psPlay); }, 5000));
        WaitFor([] { return false; }, 100);
        player.Stop(true);
        ASSERT_TRUE(player.TryOpen(MediaClip(ClipKind::VideoOnly), &screen));
        ASSERT_TRUE(WaitFor([&] { return recorder.Count(TPlayState::psPlay) >= 2; }, 5000));
        const auto& s = recorder.states;
        const qsizetype second = s.lastIndexOf(TPlayState::psPlay);
        EXPECT_TRUE(s.mid(0, second).contains(TPlayState::psStop)) << "round " << round;
        player.Stop(true);
    }
}

TEST_F(PlayerLifecycleTest, SoundAloneStaysPausedThroughASeekAndWhenOpenedPaused)
{
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::AudioOnly), &screen));
    ASSERT_TRUE(WaitFor([&] { return recorder.positions.size() >= 2; }));
    player.Pause();
    player.Seek(500000, {}, true);
    WaitFor([] { return false; }, 300);
    EXPECT_TRUE(player.Paused());
    const int64_t at = player.CurrentPTS();
    WaitFor([] { return false; }, 400);
    EXPECT_LE(player.CurrentPTS() - at, 50000);
    player.StepToNextFrame(); // no picture to step to: stays paused
    EXPECT_TRUE(player.Paused());
    player.Stop(true);

    ASSERT_TRUE(player.Open(MediaClip(ClipKind::AudioOnly), &screen, true));
    WaitFor([] { return false; }, 600);
    EXPECT_TRUE(player.Paused());
    EXPECT_LT(player.CurrentPTS(), 200000);
}

TEST_F(PlayerLifecycleTest, ASeekNearTheEndFinishes)
{
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::VideoOnly), &screen));
    for (int round = 0; round < 5; ++round) {
        player.Seek(1950000, {}, true);
        EXPECT_TRUE(WaitFor([&] { return !player.Seeking(); }, 3000)) << "round " << round;
        player.Seek(0, {}, true);
        WaitFor([&] { return !player.Seeking(); }, 3000);
    }
}

TEST_F(PlayerLifecycleTest, AStoppedPlayerLeavesItsScreenAlone)
{
    auto sink = std::make_unique<CountingSink>();
    ASSERT_TRUE(player.Open(MediaClip(ClipKind::VideoOnly), sink.get()));
    ASSERT_TRUE(WaitFor([&] { return sink->presents > 0; }));
    player.Stop(true);
    const int after = sink->listenerCalls;
    player.Stop(true);
    player.Stop(true);
    EXPECT_EQ(sink->listenerCalls.load(), after);
    sink.reset(); // the host may now delete its screen
    player.Stop(true);
}

TEST_F(PlayerLifecycleTest, AnOpenFromAHandlerWhileThePlayerGoesIsRefused)
{
    // The stop of a player that is being destroyed still reaches its state handler; an open
    // from there would outlive the player.
    auto going = std::make_unique<TFFPlayer>();
    ASSERT_TRUE(going->LoadAVLib(QDir::temp().filePath("no-such-LibAV")));
    std::optional<bool> reopened;
    going->OnState = [&](TCustomPlayer* sender, TPlayState state) {
        if (state == TPlayState::psStop && !reopened)
            reopened = sender->TryOpen(MediaClip(ClipKind::VideoOnly), &screen);
    };
    ASSERT_TRUE(going->Open(MediaClip(ClipKind::VideoOnly), &screen));
    going.reset();
    ASSERT_TRUE(reopened.has_value()) << "the stop reached the handler";
    EXPECT_FALSE(*reopened);
}

TEST_F(PlayerLifecycleTest, OtherThreadsMayReadAndSeekWhileItStops)
{
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(player.Open(MediaClip(ClipKind::H264Aac), &screen));
        std::atomic<bool> end{false};
        std::thread reader([&] {
            while (!end) {
                (void)player.Paused();
                (void)player.FramesShown();
                (void)player.AudioVideoDrift();
                (void)player.Seeking();
                (void)player.CurrentFrame();
            }
        });
        WaitFor([] { return false; }, 100);
        player.Stop(false);
        for (int i = 0; i < 2000 && player.PlayState() != TPlayState::psStop; ++i)
            player.Seek(0);
        player.VideoFilters = QStringLiteral("hue=s=%1").arg(round); // the next open's setting
        player.Stop(true);
        end = true;
        reader.join();
    }
}

} // namespace
