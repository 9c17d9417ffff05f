// Time and CPU cost of one poll transaction on our RTU channel, framing by
// silence and by length, on a pty (also with the traffic tap as its
// observer) and over a TCP loopback connection, and, for comparison, on
// libmodbus on the pty, all against vok-meter-sim running in a child
// process; the cost of one entry handed to the tap; and the CPU use of an
// open idle channel.

#include "bench_support.h"
#include "bench_figures.h"
#include "link_tap.h"
#include "meter_sim.h"
#include "rtu.h"

#include <modbus/modbus.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTransactions = 100;   // per request and channel
constexpr int kIdleSeconds = 3;
constexpr double kSilenceMs = 20.0;  // the line silence that ends a frame for our reader

struct Block {
    std::uint16_t start;
    std::uint16_t count;
};
constexpr Block kPoll[] = {{2000, 30}, {53011, 16}, {53300, 30}, {53600, 30}, {42100, 2}};

struct Figures {
    double medianMs = 0;
    double cpuMs = 0;
    int failures = 0;
};

// One way of running the poll's reads, a column of the table.
struct Column {
    std::string name;
    double floorMs; // what the framing itself costs per transaction
    std::vector<Figures> rows;
};

// Medians of wall time and CPU per transaction: a transaction that met a
// busy machine (others share it) does not move them.
template <class F>
Figures Measure(F&& transact)
{
    transact(); // warm-up
    std::vector<double> wall, cpu;
    Figures f;
    for (int i = 0; i < kTransactions; ++i) {
        const double cpu0 = CpuMs();
        const auto t0 = Clock::now();
        if (!transact())
            ++f.failures;
        wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        cpu.push_back(CpuMs() - cpu0);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    f.medianMs = wall[wall.size() / 2];
    f.cpuMs = cpu[cpu.size() / 2];
    return f;
}

// Wall time of TransactWithRetry until it gives up, in ms.
double GiveUpMs(ModBusRtu& rtu, std::uint32_t timeoutMs, int& code)
{
    ModBusRequest request(3, 2000, 30);
    const auto t0 = Clock::now();
    try {
        TransactWithRetry(rtu, 1, request, timeoutMs);
        code = 0;
    } catch (ModBusRtu::error_t e) {
        code = e;
    } catch (ModBusPdu::error_t e) {
        code = 100 + e;
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Takes the tap's entries as the window does, every 200 ms.
class Drainer {
public:
    explicit Drainer(LinkTap& tap) : tap_(tap), thread_([this] { Run(); }) {}
    ~Drainer()
    {
        stop_ = true;
        thread_.join();
    }

private:
    void Run()
    {
        std::vector<TrafficEntry> entries;
        while (!stop_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            entries.clear();
            tap_.Drain(entries, LinkTap::kQueueCapacity);
        }
    }
    LinkTap& tap_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// What the channel does for each entry when it has an observer: take the
// time, fill an entry with the frame, hand it over; in ns.
double EntryCostNs(std::size_t frameBytes)
{
    constexpr int kBatches = 200;
    constexpr int kPerBatch = 1000; // well within the queue, drained between batches
    LinkTap tap;
    std::uint8_t frame[kTrafficBytes] = {1, 3, 60};
    std::vector<TrafficEntry> sink;
    Clock::duration spent{};
    for (int b = 0; b < kBatches; ++b) {
        const auto t0 = Clock::now();
        for (int i = 0; i < kPerBatch; ++i) {
            TrafficEntry entry;
            entry.timeUs = TrafficMicros(Clock::now());
            entry.kind = i % 2 ? TrafficKind::Frame : TrafficKind::Request;
            entry.SetBytes(frame, frameBytes);
            tap.OnTraffic(entry);
        }
        spent += Clock::now() - t0;
        sink.clear();
        tap.Drain(sink, LinkTap::kQueueCapacity);
    }
    return std::chrono::duration<double, std::nano>(spent).count() / (kBatches * kPerBatch);
}

void ReportGivingUp()
{
    std::printf("\nGiving up (TransactWithRetry, read 2000 x 30):\n");
    for (std::uint32_t timeout : {20u, 100u}) {
        SilentLine line;
        ModBusRtu rtu;
        int code = 0;
        if (line.path.empty() || !rtu.Open(line.path, 115200))
            continue;
        const double ms = GiveUpMs(rtu, timeout, code);
        std::printf("  silent meter, time-out %3u ms: %8.1f ms (code %d; 102 time-outs are %u ms)\n", timeout, ms,
                    code, 102 * timeout);
    }
    {
        SilentLine line;
        ModBusRtu rtu;
        int code = 0;
        if (!line.path.empty() && rtu.Open(line.path, 115200)) {
            line.Vanish();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const double ms = GiveUpMs(rtu, 200, code);
            std::printf("  port lost before the request:   %8.3f ms (code %d)\n", ms, code);
        }
    }
    {
        SilentLine line;
        ModBusRtu rtu;
        int code = 0;
        if (!line.path.empty() && rtu.Open(line.path, 115200)) {
            std::thread pull([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                line.Vanish();
            });
            const double ms = GiveUpMs(rtu, 200, code);
            pull.join();
            std::printf("  port lost 50 ms into waiting:   %8.3f ms after the loss (code %d)\n", ms - 50, code);
        }
    }
}

// Our channel's transactions for every poll block on `port`.
// With `tapDropped`, the traffic tap watches the channel and a thread drains
// it as the window would; what it had to drop is added there.
bool MeasureOurs(const std::string& port, bool fast, Column& column, std::uint64_t* tapDropped = nullptr)
{
    LinkTap tap;
    ModBusRtu rtu;
    rtu.SetFastFraming(fast);
    std::unique_ptr<Drainer> drainer;
    if (tapDropped) {
        rtu.SetObserver(&tap);
        drainer = std::make_unique<Drainer>(tap);
    }
    if (!rtu.Open(port, 115200)) {
        std::fprintf(stderr, "modbus_bench: cannot open %s\n", port.c_str());
        return false;
    }
    for (const Block& b : kPoll) {
        ModBusRequest request(3, b.start, b.count);
        column.rows.push_back(Measure([&] {
            try {
                rtu.Transact(1, request, 1000);
                return rtu.length == 2u + 2u * b.count;
            } catch (...) {
                return false;
            }
        }));
    }
    rtu.Close();
    drainer.reset();
    if (tapDropped)
        *tapDropped += tap.TakeDropped();
    return true;
}

bool MeasureLibmodbus(const std::string& path, Column& column)
{
    modbus_t* ctx = modbus_new_rtu(path.c_str(), 115200, 'N', 8, 1);
    if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "modbus_bench: libmodbus cannot open %s\n", path.c_str());
        return false;
    }
    modbus_set_response_timeout(ctx, 1, 0);
    std::uint16_t regs[125];
    for (const Block& b : kPoll)
        column.rows.push_back(Measure([&] { return modbus_read_registers(ctx, b.start, b.count, regs) == b.count; }));
    modbus_close(ctx);
    modbus_free(ctx);
    return true;
}

// The median over the poll's requests of a figure of a column.
double Overall(const Column& c, double Figures::*figure)
{
    std::vector<double> v;
    for (const Figures& f : c.rows)
        v.push_back(f.*figure);
    return Median(v);
}

int PrintTable(const std::vector<Column>& columns)
{
    std::printf("Poll transactions against vok-meter-sim, %d per request and column (medians of wall\n"
                "time and of CPU = user+sys of this process, per transaction, in ms)\n\n",
                kTransactions);
    std::printf("%-14s", "start x count");
    for (const Column& c : columns)
        std::printf(" | %-19s", c.name.c_str());
    std::printf("\n%-14s", "");
    for (std::size_t i = 0; i < columns.size(); ++i)
        std::printf(" | %8s %10s", "median", "CPU");
    std::printf("\n");
    int failures = 0;
    for (std::size_t r = 0; r < std::size(kPoll); ++r) {
        char name[32];
        std::snprintf(name, sizeof name, "%u x %u", kPoll[r].start, kPoll[r].count);
        std::printf("%-14s", name);
        for (const Column& c : columns) {
            std::printf(" | %8.3f %10.4f", c.rows[r].medianMs, c.rows[r].cpuMs);
            failures += c.rows[r].failures;
        }
        std::printf("\n");
    }
    std::printf("\nOverhead above the framing floor (median over the requests):\n");
    for (const Column& c : columns)
        std::printf("  %-19s %8.3f ms above %4.0f ms; CPU %.4f ms\n", c.name.c_str(),
                    Overall(c, &Figures::medianMs) - c.floorMs, c.floorMs, Overall(c, &Figures::cpuMs));
    return failures;
}

} // namespace

int main()
{
    std::string path, tcpPort;
    const SimChild child = StartSimChild(path);
    const SimChild tcpChild = StartSimChild(tcpPort, {}, true);
    if (child.pid < 0 || path.empty() || tcpChild.pid < 0 || tcpPort.empty()) {
        std::fprintf(stderr, "modbus_bench: cannot start the simulator\n");
        return 1;
    }

    std::vector<Column> columns = {
        {"pty by silence", kSilenceMs, {}}, {"pty by length", 0, {}}, {"pty silence+tap", kSilenceMs, {}},
        {"TCP by silence", kSilenceMs, {}}, {"TCP by length", 0, {}}, {"libmodbus pty", 0, {}},
    };
    std::uint64_t tapDropped = 0;
    if (!MeasureOurs(path, false, columns[0]) || !MeasureOurs(path, true, columns[1]) ||
        !MeasureOurs(path, false, columns[2], &tapDropped) || !MeasureOurs(tcpPort, false, columns[3]) ||
        !MeasureOurs(tcpPort, true, columns[4]) || !MeasureLibmodbus(path, columns[5]))
        return 1;

    double idleCpuMs = 0;
    {
        ModBusRtu rtu;
        if (rtu.Open(path, 115200)) {
            const double cpu0 = CpuMs();
            std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
            idleCpuMs = CpuMs() - cpu0;
        }
    }

    const int failures = PrintTable(columns);
    const Column& fast = columns[1];
    const Column& theirs = columns[5];
    std::printf("\nFast framing on the pty against libmodbus: wall %+.3f ms (target at most +0.2 ms), "
                "CPU %.2fx (target at most 2x)\n",
                Overall(fast, &Figures::medianMs) - Overall(theirs, &Figures::medianMs),
                Overall(fast, &Figures::cpuMs) / Overall(theirs, &Figures::cpuMs));
    std::printf("The tap as observer was drained every 200 ms (%llu entries dropped); 3 entries a transaction\n",
                static_cast<unsigned long long>(tapDropped));
    EntryCostNs(8); // warm-up
    const double shortNs = EntryCostNs(8), longNs = EntryCostNs(256);
    std::printf("One entry handed to the tap (time, entry, statistics, queue): %.0f ns for a 8-byte frame, "
                "%.0f ns for a 256-byte frame; without an observer the channel tests one pointer\n",
                shortNs, longNs);
    std::printf("\nIdle open ModBusRtu channel: %.2f ms CPU in %d s (%.3f%% of one core)\n", idleCpuMs,
                kIdleSeconds, idleCpuMs / (kIdleSeconds * 10.0));
    if (failures)
        std::printf("Failed transactions: %d\n", failures);
    ReportGivingUp();

    StopSimChild(child);
    StopSimChild(tcpChild);
    return failures ? 1 : 0;
}
