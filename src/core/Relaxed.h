#pragma once
// A value that threads share without a lock, where only the value itself matters: no other data
// is published with it (a clock's time, a queue's serial, a finished flag). Loads and stores are
// relaxed atomics: never torn and never a data race, and as cheap as plain reads and writes.

#include <atomic>

template <typename T>
class Relaxed {
public:
    Relaxed() : value_(T{}) {}
    explicit Relaxed(T value) : value_(value) {}
    Relaxed(const Relaxed& other) : value_(other.load()) {}
    Relaxed& operator=(const Relaxed& other)
    {
        store(other.load());
        return *this;
    }
    Relaxed& operator=(T value)
    {
        store(value);
        return *this;
    }
    operator T() const { return load(); }

    T load() const { return value_.load(std::memory_order_relaxed); }
    void store(T value) { value_.store(value, std::memory_order_relaxed); }

    // For the queues' serials, bumped under their queue's lock.
    T operator++() { return value_.fetch_add(1, std::memory_order_relaxed) + 1; }

private:
    std::atomic<T> value_;
};
