#include "rtu.h"

#include "crc16.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t ElapsedMs(Clock::time_point start)
{
    const auto d = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    return d > 0xFFFFFFFE ? 0xFFFFFFFEu : static_cast<std::uint32_t>(d);
}

} // namespace

ModBusRtu::ModBusRtu() { data = frame + 1; }

ModBusRtu::~ModBusRtu() { Close(); }

bool ModBusRtu::Open(const std::string& portName, std::uint32_t baud)
{
    if (open_.load())
        return false;
    stopFlag.exchange(0);
    if (!port.Open(portName, baud))
        return false;
    {
        std::lock_guard lock(handoverLock);
        latestFrame = nullptr;
        latestLength = 0;
    }
    frameEvent.Reset();
    try {
        readerThread = std::thread([this] { ReaderLoop(); });
    } catch (const std::system_error&) {
        port.Close();
        return false;
    }
    open_.store(true);
    return true;
}

void ModBusRtu::Close()
{
    if (!open_.exchange(false))
        return;
    stopFlag.exchange(1);
    port.Interrupt();
    {
        std::lock_guard lock(pauseLock_);
    }
    pauseWake_.notify_all();
    if (readerThread.joinable())
        readerThread.join();
    port.Close();
    // Wakes a receive that waits on this channel; it finds the stop flag.
    frameEvent.Set();
}

void ModBusRtu::PauseAfterReadError(int ms)
{
    std::unique_lock lock(pauseLock_);
    pauseWake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopFlag.load() != 0; });
}

void ModBusRtu::ReaderLoop()
{
    int i = 0;
    int errorPauseMs = 1;
    while (stopFlag.load() == 0) {
        const int n = port.ReadFrame(rxBuffer[i], kFrameCapacity);
        if (n < 0) {
            if (stopFlag.load() != 0)
                break;
            // A port that keeps failing (adapter pulled, peer gone) is
            // retried with a growing pause rather than spun on.
            PauseAfterReadError(errorPauseMs);
            errorPauseMs = std::min(errorPauseMs * 2, 100);
            continue;
        }
        errorPauseMs = 1;
        if (static_cast<std::uint32_t>(n) < kShortestFrame)
            continue;
        {
            std::lock_guard lock(handoverLock);
            latestFrame = rxBuffer[i];
            latestLength = static_cast<std::uint32_t>(n);
        }
        // Signalled after the lock is left, so that the woken receive does
        // not block on it at once. A send in between may have dropped the
        // frame again; the receive then finds nothing pending and waits on.
        frameEvent.Set();
        i ^= 1;
    }
}

void ModBusRtu::SendFrame(std::uint8_t address, std::uint32_t timeoutMs)
{
    frame[0] = address;
    frameLength = length + 3;
    PutCrc(frame, length + 1);

    // A frame handed over before this request went out cannot be its answer.
    {
        std::lock_guard lock(handoverLock);
        latestLength = 0;
        frameEvent.Reset();
    }
    if (stopFlag.load() != 0)
        throw error_t{3};
    switch (port.Write(frame, frameLength, timeoutMs)) {
    case SerialPort::WriteResult::Ok:
        return;
    case SerialPort::WriteResult::TimedOut:
        throw error_t{1};
    case SerialPort::WriteResult::Failed:
        throw error_t{3};
    }
}

void ModBusRtu::ReceiveFrame(std::uint8_t address, std::uint32_t timeoutMs)
{
    const auto start = Clock::now();
    std::uint32_t left = timeoutMs;
    for (;;) {
        if (!frameEvent.Wait(left) || stopFlag.load() != 0)
            throw error_t{1};
        std::uint32_t count = 0;
        {
            std::lock_guard lock(handoverLock);
            count = latestLength;
            if (count > 0)
                std::memcpy(frame, latestFrame, count);
            latestLength = 0;
        }
        if (count > 0) {
            frameLength = count;
            if (frame[0] == address) {
                if (!CrcMatches(frame, count))
                    throw error_t{2};
                data = frame + 1;
                length = count - 3;
                return;
            }
        }
        // A frame for another address is passed over without judging its CRC.
        if (timeoutMs != kInfinite) {
            const std::uint32_t elapsed = ElapsedMs(start);
            if (elapsed >= timeoutMs)
                throw error_t{1};
            left = timeoutMs - elapsed;
        }
    }
}

void ModBusRtu::SendRequest(std::uint8_t address, const ModBusRequest& request, std::uint32_t timeoutMs)
{
    data = frame + 1;
    length = request.Size();
    request.CopyTo(data);
    SendFrame(address, timeoutMs);
}

void ModBusRtu::ReceiveAnswer(std::uint8_t address, std::uint32_t timeoutMs)
{
    ReceiveFrame(address, timeoutMs);
    std::int32_t exception = 0;
    if (!Parse(exception))
        throw error_t{5};
    if (exception != 0)
        throw ModBusPdu::error_t{exception};
}

void ModBusRtu::Transact(std::uint8_t address, const ModBusRequest& request, std::uint32_t timeoutMs)
{
    const auto start = Clock::now();
    SendRequest(address, request, timeoutMs);
    if (timeoutMs != kInfinite) {
        const std::uint32_t elapsed = ElapsedMs(start);
        if (elapsed >= timeoutMs)
            throw error_t{1};
        timeoutMs -= elapsed;
    }
    ReceiveAnswer(address, timeoutMs);
}

void TransactWithRetry(ModBusRtu& rtu, std::uint8_t address, const ModBusRequest& request,
                       std::uint32_t timeoutMs, const std::atomic<bool>* cancel)
{
    const auto cancelled = [cancel] { return cancel && cancel->load(); };
    constexpr int kBusy = 6;
    constexpr int kMaxRepeats = 100;
    for (int n = 0;; ++n) {
        try {
            rtu.Transact(address, request, timeoutMs);
            return;
        } catch (ModBusPdu::error_t e) {
            if (e != kBusy || n > kMaxRepeats || cancelled())
                throw;
        } catch (ModBusRtu::error_t) {
            if (n > kMaxRepeats || cancelled())
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
