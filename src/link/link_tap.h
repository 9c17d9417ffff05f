#pragma once
// The link's traffic tap: the channel's observer while the link is open. It
// counts the statistics at once and hands the entries to the front through a
// bounded queue that never blocks the channel's threads; when the front
// falls behind, what did not fit is counted as dropped. No Qt.

#include "bounded_queue.h"
#include "link_statistics.h"
#include "traffic.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

class LinkTap final : public TrafficObserver {
public:
    static constexpr std::size_t kQueueCapacity = 2048;

    explicit LinkTap(std::size_t queueCapacity = kQueueCapacity) : queue_(queueCapacity) {}

    void OnTraffic(const TrafficEntry& entry) noexcept override;

    // The link opened at `baud` at time `at`: an Opened entry for the front.
    void MarkOpened(std::uint32_t baud, std::chrono::steady_clock::time_point at);

    // Moves up to `max` waiting entries to the back of `out`; returns how
    // many. The front's thread only.
    std::size_t Drain(std::vector<TrafficEntry>& out, std::size_t max);
    // Entries dropped since the last call.
    std::uint64_t TakeDropped();

    LinkCounters Counters() const { return statistics_.Counters(); }
    void ResetStatistics() { statistics_.Reset(); }

private:
    LinkStatistics statistics_;
    BoundedQueue<TrafficEntry> queue_;
    std::atomic<std::uint64_t> dropped_{0};
};
