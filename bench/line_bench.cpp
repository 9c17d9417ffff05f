// The RTU channel on a line it does not have to itself: the poll's five reads
// and a full dump's reads, each with the retry policy, against a meter
// written apart from the project (tests/support/raw_meter.h) on a clean
// line, on a line another master shares to poll meter 2 every 100 ms, and
// on a line with a burst of noise every 100 ms; framing by silence and by
// length. Last, what looking for an echo costs on a line without one.

#include "bench_figures.h"
#include "dump_plan.h"
#include "poll_plan.h"
#include "raw_meter.h"
#include "rtu.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Median(int runs, const std::function<void()>& job)
{
    std::vector<double> wall;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        job();
        wall.push_back(Ms(Clock::now() - t0));
    }
    std::sort(wall.begin(), wall.end());
    return wall[wall.size() / 2];
}

struct Figures {
    double pollMs = 0, dumpMs = 0;
    int failures = 0;
};

// One transaction with the retry policy; a failure is counted, not thrown.
void Read(ModBusRtu& rtu, std::uint16_t start, std::uint16_t count, int& failures)
{
    const ModBusRequest request(3, start, count);
    try {
        TransactWithRetry(rtu, 1, request, 200);
    } catch (...) {
        ++failures;
    }
}

Figures Run(const RawMeter::Behaviour& line, bool fast, int polls, int dumps)
{
    Figures f;
    RawMeter meter(line);
    ModBusRtu rtu;
    rtu.SetFastFraming(fast);
    if (!rtu.Open(meter.Path(), 115200)) {
        std::fprintf(stderr, "line_bench: cannot open %s\n", meter.Path().c_str());
        return f;
    }
    const auto poll = [&] {
        for (const PollRead& r : kPollReads)
            Read(rtu, r.start, r.count, f.failures);
    };
    poll();
    f.pollMs = Median(polls, poll);
    f.dumpMs = Median(dumps, [&] {
        for (const DumpRead& r : DumpReads())
            Read(rtu, r.start, r.count, f.failures);
    });
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const int polls = quick ? 3 : 10, dumps = quick ? 1 : 9;
    RawMeter::Behaviour clean, shared, noisy;
    shared.otherMasterEveryMs = 100;
    noisy.noiseEveryMs = 100;
    std::printf("Medians, ms: poll (5 reads), dump (%zu reads); failed transactions in brackets\n",
                DumpReads().size());
    std::printf("  %-9s | %-28s | %-28s\n", "", "by silence", "by length");
    const struct {
        const char* name;
        const RawMeter::Behaviour& line;
    } lines[] = {{"clean", clean}, {"shared", shared}, {"noise", noisy}};
    Figures base[2];
    for (const auto& l : lines) {
        Figures f[2];
        for (int mode = 0; mode < 2; ++mode) {
            f[mode] = Run(l.line, mode == 1, polls, dumps);
            if (&l.line == &clean)
                base[mode] = f[mode];
        }
        const auto cell = [&](int m) {
            char text[64];
            std::snprintf(text, sizeof text, "%8.1f %9.1f (%d) x%.2f/x%.2f", f[m].pollMs, f[m].dumpMs,
                          f[m].failures, f[m].pollMs / base[m].pollMs, f[m].dumpMs / base[m].dumpMs);
            return std::string(text);
        };
        std::printf("  %-9s | %-28s | %-28s\n", l.name, cell(0).c_str(), cell(1).c_str());
    }

    // The echo filter: the same clean line with the echo off and auto (which
    // learns at the first read that there is none), by length, where any
    // cost would show.
    double echoMs[2];
    for (int auto_ = 0; auto_ < 2; ++auto_) {
        RawMeter meter({});
        ModBusRtu rtu;
        rtu.SetFastFraming(true);
        rtu.SetEcho(auto_ ? EchoMode::Auto : EchoMode::Off);
        if (!rtu.Open(meter.Path(), 115200))
            return 1;
        int failures = 0;
        const auto poll = [&] {
            for (int i = 0; i < 20; ++i)
                for (const PollRead& r : kPollReads)
                    Read(rtu, r.start, r.count, failures);
        };
        poll();
        echoMs[auto_] = Median(quick ? 3 : 9, poll) / (20.0 * kPollReads.size());
    }
    std::printf("\nOne read by length on a line without echo: %.4f ms echo off, %.4f ms echo auto\n", echoMs[0],
                echoMs[1]);
    return 0;
}
