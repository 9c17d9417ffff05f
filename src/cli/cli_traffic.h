#pragma once
// The link's traffic on the terminal: with --trace every entry of the tap
// goes to stderr as one line; the counters are printed on request.

#include "link_tap.h"
#include "loop_dispatcher.h"
#include "traffic_text.h"

#include <cstdio>
#include <vector>

class CliTraffic {
public:
    // Drains the tap while `loop` serves.
    CliTraffic(LinkTap& tap, bool trace, LoopDispatcher& loop);
    ~CliTraffic();
    CliTraffic(const CliTraffic&) = delete;
    CliTraffic& operator=(const CliTraffic&) = delete;
    // Prints (or, without --trace, drops) what the tap holds now.
    void Flush();
    // Name and value, tab-separated, one counter a line, then `more`.
    void PrintCounters(std::FILE* out, const std::vector<StatisticsRow>& more = {}) const;

private:
    LinkTap& tap_;
    bool trace_;
    TrafficClock clock_;
    LoopDispatcher& loop_;
    int drain_;
    std::vector<TrafficEntry> batch_;
};
