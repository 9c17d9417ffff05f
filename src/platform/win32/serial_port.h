#pragma once
// Win32 serial port: the stream under the RTU channel for a local line.
// Overlapped reads and writes, each with an event of its own, and a wake
// event that Interrupt sets, so that a read or a write ends at once from
// any thread. A wait for input is a read of one byte left pending in the
// driver; everything else is read only once the driver's queue holds it, so
// that no read blocks and the queue tells what has come that no read took.

#include "byte_stream.h"
#include "unique_handle.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

class SerialPort final : public ByteStream {
public:
    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort() override;

    // "COM3" is \\.\COM3 (the form that also opens COM10 and above); a name
    // that starts with \\.\ stays as it is.
    static std::string DevicePath(const std::string& portName);

    // Opens the port exclusively, 8N1 at the baud rate, in binary mode with
    // no parity check and no flow control of either kind, whatever another
    // program left set, with both queues emptied.
    bool Open(const std::string& portName, const StreamSettings& settings, PortOpenFailure* why) override;
    void Interrupt() override;
    void Close() override;
    bool IsOpen() const override;
    // A wait for input that runs out leaves its read of one byte pending for
    // the next call, so that no byte is lost to a cancellation between two
    // calls. A read with a zero wait never blocks.
    ReadResult Read(std::uint8_t* buffer, std::size_t capacity,
                    std::optional<std::chrono::nanoseconds> waitFor) override;
    ReadStatus Await(std::optional<std::chrono::nanoseconds> waitFor) override;
    // From any thread: the byte of a finished wait or the driver's queue.
    bool InputWaiting() const override;
    WriteResult Write(const std::uint8_t* bytes, std::size_t count, std::uint32_t timeoutMs) override;

private:
    using Clock = std::chrono::steady_clock;

    // Takes the byte of a finished wait: Bytes when there was one, Quiet
    // when the wait is still pending or brought none.
    ReadStatus CollectWait();
    // Reads what the driver's queue holds, at most `capacity`, at once.
    ReadStatus ReadQueued(std::uint8_t* buffer, std::size_t capacity, std::size_t& count);
    // Whether bytes wait in a finished wait or in the queue,
    // without taking them; Lost when the device cannot say.
    ReadStatus Available();
    // Waits until a byte comes, the deadline passes or Interrupt runs,
    // starting the read of one byte unless it is pending already.
    ReadStatus WaitForByte(std::optional<Clock::time_point> deadline);
    ReadStatus FailedRead(DWORD error);

    mutable std::mutex ioLock_; // guards the handle against Close during a write or an open
    UniqueHandle port_;
    UniqueHandle wake_;       // set by Interrupt until Close
    UniqueHandle readEvent_;  // belongs to the reader thread
    UniqueHandle writeEvent_; // belongs to a writer, under ioLock_

    // The handle and the read event once more, for InputWaiting on another
    // thread; set while the channel's threads do not run.
    std::atomic<HANDLE> portForQueries_{nullptr};
    std::atomic<HANDLE> readEventForQueries_{nullptr};

    // The reader's own state: only the reading thread changes it (Close
    // runs after the reader has ended). The atomics are for InputWaiting.
    OVERLAPPED readOverlapped_{};
    std::atomic<bool> waitPending_{false}; // the read of one byte
    std::uint8_t waitByte_ = 0;
    std::atomic<bool> byteHeld_{false}; // waitByte_ came and is not taken yet
};
