#pragma once
// What the player tests share: waiting while serving the UI thread, a watchdog for hangs, and
// a recorder of what the host heard.

#include "EventWait.h"
#include "core/UiHandover.h"
#include "playback/Player.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <thread>
#include <unistd.h>

// What the host saw of one player, recorded on the thread each event arrived on.
struct Recorder {
    QList<TPlayState> states;
    QList<int64_t> positions;
    int64_t duration = -2;
    int frameWidth = 0, frameHeight = 0;
    int openFailed = 0;
    bool eventsOnUiThread = true;
    bool playBeforeOpen = false;

    void Attach(TCustomPlayer& player)
    {
        player.OnFileOpen = [this](TCustomPlayer*, int64_t d, int w, int h, int&, int&) {
            duration = d;
            frameWidth = w;
            frameHeight = h;
            Note();
        };
        player.OnState = [this](TCustomPlayer*, TPlayState s) {
            if (s == TPlayState::psPlay && duration == -2)
                playBeforeOpen = true;
            states << s;
            Note();
        };
        player.OnPosition = [this](TCustomPlayer*, int64_t p) {
            positions << p;
            Note();
        };
        player.OnOpenFailed = [this](TCustomPlayer*) {
            ++openFailed;
            Note();
        };
    }
    void Note() { eventsOnUiThread = eventsOnUiThread && UiHandover::OnUiThread(); }
    int Count(TPlayState s) const { return int(states.count(s)); }
};

// Ends the test process when a step hangs: a hang then fails at once instead of at the time limit.
struct Watchdog {
    std::atomic<bool> done{false};
    std::thread thread;
    Watchdog(const char* what, int seconds)
    {
        thread = std::thread([this, what, seconds] {
            for (int i = 0; i < seconds * 100 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!done) {
                std::fprintf(stderr, "HANG: %s\n", what);
                std::fflush(stderr);
                _exit(42);
            }
        });
    }
    ~Watchdog()
    {
        done = true;
        thread.join();
    }
};
