#include "loop_dispatcher.h"

#include <algorithm>
#include <vector>

void LoopDispatcher::RunOnFrontThread(const std::function<void()>& step)
{
    Job job{&step};
    std::unique_lock lock(mutex_);
    jobs_.push_back(&job);
    changed_.notify_all();
    changed_.wait(lock, [&job] { return job.finished; });
}

void LoopDispatcher::Post(std::function<void()> task)
{
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
    changed_.notify_all();
}

void LoopDispatcher::Wake()
{
    std::lock_guard lock(mutex_);
    ++wakes_;
    changed_.notify_all();
}

int LoopDispatcher::AddPeriodic(std::chrono::milliseconds interval, std::function<void()> task)
{
    const int id = nextPeriodicId_++;
    periodic_.emplace(id, Periodic{interval, Clock::now() + interval, std::move(task)});
    return id;
}

void LoopDispatcher::RemovePeriodic(int id) { periodic_.erase(id); }

std::optional<LoopDispatcher::Clock::time_point> LoopDispatcher::RunDueTasks()
{
    // By id, so that a task that removes itself or another is safe.
    std::vector<int> ids;
    for (const auto& [id, p] : periodic_)
        ids.push_back(id);
    std::optional<Clock::time_point> next;
    for (const int id : ids) {
        const auto found = periodic_.find(id);
        if (found == periodic_.end())
            continue;
        const Clock::time_point now = Clock::now();
        if (found->second.due <= now) {
            found->second.due = now + found->second.interval;
            std::function<void()> task = found->second.task;
            task();
        }
    }
    for (const auto& [id, p] : periodic_)
        next = next ? std::min(*next, p.due) : p.due;
    return next;
}

bool LoopDispatcher::ServeUntil(const std::function<bool()>& done, std::optional<Clock::time_point> deadline)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        // A Wake after this point is seen by the wait below, so none is lost
        // between asking `done` and waiting.
        const std::uint64_t seen = wakes_;
        lock.unlock();
        const std::optional<Clock::time_point> taskDue = RunDueTasks();
        if (done())
            return true;
        if (deadline && Clock::now() >= *deadline)
            return false;
        lock.lock();
        const auto ready = [&] { return !jobs_.empty() || !posted_.empty() || wakes_ != seen; };
        std::optional<Clock::time_point> until = deadline;
        if (taskDue)
            until = until ? std::min(*until, *taskDue) : *taskDue;
        if (until)
            changed_.wait_until(lock, *until, ready);
        else
            changed_.wait(lock, ready);
        if (!posted_.empty()) {
            std::function<void()> task = std::move(posted_.front());
            posted_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (jobs_.empty())
            continue;
        Job* job = jobs_.front();
        jobs_.pop_front();
        lock.unlock();
        (*job->step)();
        lock.lock();
        job->finished = true;
        changed_.notify_all();
    }
}
