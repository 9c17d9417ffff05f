#pragma once
// The link's traffic on the terminal: with --trace every entry of the tap
// goes to stderr as one line; the counters are printed on request.

#include "link_tap.h"
#include "traffic_text.h"

#include <QObject>
#include <QTimer>

#include <cstdio>
#include <vector>

class CliTraffic : public QObject {
public:
    CliTraffic(LinkTap& tap, bool trace);
    // Prints (or, without --trace, drops) what the tap holds now.
    void Flush();
    // Name and value, tab-separated, one counter a line.
    void PrintCounters(std::FILE* out) const;

private:
    LinkTap& tap_;
    bool trace_;
    TrafficClock clock_;
    QTimer timer_;
    std::vector<TrafficEntry> batch_;
};
