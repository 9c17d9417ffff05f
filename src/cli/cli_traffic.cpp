#include "cli_traffic.h"

namespace {

constexpr std::chrono::milliseconds kDrain{50};

} // namespace

CliTraffic::CliTraffic(LinkTap& tap, bool trace, LoopDispatcher& loop)
    : tap_(tap), trace_(trace), loop_(loop), drain_(loop.AddPeriodic(kDrain, [this] { Flush(); }))
{
}

CliTraffic::~CliTraffic() { loop_.RemovePeriodic(drain_); }

void CliTraffic::Flush()
{
    batch_.clear();
    tap_.Drain(batch_, LinkTap::kQueueCapacity);
    const std::uint64_t dropped = tap_.TakeDropped();
    if (!trace_)
        return;
    for (const TrafficEntry& entry : batch_) {
        const double ms = clock_.Ms(entry);
        std::fprintf(stderr, "%s\n", TraceLine(ms, entry).c_str());
    }
    if (dropped > 0)
        std::fprintf(stderr, "%s\n", DroppedText(dropped, TrafficWords::English).c_str());
    std::fflush(stderr);
}

void CliTraffic::PrintCounters(std::FILE* out, const std::vector<StatisticsRow>& more) const
{
    std::vector<StatisticsRow> rows = StatisticsRows(tap_.Counters(), TrafficWords::English);
    rows.insert(rows.end(), more.begin(), more.end());
    for (const StatisticsRow& row : rows)
        std::fprintf(out, "%s\t%s\n", row.name.c_str(), row.value.c_str());
    std::fflush(out);
}
