// The dump against the line's own limit: the simulated meter moves its
// bytes at the line's speed (--wire), and a dump's reads by silence and by
// length at 9600 and 115200 baud are set beside the wire time of their
// requests and answers. By length the dump should come within a few per
// cent of it; by silence each answer also pays its 20 ms of silence.

#include "dump_plan.h"
#include "meter_sim.h"
#include "rtu.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A read request is 8 bytes; its answer 5 bytes and 2 for each register.
double WireMs(std::uint32_t baud)
{
    std::size_t bytes = 0;
    for (const DumpRead& r : DumpReads())
        bytes += 8 + 5 + 2u * r.count;
    return bytes * 10.0 * 1000.0 / baud;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 && std::string(argv[1]) == "--quick" ? 1 : 3;
    MeterSimOptions options;
    options.frozen = true;
    options.wire = true;
    MeterSim sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "wire_bench: %s\n", error.c_str());
        return 1;
    }
    std::printf("A dump of %zu reads on the wire (median of %d), ms:\n", DumpReads().size(), runs);
    std::printf("  %-7s | %-9s | %-26s | %-26s\n", "baud", "wire", "by silence", "by length");
    for (const std::uint32_t baud : {9600u, 115200u}) {
        const double wire = WireMs(baud);
        std::string cells[2];
        for (int fast = 0; fast < 2; ++fast) {
            ModBusRtu rtu;
            rtu.SetFastFraming(fast == 1);
            if (!rtu.Open(sim.PortPath(), baud)) {
                std::fprintf(stderr, "wire_bench: cannot open %s\n", sim.PortPath().c_str());
                return 1;
            }
            std::vector<double> wall;
            int failures = 0;
            for (int run = 0; run < runs; ++run) {
                const auto t0 = Clock::now();
                for (const DumpRead& r : DumpReads()) {
                    try {
                        TransactWithRetry(rtu, 1, ModBusRequest(3, r.start, r.count), 1000);
                    } catch (...) {
                        ++failures;
                    }
                }
                wall.push_back(Ms(Clock::now() - t0));
            }
            std::sort(wall.begin(), wall.end());
            const double median = wall[wall.size() / 2];
            char text[96];
            std::snprintf(text, sizeof text, "%8.1f (%+5.1f %%, %d failed)", median, 100.0 * (median / wire - 1),
                          failures);
            cells[fast] = text;
        }
        std::printf("  %-7u | %9.1f | %-26s | %-26s\n", baud, wire, cells[0].c_str(), cells[1].c_str());
    }
    return 0;
}
