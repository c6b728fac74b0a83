#include "playback/PlayEventQueue.h"

#include <chrono>

void PlayEventQueue::Post(Kind kind, int64_t value)
{
    {
        std::lock_guard guard(lock);
        const int newest = (header + count - 1) % kSize;
        if (count > 0 && ring[newest].kind == kind) {
            ring[newest].value = value;
        } else {
            if (count == kSize) { // full: the oldest entry gives way
                header = (header + 1) % kSize;
                --count;
            }
            ring[(header + count) % kSize] = {kind, value};
            ++count;
        }
    }
    signal.notify_all();
}

std::optional<PlayEventQueue::Entry> PlayEventQueue::Take(int timeoutMs)
{
    std::unique_lock guard(lock);
    if (!signal.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return count > 0; }))
        return std::nullopt;
    Entry entry = ring[header];
    header = (header + 1) % kSize;
    --count;
    return entry;
}

void PlayEventQueue::Clear()
{
    std::lock_guard guard(lock);
    header = 0;
    count = 0;
}

int PlayEventQueue::Count() const
{
    std::lock_guard guard(lock);
    return count;
}
