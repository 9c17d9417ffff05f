#include "cli_scan.h"

#include "console.h"
#include "link_thread.h"
#include "loop_dispatcher.h"
#include "post_and_wait.h"
#include "scan_front.h"

#include <cstdio>

namespace {

class CliScanFront final : public ScanFront {
public:
    void ScanProgress(const ScanProbe& probe, std::size_t done, std::size_t total) override
    {
        if (!onTerminal_)
            return;
        std::fprintf(stderr, "\r%u бод, адрес %3u  (%zu из %zu)   ", static_cast<unsigned>(probe.baud),
                     static_cast<unsigned>(probe.address), done, total);
        std::fflush(stderr);
        progressShown_ = true;
    }
    void MeterFound(const FoundMeter& meter) override
    {
        EndProgress();
        std::printf("%s\n", FoundMeterLine(meter).c_str());
        std::fflush(stdout);
    }
    void ScanEnded(const ScanOutcome& result) override
    {
        EndProgress();
        outcome = result;
    }

    ScanOutcome outcome;

private:
    void EndProgress()
    {
        if (progressShown_)
            std::fputc('\n', stderr);
        progressShown_ = false;
    }
    bool onTerminal_ = StandardErrorIsTerminal();
    bool progressShown_ = false;
};

// The user's stop request (Ctrl+C) cancels the scan while the object lives.
class InterruptCancels {
public:
    InterruptCancels(TLink1Thread& link, LoopDispatcher& loop)
        : loop_(loop), check_(loop.AddPeriodic(std::chrono::milliseconds(20), [this, &link] {
              if (stop_.Requested())
                  link.CancelScan();
          }))
    {
    }
    ~InterruptCancels() { loop_.RemovePeriodic(check_); }
    InterruptCancels(const InterruptCancels&) = delete;
    InterruptCancels& operator=(const InterruptCancels&) = delete;

private:
    StopRequestWatch stop_;
    LoopDispatcher& loop_;
    int check_;
};

} // namespace

int RunScan(TLink1Thread& link, LoopDispatcher& loop, ScanRequest request)
{
    CliScanFront front;
    InterruptCancels cancel(link, loop);
    const std::string port = request.port;
    if (!PostAndWait(link, LinkCommand::FindMeter, [&] { return link.PostScan(std::move(request), front); })) {
        std::fprintf(stderr, "Поиск не начат: порт %s занят\n", port.c_str());
        return 1;
    }
    const ScanOutcome& o = front.outcome;
    for (std::uint32_t baud : o.refusedSpeeds)
        std::fprintf(stderr, "Порт %s не поддерживает скорость %u; она пропущена\n", port.c_str(),
                     static_cast<unsigned>(baud));
    if (!o.error.empty())
        std::fprintf(stderr, "%s\n", o.error.c_str());
    else if (o.cancelled)
        std::fprintf(stderr, "Поиск прерван (проб: %zu)\n", o.probes);
    else if (o.found.empty())
        std::fprintf(stderr, "Влагомер не найден (проб: %zu)\n", o.probes);
    return o.found.empty() ? 1 : 0;
}
