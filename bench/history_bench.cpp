// The meters' history: a snapshot's time against the dump's in both framing
// modes (the link thread against vok-meter-sim in a child process), the
// store's size per snapshot, and on a history of 10,000 snapshots of 100
// meters the listing of one meter's snapshots, a diff of two, and the
// rendering of a service report.

#include "bench_support.h"
#include "bench_figures.h"
#include "config_diff.h"
#include "config_reading.h"
#include "history_store.h"
#include "layout_writer.h"
#include "link_thread.h"
#include "loop_dispatcher.h"
#include "meter_config.h"
#include "post_and_wait.h"
#include "quiet_front.h"
#include "register_map.h"
#include "service_report.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double TimeMs(int runs, const std::function<void()>& run)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        run();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return Median(ms);
}

// A front that keeps every configuration read in the store, as the window does.
class StoringFront : public QuietFront {
public:
    explicit StoringFront(HistoryStore& store) : store_(store) {}
    void ConfigurationRead(const ConfigReading& reading) override
    {
        ok = store_.Add(SnapshotOfReading(reading, {"bench", 115200, 200, 1, false})).has_value() && ok;
    }
    bool ok = true;

private:
    HistoryStore& store_;
};

// A meter's configuration with values that differ from meter to meter and
// from visit to visit.
MeterConfig VariedConfig(std::mt19937& random, int meter)
{
    std::uniform_real_distribution<float> value(-100, 100);
    MeterConfig c;
    c.Serial = static_cast<float>(10000 + meter);
    c.FirmwareVersion = 10712;
    c.OilAdjust = value(random);
    c.PDFreq = value(random);
    for (auto& phase : c.Phase) {
        phase.SG1Start = value(random);
        for (auto& salt : phase.Salt) {
            salt.Salt = 50;
            for (float& p : salt.P)
                p = value(random);
        }
    }
    for (auto& set : c.PointSet) {
        set.PCount = 20;
        for (float& p : set.PairP)
            p = value(random);
    }
    return c;
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vok-history-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);

    std::printf("Snapshot against dump (median of %d, ms):\n", quick ? 1 : 5);
    {
        std::string path;
        const SimChild child = StartSimChild(path);
        if (child.pid < 0 || path.empty()) {
            std::fprintf(stderr, "history_bench: cannot start the simulator\n");
            return 1;
        }
        HistoryStore store;
        if (!store.Open((folder / "link.sqlite").string())) {
            std::fprintf(stderr, "history_bench: %s\n", store.FailureMessage().c_str());
            return 1;
        }
        MeterRegisters registers;
        StoringFront front(store);
        LoopDispatcher loop;
        TLink1Thread link(registers, front, loop);
        if (!link.OpenLink(path, 115200, 200, 1)) {
            std::fprintf(stderr, "history_bench: cannot open %s\n", path.c_str());
            return 1;
        }
        front.fileName = (folder / "dump.txt").string();
        for (const bool fast : {false, true}) {
            link.SetFastFraming(fast);
            PostAndWait(link, Poll);
            const double dump = TimeMs(quick ? 1 : 5, [&] { PostAndWait(link, SaveVokParams); });
            const double snapshot = TimeMs(quick ? 1 : 5, [&] { PostAndWait(link, TakeSnapshot); });
            std::printf("  %-22s dump to a file and its snapshot %7.1f   snapshot %7.1f%s\n",
                        fast ? "framing by length:" : "framing by silence:", dump, snapshot,
                        front.ok && front.errors.empty() ? "" : "   (failures!)");
        }
        link.Stop();
        StopSimChild(child);
    }

    const int meters = 100;
    const int perMeter = quick ? 10 : 100;
    const std::string bigPath = (folder / "big.sqlite").string();
    std::mt19937 random(7);
    double addMs = 0;
    {
        HistoryStore store;
        store.Open(bigPath);
        const auto t0 = Clock::now();
        for (int visit = 0; visit < perMeter; ++visit)
            for (int meter = 0; meter < meters; ++meter) {
                Snapshot s;
                s.serial = std::to_string(10000 + meter) + ".000000";
                s.firmware = 10712;
                s.link = {"/dev/ttyUSB0", 115200, 200, 1, false};
                s.kind = visit % 2 ? SnapshotKind::AsLeft : SnapshotKind::AsFound;
                s.config = ParamFileText(VariedConfig(random, meter));
                s.liveValues = std::string(16 * 30, 'v');
                StampNow(s);
                if (!store.Add(s)) {
                    std::fprintf(stderr, "history_bench: %s\n", store.FailureMessage().c_str());
                    return 1;
                }
            }
        addMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        store.IntegrityCheck();
    }
    const int total = meters * perMeter;
    // The last connection has closed: the log is folded into the file.
    std::error_code error;
    const auto size = std::filesystem::file_size(bigPath, error);

    HistoryStore store;
    store.Open(bigPath);
    std::printf("History of %d snapshots of %d meters:\n", total, meters);
    std::printf("  adding, each in its own transaction   %.2f ms per snapshot\n", addMs / total);
    std::printf("  file size                              %.1f KB per snapshot (%.1f MB)\n",
                static_cast<double>(size) / total / 1024, static_cast<double>(size) / 1e6);
    std::size_t listed = 0;
    const double list = TimeMs(21, [&] { listed = store.SnapshotsOfSerial("10042.000000").size(); });
    std::printf("  listing one meter's %zu snapshots      %.2f ms (target < 50)\n", listed, list);
    const auto ids = store.SnapshotsOfSerial("10042.000000");
    std::size_t changes = 0;
    const double diff = TimeMs(21, [&] {
        const auto a = store.Get(ids.front().id);
        const auto b = store.Get(ids.back().id);
        changes = DiffConfigurations(a->config, b->config).changes.size();
    });
    std::printf("  diff of two snapshots (%zu changes)     %.2f ms (target < 50)\n", changes, diff);
    const auto a = store.Get(ids.front().id);
    const auto b = store.Get(ids.back().id);
    std::size_t bytes = 0;
    const double report = TimeMs(21, [&] {
        bytes = ServiceReportHtml(*a, *b, DiffConfigurations(a->config, b->config), {"Иванов", "Куст 5", "2.0"})
                    .size();
    });
    std::printf("  service report as HTML (%zu bytes)   %.2f ms\n", bytes, report);
    std::filesystem::remove_all(folder, error);
    return 0;
}
