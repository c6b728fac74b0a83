#pragma once
// Delivers the positions and states of one open to the host's handlers, on a thread of its own.
// Each open gets a fresh thread whose flags are its own, so a thread that is told to end while
// it runs a host handler cannot take the next open's events once the handler returns: it is set
// aside and joined once it has ended.

#include "playback/PlayEventQueue.h"
#include "playback/PlaybackTypes.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class EventDelivery {
public:
    struct Handlers {
        std::function<void(int64_t pts)> position;
        std::function<void(TPlayState state)> state;
    };
    // Waits until done() holds (the player's wait, which keeps serving the UI thread).
    using Wait = std::function<void(const std::function<bool()>& done)>;

    EventDelivery() = default;
    ~EventDelivery(); // joins every thread; the player ends them first
    EventDelivery(const EventDelivery&) = delete;
    EventDelivery& operator=(const EventDelivery&) = delete;

    void Post(PlayEventQueue::Kind kind, int64_t value) { queue_.Post(kind, value); }
    void Clear() { queue_.Clear(); }

    // Starts delivering to handlers until the stop state (or a quit) has been delivered. A
    // thread told to end first still delivers the states already posted, and the host always
    // hears a stop.
    void Start(Handlers handlers);
    // Ends the current thread. insideHandler: the caller may be running on that very thread, in
    // a handler; the thread ends once the handler returns and is joined later.
    void End(bool insideHandler, const Wait& wait);
    // Whether a thread set aside is still running.
    bool SetAsideRunning() const;

private:
    struct Thread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> end = std::make_shared<std::atomic<bool>>(false);
        std::shared_ptr<std::atomic<bool>> running = std::make_shared<std::atomic<bool>>(false);
    };
    void Run(const Handlers& handlers, const std::atomic<bool>& end, std::atomic<bool>& running);
    void JoinEndedSetAside();

    PlayEventQueue queue_;
    mutable std::mutex lock_; // guards current_ and setAside_
    Thread current_;
    std::vector<Thread> setAside_;
};
