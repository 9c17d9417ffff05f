#pragma once
// POSIX serial port: the platform layer under the RTU channel.

#include "time_limit.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

class SerialPort {
public:
    enum class WriteResult { Ok, TimedOut, Failed };

    static constexpr std::uint32_t kInfinite = kNoTimeLimit;
    // A read completes once the line has been silent this long after a byte.
    static constexpr int kSilenceMs = 20;

    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort();

    // The device behind a port name as a port list shows it: "ttyUSB0" is
    // /dev/ttyUSB0, an absolute path is taken as is, "COMn" is /dev/ttyS(n-1).
    static std::string DevicePath(const std::string& portName);

    // Opens the port exclusively, raw 8N1 at the baud rate. False when the
    // device cannot be opened or locked, or refuses the rate.
    bool Open(const std::string& portName, std::uint32_t baud);
    // Ends a pending read or write at once and makes later ones fail; the
    // port stays held until Close.
    void Interrupt();
    // Interrupts, then releases the port. The caller ends its reader first.
    void Close();
    bool IsOpen() const;

    // Waits without limit for a first byte, then collects bytes until the
    // line is silent for more than kSilenceMs or `capacity` bytes have come.
    // Returns the byte count, or -1 when the port failed or was closed.
    // Only one thread may read.
    int ReadFrame(std::uint8_t* buffer, std::size_t capacity);

    // Writes all bytes within the time-out (kInfinite for no limit); a write
    // that does not finish in time has its pending output discarded.
    WriteResult Write(const std::uint8_t* bytes, std::size_t count, std::uint32_t timeoutMs);

private:
    void ReleaseDescriptors();

    mutable std::mutex ioLock_; // guards the descriptors against Close during a write
    int fd_ = -1;
    std::atomic<int> wakeFd_{-1}; // readable once Interrupt has run
};
