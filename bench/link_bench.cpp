// The link thread against vok-meter-sim in a child process: poll cycles,
// idle polling at one poll a second, a full parameter dump, its load and
// the verify of the meter against it.

#include "bench_support.h"
#include "link_thread.h"
#include "plain_reg_list.h"
#include "post_and_wait.h"
#include "quiet_front.h"
#include "register_map.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSilenceMs = 20.0;
constexpr int kPolls = 30;
constexpr int kIdleSeconds = 30;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Posts a command and serves its steps until it has ended; its wall time.
double RunCommand(TLink1Thread& link, int command)
{
    const auto t0 = Clock::now();
    PostAndWait(link, command);
    return Ms(Clock::now() - t0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
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
    QuietFront front;
    TLink1Thread link(registers, front);
    if (!link.OpenLink(path, 115200, 200, 1)) {
        std::fprintf(stderr, "link_bench: cannot open %s\n", path.c_str());
        return 1;
    }

    // Back-to-back polls.
    RunCommand(link, Poll);
    std::vector<double> wall;
    const double cpu0 = CpuMs();
    for (int i = 0; i < kPolls; ++i)
        wall.push_back(RunCommand(link, Poll));
    const double cpuPerPoll = (CpuMs() - cpu0) / kPolls;
    std::sort(wall.begin(), wall.end());
    const double median = wall[wall.size() / 2];
    std::printf("Poll (5 reads, 108 registers), %d cycles:\n", kPolls);
    std::printf("  median wall %.2f ms, overhead above 5 x 20 ms silence %.2f ms, CPU %.3f ms per poll\n",
                median, median - 5 * kSilenceMs, cpuPerPoll);

    // Idle polling: a timer posts a poll every second, as the window does.
    const int idleSeconds = quick ? 5 : kIdleSeconds;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { link.PostCommand(Poll); });
    const int refreshesBefore = front.refreshes;
    const double idleCpu0 = CpuMs();
    const auto idle0 = Clock::now();
    timer.start(1000);
    QTimer::singleShot(idleSeconds * 1000, &app, [&] { app.quit(); });
    app.exec();
    timer.stop();
    const double idleCpu = CpuMs() - idleCpu0;
    const double idleWall = Ms(Clock::now() - idle0);
    std::printf("Polling once a second for %d s: %d polls, CPU %.1f ms = %.3f %% of one core\n", idleSeconds,
                front.refreshes - refreshesBefore, idleCpu, 100.0 * idleCpu / idleWall);

    // A full dump (gate open: 30 reads) and the load of that dump, each
    // timed several times: a single run on a shared machine can catch a
    // scheduling stall of a hundred milliseconds.
    const auto dir = std::filesystem::temp_directory_path();
    front.fileName = (dir / "vok-link-bench-dump.txt").string();
    const auto medianOf = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::vector<double> dumps;
    for (int i = 0; i < (quick ? 1 : 5); ++i)
        dumps.push_back(RunCommand(link, SaveVokParams));
    std::ifstream dumpFile(front.fileName);
    int writes = 0;
    for (std::string line; std::getline(dumpFile, line);)
        writes += !line.empty() && line[0] >= '0' && line[0] <= '9';
    const double dumpMs = medianOf(dumps);
    std::string each;
    for (double d : dumps)
        each += " " + std::to_string(static_cast<int>(d));
    const double dumpFloor = 30 * kSilenceMs;
    std::printf("Dump, 30 reads: median %.0f ms (runs:%s ms), floor %.0f ms (%+.1f %%)\n", dumpMs, each.c_str(),
                dumpFloor, 100.0 * (dumpMs - dumpFloor) / dumpFloor);
    std::vector<double> loads;
    for (int i = 0; i < (quick ? 1 : 3); ++i)
        loads.push_back(RunCommand(link, LoadVokParams));
    const double loadMs = medianOf(loads);
    const double loadFloor = (writes + 1) * kSilenceMs + writes * 10.0;
    std::printf("Load of that dump, %d writes and the final command: median %.0f ms of %zu, floor %.0f ms "
                "(%+.1f %%)\n",
                writes, loadMs, loads.size(), loadFloor, 100.0 * (loadMs - loadFloor) / loadFloor);
    if (!front.errors.empty() || front.report.size() != static_cast<std::size_t>(writes + 1))
        std::printf("  (unexpected: %zu errors, %zu report lines)\n", front.errors.size(), front.report.size());

    // Verify of that dump, now that the meter holds what the file says.
    std::vector<double> verifies;
    for (int i = 0; i < (quick ? 1 : 5); ++i)
        verifies.push_back(RunCommand(link, VerifyVokParams));
    const VerifyResult& v = front.verify;
    std::printf("Verify of that dump, %zu values in %zu reads: median %.0f ms of %zu, floor %.0f ms (%s)\n",
                v.compared, v.reads, medianOf(verifies), verifies.size(), v.reads * kSilenceMs,
                v.outcome == VerifyResult::Outcome::Match ? "all match" : "NOT all match");
    std::filesystem::remove(front.fileName);

    link.Stop();
    StopSimChild(child);

    // Giving up: a poll against a meter that never answers, at the shortest
    // time-out, and against a port that is pulled while the link is open.
    {
        SilentLine line;
        QuietFront silentFront;
        TLink1Thread silentLink(registers, silentFront);
        if (!line.path.empty() && silentLink.OpenLink(line.path, 115200, 20, 1)) {
            const double ms = RunCommand(silentLink, Poll);
            std::printf("Poll of a silent meter at a 20 ms time-out: message after %.0f ms (%s)\n", ms,
                        silentFront.errors.empty() ? "no message" : silentFront.errors.front().c_str());
        }
    }
    {
        SilentLine line;
        QuietFront lostFront;
        TLink1Thread lostLink(registers, lostFront);
        if (!line.path.empty() && lostLink.OpenLink(line.path, 115200, 200, 1)) {
            line.Vanish();
            const double ms = RunCommand(lostLink, Poll);
            std::printf("Poll of a lost port: ended after %.2f ms, link %s (%s)\n", ms,
                        lostLink.IsLinkOpen() ? "still open" : "closed",
                        lostFront.errors.empty() ? "no message" : lostFront.errors.front().c_str());
        }
    }
    return 0;
}
