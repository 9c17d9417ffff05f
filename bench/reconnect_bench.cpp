// Coming back after a lost port: the time from the adapter's return (its
// stable name pointing at a working port again) to the first good poll, as
// vokctl log --reconnect waits for it. The simulated meter's port goes away
// and a new one appears under the same link; with attempts every 500 ms the
// wait is up to half a second, the open and the poll add a few milliseconds.
// The wait's own lines ("Ожидание порта", "снова открыт") go to stderr.

#include "link_thread.h"
#include "loop_dispatcher.h"
#include "meter_sim.h"
#include "plain_reg_list.h"
#include "port_return.h"
#include "port_return_wait.h"
#include "post_and_wait.h"
#include "quiet_front.h"
#include "register_map.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::unique_ptr<MeterSim> StartSim()
{
    MeterSimOptions options;
    options.frozen = true;
    auto sim = std::make_unique<MeterSim>(options);
    return sim->Start() ? std::move(sim) : nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 && std::string(argv[1]) == "--quick" ? 2 : 8;
    const fs::path folder = fs::temp_directory_path() / ("vok-reconnect-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path adapter = folder / "usb-Meter_Bridge_42-if00";
    std::unique_ptr<MeterSim> sim = StartSim();
    if (!sim) {
        std::fprintf(stderr, "reconnect_bench: cannot start the simulator\n");
        return 1;
    }
    fs::create_symlink(sim->PortPath(), adapter);

    MeterRegisters registers;
    PlainRegList rows;
    AddRegListRows(registers, rows);
    QuietFront front;
    LoopDispatcher loop;
    TLink1Thread link(registers, front, loop);
    if (!link.OpenLink(adapter.string(), 115200, 200, 1)) {
        std::fprintf(stderr, "reconnect_bench: cannot open %s\n", adapter.c_str());
        return 1;
    }
    const PortReturn port(adapter.string(), 115200, 200, 1);
    std::mt19937 random(7);
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        PostAndWait(link, Poll);
        // Pulled: the next poll finds the port gone.
        sim.reset();
        fs::remove(adapter);
        PostAndWait(link, Poll);
        // Put back at a moment that falls anywhere between two attempts.
        const auto delay = std::chrono::milliseconds(300 + random() % 700);
        std::optional<Clock::time_point> back;
        std::jthread putBack([&] {
            std::this_thread::sleep_for(delay);
            std::unique_ptr<MeterSim> next = StartSim();
            if (!next)
                return;
            fs::create_symlink(next->PortPath(), adapter);
            back = Clock::now();
            sim = std::move(next);
        });
        const PortReturnOutcome outcome = AwaitPortReturn(port, link, loop, 30.0, [] { return false; });
        const int before = front.refreshes;
        PostAndWait(link, Poll);
        const Clock::time_point polled = Clock::now();
        putBack.join();
        if (outcome != PortReturnOutcome::Reopened || front.refreshes != before + 1 || !back) {
            std::printf("run %d: the port did not come back to a good poll\n", run + 1);
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(polled - *back).count());
    }
    link.Stop();
    fs::remove_all(folder);
    std::sort(ms.begin(), ms.end());
    std::printf("From the port's return to the first good poll, %d returns at random moments, ms:\n", runs);
    std::printf("  min %.1f   median %.1f   max %.1f   (attempts every %lld ms)\n", ms.front(), ms[ms.size() / 2],
                ms.back(), static_cast<long long>(PortReturn::kCheckInterval.count()));
    return 0;
}
