#pragma once
// The dispatcher of a front without an event loop of its own (vokctl, the
// benchmarks): steps wait in a queue until the front's thread serves them in
// ServeUntil, which also runs the front's periodic tasks. Several link
// threads may share one.

#include "front_dispatcher.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

class LoopDispatcher final : public FrontDispatcher {
public:
    using Clock = std::chrono::steady_clock;

    void RunOnFrontThread(const std::function<void()>& step) override;
    void Post(std::function<void()> task) override;
    void Wake() override;
    void ServeUntil(const std::function<bool()>& done) override { ServeUntil(done, std::nullopt); }
    // The same, ending also at `deadline`; false when it was the deadline.
    bool ServeUntil(const std::function<bool()>& done, std::optional<Clock::time_point> deadline);

    // A task that ServeUntil runs every `interval` while it serves (on the
    // front's thread, as the steps). Add and remove on the front's thread.
    int AddPeriodic(std::chrono::milliseconds interval, std::function<void()> task);
    void RemovePeriodic(int id);

private:
    struct Job {
        const std::function<void()>* step;
        bool finished = false;
    };
    struct Periodic {
        Clock::duration interval;
        Clock::time_point due;
        std::function<void()> task;
    };

    // Runs the periodic tasks that are due; the earliest next due time.
    std::optional<Clock::time_point> RunDueTasks();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job*> jobs_;
    std::deque<std::function<void()>> posted_;
    std::uint64_t wakes_ = 0;
    std::map<int, Periodic> periodic_; // front's thread only
    int nextPeriodicId_ = 1;
};
