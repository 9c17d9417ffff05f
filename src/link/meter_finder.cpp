// The finder: probes speeds and addresses on a closed link's port for a
// meter, one short read each, and reads the serial number of each meter
// that answers. The order of the probes is in scan_plan.cpp.

#include "link_thread.h"

#include "link_messages.h"
#include "reg_list_item_data.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

bool TLink1Thread::PostScan(ScanRequest request, ScanFront& front)
{
    std::lock_guard lock(FQueueLock);
    if (FRtu.IsOpen() || stopping_ || scanning_ || FCommands.size() >= 2 || request.probes.empty())
        return false;
    scanning_ = true;
    scanCancel_ = false;
    scanRequest_ = std::make_unique<ScanRequest>(std::move(request));
    scanFront_ = &front;
    FCommands.push_back(QueuedCommand{LinkCommand::FindMeter, nullptr, {}});
    FCommandEvent.Set();
    return true;
}

void TLink1Thread::CancelScan()
{
    if (!scanning_)
        return;
    scanCancel_ = true;
    // Ends the probe that waits now; the scan sees the flag before the next.
    FRtu.Close();
}

bool TLink1Thread::ScanStopped() const { return scanCancel_ || stopping_; }

void TLink1Thread::FindMeter()
{
    std::unique_ptr<ScanRequest> request;
    ScanFront* front = nullptr;
    {
        std::lock_guard lock(FQueueLock);
        request = std::move(scanRequest_);
        front = std::exchange(scanFront_, nullptr);
    }
    // A FindMeter posted by number alone has no scan to run.
    if (request && front)
        Scan(*request, *front);
}

void TLink1Thread::Scan(const ScanRequest& request, ScanFront& front)
{
    ScanOutcome outcome;
    if (tap_)
        tap_->ResetStatistics();
    std::uint32_t openBaud = 0; // 0 while the port is closed
    const std::size_t total = request.probes.size();
    const auto step = [this](const std::function<void()>& call) {
        RunOnUi([&] {
            if (!stopping_)
                call();
            FDoneEvent.Set();
        });
    };
    try {
        for (std::size_t i = 0; i < total && !ScanStopped(); ++i) {
            const ScanProbe& probe = request.probes[i];
            const auto& refused = outcome.refusedSpeeds;
            if (std::find(refused.begin(), refused.end(), probe.baud) != refused.end())
                continue;
            step([&] { front.ScanProgress(probe, i, total); });
            if (openBaud != probe.baud) {
                FRtu.Close();
                openBaud = 0;
                PortOpenFailure why;
                if (!OpenTapped(request.port, StreamSettings{probe.baud, ConnectTimeoutFor(FTimeout.load()), LineOptionsNow()}, &why)) {
                    if (ScanStopped())
                        break;
                    if (why.error != PortOpenError::SpeedRefused) {
                        outcome.error = OpenFailureMessage(why, request.port, probe.baud);
                        break;
                    }
                    outcome.refusedSpeeds.push_back(probe.baud);
                    continue;
                }
                openBaud = probe.baud;
                if (ScanStopped())
                    break;
            }
            const std::optional<FoundMeter> meter = Probe(probe, request);
            ++outcome.probes;
            if (meter) {
                outcome.found.push_back(*meter);
                step([&] { front.MeterFound(*meter); });
                if (!request.all)
                    break;
            }
        }
    } catch (ModBusRtu::error_t) {
        // Only a lost port leaves Probe.
        if (!ScanStopped())
            outcome.error = PortLostMessage(request.port);
    } catch (const std::exception& e) {
        // A front step that failed: the scan ends, the front still hears of it.
        outcome.error = std::string("Поиск прерван: ") + e.what();
    }
    FRtu.Close();
    outcome.cancelled = scanCancel_.load();
    scanning_ = false;
    step([&] { front.ScanEnded(outcome); });
}

std::optional<FoundMeter> TLink1Thread::Probe(const ScanProbe& probe, const ScanRequest& request)
{
    using Attempt = ModBusRtu::Attempt;
    const std::uint32_t timeoutMs = ProbeTimeoutMs(probe.baud);
    // A damaged or misfitting answer means something is there: it gets one
    // more try. Silence, and an exception to a register every meter holds,
    // mean no meter.
    const ModBusRequest read(3, kProbeRegister, 1);
    bool answered = false;
    for (int attempt = 0; attempt < 2 && !answered && !ScanStopped(); ++attempt) {
        try {
            FRtu.Transact(probe.address, read, timeoutMs, attempt == 0 ? Attempt::First : Attempt::Repeat);
            answered = true;
        } catch (ModBusPdu::error_t) {
            return std::nullopt;
        } catch (ModBusRtu::error_t e) {
            if (e == ModBusRtu::kPortLost)
                throw;
            if (e != ModBusRtu::kCrcError && e != ModBusRtu::kMalformedAnswer)
                return std::nullopt;
        }
    }
    if (!answered)
        return std::nullopt;
    UIntRegListItemData firmware;
    FRtu >> firmware;
    FoundMeter meter{probe.address, probe.baud, {}, firmware.GetValueText()};

    // The meter is there: its serial number gets the link's own answer time
    // and a few tries.
    const ModBusRequest serialRead(3, kSerialRegister, 2);
    constexpr int kSerialTries = 3;
    for (int attempt = 0; attempt < kSerialTries && !ScanStopped(); ++attempt) {
        try {
            FRtu.Transact(probe.address, serialRead, std::max(request.identifyTimeoutMs, timeoutMs),
                          attempt == 0 ? Attempt::First : Attempt::Repeat);
            FloatRegListItemData serial;
            FRtu >> serial;
            meter.serial = serial.GetValueText();
            break;
        } catch (ModBusPdu::error_t) {
            break;
        } catch (ModBusRtu::error_t e) {
            if (e == ModBusRtu::kPortLost)
                throw;
        }
    }
    return meter;
}
