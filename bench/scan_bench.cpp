// The finder's full scan (6 speeds x 247 addresses, the settings' 115200 and
// address 1 first) on the link thread: against a line with no meter, and
// against a simulated meter (in a child process) at the last speed and
// address of the order, 4800 baud and address 247; and the time to find a
// meter at the current settings.

#include "bench_support.h"
#include "link_thread.h"
#include "post_and_wait.h"
#include "quiet_front.h"
#include "register_map.h"
#include "scan_front.h"

#include "loop_dispatcher.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

class CountingScanFront : public ScanFront {
public:
    void ScanProgress(const ScanProbe&, std::size_t, std::size_t) override {}
    void MeterFound(const FoundMeter& meter) override { found = FoundMeterLine(meter); }
    void ScanEnded(const ScanOutcome& result) override { outcome = result; }
    std::string found;
    ScanOutcome outcome;
};

void Scan(const char* what, const std::string& port, std::uint32_t speed, std::uint8_t address)
{
    MeterRegisters registers;
    QuietFront front;
    LoopDispatcher loop;
    TLink1Thread link(registers, front, loop);
    CountingScanFront scanFront;
    ScanRequest request;
    request.port = port;
    request.probes = ScanOrder(DefaultScanSpeeds(speed), kFirstScanAddress, kLastScanAddress, speed, address);
    const auto t0 = Clock::now();
    PostAndWait(link, LinkCommand::FindMeter, [&] { return link.PostScan(std::move(request), scanFront); });
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("%-50s %7.2f s, %4zu probes (%.1f ms each)%s%s%s\n", what, s, scanFront.outcome.probes,
                scanFront.outcome.probes ? 1000.0 * s / static_cast<double>(scanFront.outcome.probes) : 0.0,
                scanFront.found.empty() ? ", none found" : ", found: ", scanFront.found.c_str(),
                scanFront.outcome.error.empty() ? "" : (", " + scanFront.outcome.error).c_str());
}

} // namespace

int main()
{
    std::printf("Scans on a pty, the order starting at 115200 baud and address 1\n");
    const auto scanMeter = [](const char* what, std::uint32_t speed, std::uint8_t address) {
        std::string path;
        MeterSimOptions options;
        options.address = address;
        options.speed = speed;
        const SimChild child = StartSimChild(path, options);
        Scan(what, path, 115200, 1);
        StopSimChild(child);
    };
    scanMeter("meter at the current settings (115200, 1)", 115200, 1);
    {
        SilentLine line;
        Scan("a line with no meter", line.path, 115200, 1);
    }
    scanMeter("meter at the last speed and address (4800, 247)", 4800, 247);
    return 0;
}
