// The dump against the line's own limit: the simulated meter moves its
// bytes at the line's speed (--wire), and a dump's reads by silence and by
// length at 9600 and 115200 baud are set beside the wire time of their
// requests and answers, and beside the same reads through libmodbus, a
// master that also frames its answers by length: what it takes beyond the
// wire time is the meter's own turnaround (the simulator's wake-ups), which
// every master pays. By length the dump should come within a few per cent
// of that; by silence each answer also pays its 20 ms of silence.

#include "dump_plan.h"
#include "bench_figures.h"
#include "meter_sim.h"
#include "rtu.h"

#include <modbus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A read request is 8 bytes; its answer 5 bytes and 2 for each register.
double WireMs(std::uint32_t baud)
{
    std::size_t bytes = 0;
    for (const DumpRead& r : DumpReads())
        bytes += 8 + 5 + 2u * r.count;
    return bytes * 10.0 * 1000.0 / baud;
}

// The dump's reads through libmodbus; empty when it cannot open the port.
std::vector<double> LibmodbusDumps(const std::string& path, std::uint32_t baud, int runs, int& failures)
{
    std::vector<double> wall;
    modbus_t* ctx = modbus_new_rtu(path.c_str(), static_cast<int>(baud), 'N', 8, 1);
    if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        if (ctx)
            modbus_free(ctx);
        return wall;
    }
    modbus_set_response_timeout(ctx, 1, 0);
    std::uint16_t regs[125];
    for (int run = 0; run < runs; ++run) {
        const auto t0 = Clock::now();
        for (const DumpRead& r : DumpReads())
            if (modbus_read_registers(ctx, r.start, r.count, regs) != r.count)
                ++failures;
        wall.push_back(Ms(Clock::now() - t0));
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return wall;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 && std::string(argv[1]) == "--quick" ? 1 : 5;
    MeterSimOptions options;
    options.frozen = true;
    options.wire = true;
    MeterSim sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "wire_bench: %s\n", error.c_str());
        return 1;
    }
    std::printf("A dump of %zu reads on the wire (median of %d), ms; libmodbus against the wire time,\n"
                "ours against libmodbus:\n",
                DumpReads().size(), runs);
    std::printf("  %-7s | %-9s | %-28s | %-28s | %-28s\n", "baud", "wire", "libmodbus", "by silence", "by length");
    for (const std::uint32_t baud : {9600u, 115200u}) {
        const double wire = WireMs(baud);
        int referenceFailures = 0;
        const std::vector<double> reference = LibmodbusDumps(sim.PortPath(), baud, runs, referenceFailures);
        if (reference.empty()) {
            std::fprintf(stderr, "wire_bench: libmodbus cannot open %s\n", sim.PortPath().c_str());
            return 1;
        }
        const double floor = Median(reference);
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
            const double median = Median(wall);
            char text[96];
            std::snprintf(text, sizeof text, "%8.1f (%+5.1f %%, %d failed)", median, 100.0 * (median / floor - 1),
                          failures);
            cells[fast] = text;
        }
        char reference_text[96];
        std::snprintf(reference_text, sizeof reference_text, "%8.1f (%+5.1f %%, %d failed)", floor,
                      100.0 * (floor / wire - 1), referenceFailures);
        std::printf("  %-7u | %9.1f | %-28s | %-28s | %-28s\n", baud, wire, reference_text, cells[0].c_str(),
                    cells[1].c_str());
    }
    return 0;
}
