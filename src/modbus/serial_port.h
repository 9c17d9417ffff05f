#pragma once
// POSIX serial port: the platform layer under the RTU channel.

#include "port_open_error.h"
#include "time_limit.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

class SerialPort {
public:
    enum class WriteResult { Ok, TimedOut, Failed, Lost };
    enum class ReadStatus {
        Bytes,       // `count` bytes were read
        Quiet,       // the wait ran out without a byte
        Interrupted, // Interrupt or Close ended the wait
        Lost,        // the device is gone: hang-up, or EIO/ENODEV/ENXIO
        Failed,      // another read error; the port may still work
    };
    struct ReadResult {
        ReadStatus status;
        std::size_t count = 0;
    };

    static constexpr std::uint32_t kInfinite = kNoTimeLimit;

    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort();

    // The device behind a port name as a port list shows it: "ttyUSB0" is
    // /dev/ttyUSB0, an absolute path is taken as is, "COMn" is /dev/ttyS(n-1).
    static std::string DevicePath(const std::string& portName);

    // Opens the port exclusively, raw 8N1 at the baud rate, with its input
    // queue emptied. On failure `why` (when given) says what went wrong, and
    // nothing of the attempt stays behind, no exclusive mode either.
    bool Open(const std::string& portName, std::uint32_t baud, PortOpenFailure* why = nullptr);
    // Ends a pending read or write at once and makes later ones fail; the
    // port stays held until Close.
    void Interrupt();
    // Interrupts, then releases the port. The caller ends its reader first.
    void Close();
    bool IsOpen() const;

    // Waits up to `waitFor` (no limit when empty) for bytes and reads what
    // has come, at most `capacity`. Only one thread may read.
    ReadResult Read(std::uint8_t* buffer, std::size_t capacity,
                    std::optional<std::chrono::nanoseconds> waitFor);

    // Writes all bytes within the time-out (kInfinite for no limit); a write
    // that does not finish in time has its pending output discarded.
    WriteResult Write(const std::uint8_t* bytes, std::size_t count, std::uint32_t timeoutMs);

private:
    bool OpenDevice(const std::string& portName, std::uint32_t baud, PortOpenFailure& why);
    void ReleaseDescriptors();

    mutable std::mutex ioLock_; // guards the descriptors against Close during a write
    int fd_ = -1;
    std::atomic<int> wakeFd_{-1}; // readable once Interrupt has run
};
