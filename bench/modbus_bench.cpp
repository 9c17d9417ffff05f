// Time and CPU cost of one poll transaction on our RTU channel (with and
// without the traffic tap as its observer) and, for comparison, on
// libmodbus, both against vok-meter-sim running in a child process on a pty;
// the cost of one entry handed to the tap; and the CPU use of an open idle
// channel.

#include "bench_support.h"
#include "link_tap.h"
#include "meter_sim.h"
#include "rtu.h"

#include <modbus/modbus.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTransactions = 40;    // per request and channel
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

template <class F>
Figures Measure(F&& transact)
{
    transact(); // warm-up
    std::vector<double> wall;
    Figures f;
    const double cpu0 = CpuMs();
    for (int i = 0; i < kTransactions; ++i) {
        const auto t0 = Clock::now();
        if (!transact())
            ++f.failures;
        wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    f.cpuMs = (CpuMs() - cpu0) / kTransactions;
    std::sort(wall.begin(), wall.end());
    f.medianMs = wall[wall.size() / 2];
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

} // namespace

int main()
{
    std::string path;
    const SimChild child = StartSimChild(path);
    if (child.pid < 0 || path.empty()) {
        std::fprintf(stderr, "modbus_bench: cannot start the simulator\n");
        return 1;
    }

    std::vector<Figures> ours, tapped, theirs;
    std::uint64_t tapDropped = 0;
    for (const bool watched : {false, true}) {
        LinkTap tap;
        ModBusRtu rtu;
        std::unique_ptr<Drainer> drainer;
        if (watched) {
            rtu.SetObserver(&tap);
            drainer = std::make_unique<Drainer>(tap);
        }
        if (!rtu.Open(path, 115200)) {
            std::fprintf(stderr, "modbus_bench: cannot open %s\n", path.c_str());
            return 1;
        }
        for (const Block& b : kPoll) {
            ModBusRequest request(3, b.start, b.count);
            (watched ? tapped : ours).push_back(Measure([&] {
                try {
                    rtu.Transact(1, request, 1000);
                    return rtu.length == 2u + 2u * b.count;
                } catch (...) {
                    return false;
                }
            }));
        }
        rtu.Close();
        tapDropped += tap.TakeDropped();
    }
    {
        modbus_t* ctx = modbus_new_rtu(path.c_str(), 115200, 'N', 8, 1);
        if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
            std::fprintf(stderr, "modbus_bench: libmodbus cannot open %s\n", path.c_str());
            return 1;
        }
        modbus_set_response_timeout(ctx, 1, 0);
        std::uint16_t regs[125];
        for (const Block& b : kPoll)
            theirs.push_back(Measure([&] { return modbus_read_registers(ctx, b.start, b.count, regs) == b.count; }));
        modbus_close(ctx);
        modbus_free(ctx);
    }
    double idleCpuMs = 0;
    {
        ModBusRtu rtu;
        if (rtu.Open(path, 115200)) {
            const double cpu0 = CpuMs();
            std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
            idleCpuMs = CpuMs() - cpu0;
        }
    }

    std::printf("Poll transactions against vok-meter-sim on a pty, %d per request (median wall time;\n"
                "CPU = user+sys of this process per transaction; overhead = median - %.0f ms silence)\n\n",
                kTransactions, kSilenceMs);
    std::printf("%-16s | %-29s | %-19s\n", "request", "ModBusRtu::Transact", "modbus_read_registers");
    std::printf("%-16s | %8s %9s %9s | %8s %9s\n", "start x count", "median", "overhead", "CPU", "median", "CPU");
    std::printf("-----------------+-------------------------------+----------------------\n");
    int failures = 0;
    for (std::size_t i = 0; i < std::size(kPoll); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%u x %u", kPoll[i].start, kPoll[i].count);
        std::printf("%-16s | %6.2fms %7.2fms %7.3fms | %6.3fms %7.3fms\n", name, ours[i].medianMs,
                    ours[i].medianMs - kSilenceMs, ours[i].cpuMs, theirs[i].medianMs, theirs[i].cpuMs);
        failures += ours[i].failures + theirs[i].failures;
    }
    std::printf("\nThe same with the traffic tap as observer (drained every 200 ms, %llu entries dropped):\n",
                static_cast<unsigned long long>(tapDropped));
    std::printf("%-16s | %8s %9s | %s\n", "start x count", "median", "CPU", "CPU - CPU without the tap");
    for (std::size_t i = 0; i < std::size(kPoll); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%u x %u", kPoll[i].start, kPoll[i].count);
        std::printf("%-16s | %6.2fms %7.3fms | %+8.1f us (3 entries: request, frame, answer)\n", name,
                    tapped[i].medianMs, tapped[i].cpuMs, 1000.0 * (tapped[i].cpuMs - ours[i].cpuMs));
        failures += tapped[i].failures;
    }
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
    return failures ? 1 : 0;
}
