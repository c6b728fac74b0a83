#include "playback/EventDelivery.h"

#include "core/UiHandover.h"

EventDelivery::~EventDelivery()
{
    std::vector<Thread> threads;
    {
        std::lock_guard guard(lock_);
        threads = std::move(setAside_);
        threads.push_back(std::move(current_));
    }
    for (Thread& t : threads) {
        *t.end = true;
        if (t.thread.joinable())
            t.thread.join();
    }
}

void EventDelivery::Start(Handlers handlers)
{
    Thread next;
    next.running->store(true);
    next.thread = std::thread([this, handlers = std::move(handlers), end = next.end, running = next.running] {
        Run(handlers, *end, *running);
    });
    std::lock_guard guard(lock_);
    current_ = std::move(next);
}

void EventDelivery::Run(const Handlers& handlers, const std::atomic<bool>& end, std::atomic<bool>& running)
{
    bool stateDelivered = false;
    bool stopDelivered = false;
    const auto deliver = [&](const PlayEventQueue::Entry& entry) {
        if (entry.kind == PlayEventQueue::Kind::Position) {
            handlers.position(entry.value);
            return true;
        }
        if (entry.kind == PlayEventQueue::Kind::State) {
            stateDelivered = true;
            const auto state = TPlayState(entry.value);
            handlers.state(state);
            stopDelivered = state == TPlayState::psStop;
            return !stopDelivered;
        }
        return false; // quit
    };
    while (!end) {
        const auto entry = queue_.Take(100);
        if (entry && !deliver(*entry))
            break;
    }
    // Told to end before the stop arrived: the host still hears the states already posted.
    if (end && !stopDelivered) {
        while (const auto entry = queue_.Take(0)) {
            if (entry->kind != PlayEventQueue::Kind::Position && !deliver(*entry))
                break;
        }
    }
    if (!stateDelivered)
        handlers.state(TPlayState::psStop);
    running = false;
    UiHandover::WakeWaiter();
}

void EventDelivery::End(bool insideHandler, const Wait& wait)
{
    Thread ending;
    {
        std::lock_guard guard(lock_);
        ending = std::move(current_);
        current_ = Thread{};
    }
    if (ending.thread.joinable()) {
        *ending.end = true;
        if (insideHandler) {
            std::lock_guard guard(lock_);
            setAside_.push_back(std::move(ending));
        } else {
            wait([running = ending.running] { return !*running; });
            ending.thread.join();
        }
    }
    JoinEndedSetAside();
}

void EventDelivery::JoinEndedSetAside()
{
    std::vector<Thread> ended;
    {
        std::lock_guard guard(lock_);
        for (auto it = setAside_.begin(); it != setAside_.end();) {
            if (!*it->running) {
                ended.push_back(std::move(*it));
                it = setAside_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Thread& t : ended)
        t.thread.join();
}

bool EventDelivery::SetAsideRunning() const
{
    std::lock_guard guard(lock_);
    for (const Thread& t : setAside_)
        if (*t.running)
            return true;
    return false;
}
