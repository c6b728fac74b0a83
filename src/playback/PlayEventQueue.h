#pragma once
// The engine's queue of host events: a ring of 10 entries where a new entry of the same kind as
// the newest one replaces it (the host only needs the latest position or state), and the oldest
// entry is dropped when the ring is full.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

class PlayEventQueue {
public:
    enum class Kind { Position = 1, State = 2, Quit = 3 };
    struct Entry {
        Kind kind;
        int64_t value;
    };

    void Post(Kind kind, int64_t value);
    // The oldest entry, waiting up to timeoutMs for one; nullopt when none came.
    std::optional<Entry> Take(int timeoutMs);
    void Clear();
    int Count() const;

private:
    static constexpr int kSize = 10;
    mutable std::mutex lock; // guards the ring
    std::condition_variable signal;
    Entry ring[kSize]{};
    int header = 0; // oldest entry
    int count = 0;
};
