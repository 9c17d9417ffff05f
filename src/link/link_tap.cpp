#include "link_tap.h"

void LinkTap::OnTraffic(const TrafficEntry& entry) noexcept
{
    statistics_.Add(entry);
    if (!queue_.TryPush(entry))
        dropped_.fetch_add(1, std::memory_order_relaxed);
}

void LinkTap::MarkOpened(std::uint32_t baud, std::chrono::steady_clock::time_point at)
{
    TrafficEntry entry;
    entry.kind = TrafficKind::Opened;
    entry.timeUs = TrafficMicros(at);
    entry.detail = baud;
    OnTraffic(entry);
}

std::size_t LinkTap::Drain(std::vector<TrafficEntry>& out, std::size_t max)
{
    std::size_t n = 0;
    TrafficEntry entry;
    while (n < max && queue_.TryPop(entry)) {
        out.push_back(entry);
        ++n;
    }
    return n;
}

std::uint64_t LinkTap::TakeDropped() { return dropped_.exchange(0, std::memory_order_relaxed); }
