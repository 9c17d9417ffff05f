// The finder on the link thread against the simulator, which answers only
// at its own address and speed: where it finds a meter, what it reports,
// an empty line, a speed the port refuses, and a cancel.

#include "link_test_support.h"

#include "pty_pair.h"

#include <QTimer>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class RecordingScanFront : public ScanFront {
public:
    void ScanProgress(const ScanProbe& probe, std::size_t done, std::size_t) override
    {
        probes.push_back(probe);
        if (onProgress)
            onProgress(done);
    }
    void MeterFound(const FoundMeter& meter) override { found.push_back(meter); }
    void ScanEnded(const ScanOutcome& result) override
    {
        outcome = result;
        ended = true;
    }

    std::vector<ScanProbe> probes;
    std::vector<FoundMeter> found;
    ScanOutcome outcome;
    bool ended = false;
    std::function<void(std::size_t)> onProgress;
};

class ScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        link = std::make_unique<TLink1Thread>(regs, front, TestDispatcher());
    }

    // A simulated meter at an address and a speed of its own.
    void StartMeter(std::uint8_t address, std::uint32_t speed)
    {
        MeterSimOptions options;
        options.address = address;
        options.speed = speed;
        sim = StartFrozenSim(options);
        port = sim->PortPath();
    }

    bool Scan(std::vector<ScanProbe> probes, bool all = false)
    {
        ScanRequest request;
        request.port = port;
        request.probes = std::move(probes);
        request.all = all;
        return link->PostScan(std::move(request), scanFront) && WaitUntil([&] { return scanFront.ended; }, 60s);
    }

    MeterRegisters regs;
    RecordingFront front;
    RecordingScanFront scanFront;
    std::unique_ptr<MeterSim> sim;
    std::string port;
    std::unique_ptr<TLink1Thread> link;
};

const FoundMeter kMeter37{37, 19200, "20417.000000", "10712"};

bool operator==(const FoundMeter& a, const FoundMeter& b)
{
    return a.address == b.address && a.baud == b.baud && a.serial == b.serial && a.firmware == b.firmware;
}

} // namespace

TEST_F(ScanTest, FindsTheMeterAtItsOwnAddressAndSpeed)
{
    struct Case {
        const char* name;
        std::vector<std::uint32_t> speeds;
        std::uint8_t first, last;
        std::optional<std::uint32_t> currentSpeed;
        std::optional<std::uint8_t> currentAddress;
        bool all;
        std::size_t probes;
        std::vector<std::uint32_t> refused;
    };
    const Case cases[] = {
        // 115200 at 30..40, then 19200 at 30..37.
        {"two speeds, a range", {115200, 19200}, 30, 40, 115200, 1, false, 11 + 8, {}},
        {"the current settings", {kScanSpeeds.begin(), kScanSpeeds.end()}, 1, 247, 19200, 37, false, 1, {}},
        // Address 37 at 9600, 115200, 57600, 38400, then 19200.
        {"the current address at every speed first", {kScanSpeeds.begin(), kScanSpeeds.end()}, 1, 247, 9600, 37,
         false, 5, {}},
        {"going on after the meter", {19200}, 35, 40, std::nullopt, std::nullopt, true, 6, {}},
        {"a speed the port refuses", {12345, 19200}, 37, 37, std::nullopt, std::nullopt, false, 1, {12345}},
    };
    StartMeter(37, 19200);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scanFront = RecordingScanFront{};
        scanFront.onProgress = [&](std::size_t) {
            // While it scans, the link is the finder's.
            EXPECT_TRUE(link->IsScanning());
            EXPECT_FALSE(link->PostCommand(Poll));
            EXPECT_FALSE(link->OpenLink(port, 19200, 200, 37));
        };
        const std::vector<ScanProbe> order = ScanOrder(c.speeds, c.first, c.last, c.currentSpeed, c.currentAddress);
        ASSERT_TRUE(Scan(order, c.all));
        EXPECT_TRUE(scanFront.outcome.error.empty()) << scanFront.outcome.error;
        EXPECT_FALSE(scanFront.outcome.cancelled);
        ASSERT_EQ(scanFront.found.size(), 1u);
        EXPECT_TRUE(scanFront.found[0] == kMeter37) << FoundMeterLine(scanFront.found[0]);
        ASSERT_EQ(scanFront.outcome.found.size(), 1u);
        EXPECT_EQ(scanFront.outcome.probes, c.probes);
        EXPECT_EQ(scanFront.outcome.refusedSpeeds, c.refused);
        EXPECT_EQ(scanFront.probes.size(), c.probes + c.refused.size());
        for (std::size_t i = 0; i < scanFront.probes.size(); ++i)
            EXPECT_TRUE(scanFront.probes[i] == order[i]) << "probe " << i;
        // The port is free again, for the link or the next scan.
        EXPECT_FALSE(link->IsScanning());
        EXPECT_FALSE(link->IsLinkOpen());
    }
    ASSERT_TRUE(link->OpenLink(port, 19200, 200, 37));
    ScanRequest again;
    again.port = port;
    again.probes = {{19200, 37}};
    EXPECT_FALSE(link->PostScan(std::move(again), scanFront)) << "the link is open";
}

TEST_F(ScanTest, AnEmptyLineHasNoMeter)
{
    PtyPair line;
    port = line.SlavePath();
    LinkTap& tap = link->WatchTraffic();
    ASSERT_TRUE(Scan(ScanOrder({9600, 4800}, 1, 5, std::nullopt, std::nullopt)));
    EXPECT_TRUE(scanFront.found.empty());
    EXPECT_TRUE(scanFront.outcome.error.empty());
    EXPECT_EQ(scanFront.outcome.probes, 10u);
    // Each probe is one request that timed out; each speed was opened once.
    const LinkCounters n = tap.Counters();
    EXPECT_EQ(n.requests, 10u);
    EXPECT_EQ(n.timeOuts, 10u);
    std::vector<TrafficEntry> entries;
    tap.Drain(entries, 100);
    std::vector<std::int64_t> opened;
    for (const TrafficEntry& e : entries)
        if (e.kind == TrafficKind::Opened)
            opened.push_back(e.detail);
    EXPECT_EQ(opened, (std::vector<std::int64_t>{9600, 4800}));
}

TEST_F(ScanTest, ACancelEndsTheScanAtOnce)
{
    PtyPair line;
    port = line.SlavePath();
    Clock::time_point cancelled{};
    scanFront.onProgress = [&](std::size_t done) {
        if (done == 5) {
            // From the front's loop, while the sixth probe waits.
            QTimer::singleShot(10, [&] {
                cancelled = Clock::now();
                link->CancelScan();
            });
        }
    };
    const std::vector<ScanProbe> all = ScanOrder(std::vector<std::uint32_t>(kScanSpeeds.begin(), kScanSpeeds.end()),
                                                 kFirstScanAddress, kLastScanAddress, std::nullopt, std::nullopt);
    ASSERT_EQ(all.size(), 6u * 247u);
    ASSERT_TRUE(Scan(all));
    const auto took = Clock::now() - cancelled;
    EXPECT_TRUE(scanFront.outcome.cancelled);
    EXPECT_TRUE(scanFront.found.empty());
    EXPECT_LE(scanFront.outcome.probes, 7u);
    EXPECT_LT(took, 2s) << "a full scan takes over a minute; a cancel must not wait for it";
    EXPECT_FALSE(link->IsScanning());
    EXPECT_FALSE(link->IsLinkOpen());
}
