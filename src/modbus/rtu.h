#pragma once
// The master end of a Modbus RTU serial line: frames by line silence, CRC-16,
// and the request/answer transaction on top.

#include "auto_reset_event.h"
#include "pdu.h"
#include "serial_port.h"
#include "time_limit.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class ModBusRtu : public ModBusAnswer {
public:
    // Link-level failure: 1 time-out, 2 CRC error, 3 write failure,
    // 4 write set-up failure, 5 malformed answer. Thrown by value.
    enum error_t : std::int32_t {};

    static constexpr std::uint32_t kInfinite = kNoTimeLimit;
    static constexpr std::uint32_t kFrameCapacity = 256;
    static constexpr std::uint32_t kShortestFrame = 5;

    ModBusRtu();
    ModBusRtu(const ModBusRtu&) = delete;
    ModBusRtu& operator=(const ModBusRtu&) = delete;
    ~ModBusRtu();

    bool Open(const std::string& portName, std::uint32_t baud);
    void Close();
    bool IsOpen() const { return open_.load(); }

    // Frames the PDU placed at frame + 1 (length bytes) and writes it.
    void SendFrame(std::uint8_t address, std::uint32_t timeoutMs);
    // Waits for a frame for `address`; on return data/length describe its PDU.
    void ReceiveFrame(std::uint8_t address, std::uint32_t timeoutMs);

    void SendRequest(std::uint8_t address, const ModBusRequest& request, std::uint32_t timeoutMs);
    void ReceiveAnswer(std::uint8_t address, std::uint32_t timeoutMs);
    // The time-out is a budget for the whole exchange.
    void Transact(std::uint8_t address, const ModBusRequest& request, std::uint32_t timeoutMs);

    // The frame last built for sending or last taken over from the reader.
    const std::uint8_t* Frame() const { return frame; }
    std::uint32_t FrameLength() const { return frameLength; }

private:
    void ReaderLoop();
    void PauseAfterReadError(int ms);

    std::uint8_t rxBuffer[2][kFrameCapacity];
    std::uint8_t frame[kFrameCapacity];
    std::uint32_t frameLength = 0;
    std::atomic<std::int32_t> stopFlag{0};
    std::mutex handoverLock;
    SerialPort port;
    AutoResetEvent frameEvent;
    std::thread readerThread;
    // Frame handed over and not yet taken; 0 when none is pending.
    const std::uint8_t* latestFrame = nullptr;
    std::uint32_t latestLength = 0;

    std::atomic<bool> open_{false};
    std::mutex pauseLock_;
    std::condition_variable pauseWake_;
};

// The retry policy: busy answers (exception 6) and link failures are
// repeated, up to 102 attempts in all, with 1 ms between attempts; any other
// exception answer is thrown at once. A set `cancel` flag ends the repeats
// and throws the last failure.
void TransactWithRetry(ModBusRtu& rtu, std::uint8_t address, const ModBusRequest& request,
                       std::uint32_t timeoutMs, const std::atomic<bool>* cancel = nullptr);
