#pragma once
// The traffic tap's entries in words: the frame in hexadecimal, what the
// frame or event is in the tool's own words (Russian for the window, English
// for the terminal), and the trace line of vokctl.

#include "link_statistics.h"
#include "traffic.h"

#include <cstdint>
#include <string>
#include <vector>

enum class TrafficWords { Russian, English };

// Two upper-case hexadecimal digits a byte, separated by single spaces.
std::string FrameHex(const TrafficEntry& entry);

// "→" / "TX" for a request, "←" / "RX" for a frame collected, otherwise the
// event's word.
std::string TrafficDirection(const TrafficEntry& entry, TrafficWords words);

// The frame decoded ("чтение 2000×30", "ответ: 30 регистров",
// "исключение 2: неверный адрес") or the event told ("таймаут").
std::string TrafficSummary(const TrafficEntry& entry, TrafficWords words);

enum class TrafficSeverity { Normal, Notice, Error };
// Errors: time-outs, CRC errors, misfits, exception answers, a lost port.
// Notices: what the channel passed over or dropped, bursts too short for a frame.
TrafficSeverity Severity(const TrafficEntry& entry);

// Milliseconds since the link opened, kept from the entries themselves:
// an Opened entry starts the count again.
class TrafficClock {
public:
    double Ms(const TrafficEntry& entry);

private:
    bool started_ = false;
    std::int64_t originUs_ = 0;
};

// "12.345 TX 01 03 07 D0 00 1E C5 4F read 2000x30".
std::string TraceLine(double ms, const TrafficEntry& entry);

// What a front says when entries were dropped because it fell behind.
std::string DroppedText(std::uint64_t count, TrafficWords words);

// The counters as name and value, in the order a front shows them.
struct StatisticsRow {
    std::string name;
    std::string value;
};
std::vector<StatisticsRow> StatisticsRows(const LinkCounters& counters, TrafficWords words);

// A USB adapter's latency timer as a statistics row.
StatisticsRow LatencyTimerRow(int timerMs, TrafficWords words);
// The advice for a timer that costs framing by silence its time on every
// answer (more than 10 ms): choose fast framing, or lower the timer with
// `lowerCommand` (the adapter's port settings where there is no command).
// Empty with fast framing, or with a timer of 10 ms or less.
std::string LatencyTimerHint(int timerMs, const std::string& lowerCommand, bool fastFraming, TrafficWords words);
