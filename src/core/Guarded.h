#pragma once
// A value behind a mutex, assigned and read whole: for a getter and a setter that different
// threads call, where nothing else must change together with the value.

#include <mutex>
#include <utility>

template <class T>
class TGuarded {
public:
    TGuarded() = default;
    explicit TGuarded(T value) : value_(std::move(value)) {}
    TGuarded& operator=(T value)
    {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
        return *this;
    }
    T Get() const
    {
        std::lock_guard lock(mutex_);
        return value_;
    }
    operator T() const { return Get(); }

private:
    mutable std::mutex mutex_;
    T value_{};
};
