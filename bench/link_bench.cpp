// The link thread against vok-meter-sim in a child process, framing by
// silence and by length: poll cycles, idle polling at one poll a second, a
// full parameter dump, its load and the verify of the meter against it;
// beside them the same requests through libmodbus; last, giving up on a
// silent meter and on a lost port.

#include "bench_support.h"
#include "bench_figures.h"
#include "dump_plan.h"
#include "link_thread.h"
#include "loop_dispatcher.h"
#include "plain_reg_list.h"
#include "poll_plan.h"
#include "post_and_wait.h"
#include "quiet_front.h"
#include "register_map.h"

#include <modbus/modbus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSilenceMs = 20.0;
constexpr double kWritePauseMs = 10.0; // after each write of a load
constexpr int kPolls = 30;
constexpr int kIdleSeconds = 30;

// Median wall time and CPU of `runs` runs of `job`.
struct Timing {
    double wallMs = 0;
    double cpuMs = 0;
};
Timing Time(int runs, const std::function<void()>& job)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const double cpu0 = CpuMs();
        const auto t0 = Clock::now();
        job();
        wall.push_back(Ms(Clock::now() - t0));
        cpu.push_back(CpuMs() - cpu0);
    }
    return {Median(wall), Median(cpu)};
}

struct ModeFigures {
    Timing poll, dump, load, verify;
    int writes = 0;
    VerifyResult verified;
    double idleCpuPercent = 0;
    int idlePolls = 0;
};

// Polls, idle polling, the dump and its load in one framing mode.
ModeFigures RunMode(LoopDispatcher& loop, TLink1Thread& link, QuietFront& front, bool fast, bool quick)
{
    ModeFigures f;
    link.SetFastFraming(fast);
    PostAndWait(link, Poll);
    f.poll = Time(kPolls, [&] { PostAndWait(link, Poll); });

    // Idle polling: a timer posts a poll every second, as the window does.
    const int idleSeconds = quick ? 5 : kIdleSeconds;
    const int refreshesBefore = front.refreshes;
    const double idleCpu0 = CpuMs();
    const auto idle0 = Clock::now();
    const int timer = loop.AddPeriodic(std::chrono::seconds(1), [&] { link.PostCommand(Poll); });
    loop.ServeUntil([] { return false; }, idle0 + std::chrono::seconds(idleSeconds));
    loop.RemovePeriodic(timer);
    f.idleCpuPercent = 100.0 * (CpuMs() - idleCpu0) / Ms(Clock::now() - idle0);
    f.idlePolls = front.refreshes - refreshesBefore;

    // A full dump (gate open: 30 reads) and the load of that dump, each
    // timed several times: a single run on a shared machine can catch a
    // scheduling stall of a hundred milliseconds.
    front.fileName = (std::filesystem::temp_directory_path() / "vok-link-bench-dump.txt").string();
    f.dump = Time(quick ? 1 : 5, [&] { PostAndWait(link, SaveVokParams); });
    std::ifstream dumpFile(front.fileName);
    for (std::string line; std::getline(dumpFile, line);)
        f.writes += !line.empty() && line[0] >= '0' && line[0] <= '9';
    f.load = Time(quick ? 1 : 3, [&] { PostAndWait(link, LoadVokParams); });
    if (!front.errors.empty() || front.report.size() != static_cast<std::size_t>(f.writes + 1))
        std::printf("  (unexpected: %zu errors, %zu report lines)\n", front.errors.size(), front.report.size());
    // Verify of that dump, now that the meter holds what the file says.
    f.verify = Time(quick ? 1 : 5, [&] { PostAndWait(link, VerifyVokParams); });
    f.verified = front.verify;
    std::filesystem::remove(front.fileName);
    return f;
}

// The same requests through libmodbus: the poll's reads, the dump's reads,
// and as many writes as the load makes, each followed by its pause.
ModeFigures RunLibmodbus(const std::string& path, int writes, bool quick)
{
    ModeFigures f;
    modbus_t* ctx = modbus_new_rtu(path.c_str(), 115200, 'N', 8, 1);
    if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        std::printf("  (libmodbus cannot open %s)\n", path.c_str());
        return f;
    }
    modbus_set_response_timeout(ctx, 1, 0);
    std::uint16_t regs[125];
    f.poll = Time(kPolls, [&] {
        for (const PollRead& r : kPollReads)
            modbus_read_registers(ctx, r.start, r.count, regs);
    });
    f.dump = Time(quick ? 1 : 5, [&] {
        for (const DumpRead& r : DumpReads())
            modbus_read_registers(ctx, r.start, r.count, regs);
    });
    f.writes = writes;
    f.load = Time(quick ? 1 : 3, [&] {
        for (int i = 0; i <= writes; ++i) {
            modbus_write_register(ctx, 42150, static_cast<std::uint16_t>(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(kWritePauseMs)));
        }
    });
    modbus_close(ctx);
    modbus_free(ctx);
    return f;
}

void PrintFigures(const ModeFigures& silence, const ModeFigures& length, const ModeFigures& theirs)
{
    const auto row = [](const char* name, const Timing& a, const Timing& b, const Timing& c) {
        std::printf("  %-22s | %9.2f %8.3f | %9.2f %8.3f | %9.2f %8.3f\n", name, a.wallMs, a.cpuMs, b.wallMs, b.cpuMs,
                    c.wallMs, c.cpuMs);
    };
    std::printf("Medians, ms (wall, then CPU of this process):\n");
    std::printf("  %-22s | %-18s | %-18s | %-18s\n", "", "by silence", "by length", "libmodbus");
    row("poll (5 reads)", silence.poll, length.poll, theirs.poll);
    row("dump (30 reads)", silence.dump, length.dump, theirs.dump);
    char load[64];
    std::snprintf(load, sizeof load, "load (%d writes + 1)", silence.writes);
    row(load, silence.load, length.load, theirs.load);
    const auto idle = [](const ModeFigures& m) {
        char cell[32];
        std::snprintf(cell, sizeof cell, "%.3f %% CPU, %d polls", m.idleCpuPercent, m.idlePolls);
        return std::string(cell);
    };
    std::printf("  %-22s | %-18s | %-18s |\n", "idle polling, 1 Hz", idle(silence).c_str(), idle(length).c_str());
    std::printf("  %-22s | %9.2f %8.3f | %9.2f %8.3f |\n", "verify of that dump", silence.verify.wallMs,
                silence.verify.cpuMs, length.verify.wallMs, length.verify.cpuMs);
    const VerifyResult& v = silence.verified;
    std::printf("  (verify: %zu values in %zu reads, %s; by silence its floor is %.0f ms)\n", v.compared, v.reads,
                v.outcome == VerifyResult::Outcome::Match ? "all match" : "NOT all match", v.reads * kSilenceMs);

    const double pauses = (silence.writes + 1) * kWritePauseMs;
    std::printf("\nBy silence: poll %.2f ms above 5 x 20 ms; dump %+.1f %% of 30 x 20 ms; load %+.1f %% of "
                "its pauses and silences (%.0f ms)\n",
                silence.poll.wallMs - 5 * kSilenceMs, 100.0 * (silence.dump.wallMs - 30 * kSilenceMs) / (30 * kSilenceMs),
                100.0 * (silence.load.wallMs - (pauses + (silence.writes + 1) * kSilenceMs)) /
                    (pauses + (silence.writes + 1) * kSilenceMs),
                pauses + (silence.writes + 1) * kSilenceMs);
    std::printf("By length: dump %.1f ms (target under 50 ms); load %+.1f %% of its %.0f ms of pauses "
                "(target within 10 %%)\n",
                length.dump.wallMs, 100.0 * (length.load.wallMs - pauses) / pauses, pauses);
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    std::string path;
    const SimChild child = StartSimChild(path);
    if (child.pid < 0 || path.empty()) {
        std::fprintf(stderr, "link_bench: cannot start the simulator\n");
        return 1;
    }
    MeterRegisters registers;
    PlainRegList rows;
    AddRegListRows(registers, rows);
    ModeFigures silence, length, theirs;
    {
        QuietFront front;
        LoopDispatcher loop;
        TLink1Thread link(registers, front, loop);
        if (!link.OpenLink(path, 115200, 200, 1)) {
            std::fprintf(stderr, "link_bench: cannot open %s\n", path.c_str());
            return 1;
        }
        silence = RunMode(loop, link, front, false, quick);
        length = RunMode(loop, link, front, true, quick);
        link.Stop();
    }
    theirs = RunLibmodbus(path, silence.writes, quick);
    StopSimChild(child);
    PrintFigures(silence, length, theirs);

    // Giving up: a poll against a meter that never answers, at the shortest
    // time-out, and against a port that is pulled while the link is open.
    std::printf("\n");
    {
        SilentLine line;
        QuietFront silentFront;
        LoopDispatcher loop;
        TLink1Thread silentLink(registers, silentFront, loop);
        if (!line.path.empty() && silentLink.OpenLink(line.path, 115200, 20, 1)) {
            const auto t0 = Clock::now();
            PostAndWait(silentLink, Poll);
            std::printf("Poll of a silent meter at a 20 ms time-out: message after %.0f ms (%s)\n",
                        Ms(Clock::now() - t0),
                        silentFront.errors.empty() ? "no message" : silentFront.errors.front().c_str());
        }
    }
    {
        SilentLine line;
        QuietFront lostFront;
        LoopDispatcher loop;
        TLink1Thread lostLink(registers, lostFront, loop);
        if (!line.path.empty() && lostLink.OpenLink(line.path, 115200, 200, 1)) {
            line.Vanish();
            const auto t0 = Clock::now();
            PostAndWait(lostLink, Poll);
            std::printf("Poll of a lost port: ended after %.2f ms, link %s (%s)\n", Ms(Clock::now() - t0),
                        lostLink.IsLinkOpen() ? "still open" : "closed",
                        lostFront.errors.empty() ? "no message" : lostFront.errors.front().c_str());
        }
    }
    return 0;
}
