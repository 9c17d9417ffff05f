#pragma once
// Coming back after a lost port: the link is opened again on the stable
// name the port had when it was first opened (a USB adapter's by-id name,
// whatever ttyUSB number it gets next), with the same settings. A device
// that comes back under another stable name is another adapter and is not
// taken for it. The fronts try at most every kCheckInterval.

#include <chrono>
#include <cstdint>
#include <string>

class TLink1Thread;

class PortReturn {
public:
    static constexpr std::chrono::milliseconds kCheckInterval{500};

    // At the open of the link with these settings, while the device is
    // there to tell its stable name.
    PortReturn(const std::string& portName, std::uint32_t baud, std::uint32_t timeoutMs, std::int32_t address);

    // The name the port is waited for under.
    const std::string& WatchedName() const { return port_; }
    // One attempt: true when the link is open again.
    bool TryReopen(TLink1Thread& link) const;

private:
    std::string port_;
    std::uint32_t baud_;
    std::uint32_t timeoutMs_;
    std::int32_t address_;
};
