#pragma once

#include "time_limit.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// An event that releases one wait per signal; signals do not accumulate.
class AutoResetEvent {
public:
    static constexpr std::uint32_t kInfinite = kNoTimeLimit;

    void Set()
    {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_one();
    }

    void Reset()
    {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }

    // True when the signal came within the time-out (milliseconds,
    // kInfinite for no limit); the signal is consumed.
    bool Wait(std::uint32_t timeoutMs = kInfinite)
    {
        std::unique_lock lock(mutex_);
        if (timeoutMs == kInfinite)
            cv_.wait(lock, [this] { return signalled_; });
        else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; }))
            return false;
        signalled_ = false;
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};
