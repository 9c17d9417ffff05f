#pragma once
// Finding a meter: in which order the speeds and addresses are probed, how
// long a probe waits, and what a scan reports. No Qt.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The speeds a scan tries, fastest first.
inline constexpr std::array<std::uint32_t, 6> kScanSpeeds = {115200, 57600, 38400, 19200, 9600, 4800};
inline constexpr std::uint8_t kFirstScanAddress = 1;
inline constexpr std::uint8_t kLastScanAddress = 247;

// A probe reads the firmware version, one register every meter holds; the
// serial number is read only from a meter that answered.
inline constexpr std::uint16_t kProbeRegister = 53020;
inline constexpr std::uint16_t kSerialRegister = 2000;

struct ScanProbe {
    std::uint32_t baud;
    std::uint8_t address;

    bool operator==(const ScanProbe&) const = default;
};

// The probes in order. The current settings come first: the current address
// at every speed (the current speed first), then at each speed (the current
// first) every other address of the range, ascending. A current speed or
// address outside the lists is not added. Every pair is probed once.
std::vector<ScanProbe> ScanOrder(const std::vector<std::uint32_t>& speeds, std::uint8_t firstAddress,
                                 std::uint8_t lastAddress, std::optional<std::uint32_t> currentSpeed,
                                 std::optional<std::uint8_t> currentAddress);

// The six speeds, with a current speed that is not among them in front.
std::vector<std::uint32_t> DefaultScanSpeeds(std::optional<std::uint32_t> currentSpeed);

// How long a probe waits for the first byte of the answer, from the start
// of its request: the request's time on the line at the speed, the 3.5
// characters of silence that end it, and a short turnaround of the meter.
std::uint32_t ProbeTimeoutMs(std::uint32_t baud);

// "115200,9600" (speeds that are positive integers), "1-247" or "37"
// (addresses 1..247, first not above last). Empty on a bad text.
std::optional<std::vector<std::uint32_t>> ParseSpeedList(const std::string& text);
std::optional<std::pair<std::uint8_t, std::uint8_t>> ParseAddressRange(const std::string& text);

struct ScanRequest {
    std::string port;
    std::vector<ScanProbe> probes;
    bool all = false;                // go on after the first meter found
    std::uint32_t identifyTimeoutMs = 200; // for reading the serial number of a meter found
};

struct FoundMeter {
    std::uint8_t address = 0;
    std::uint32_t baud = 0;
    std::string serial;   // as the register list shows it; empty when it could not be read
    std::string firmware; // the same
};

struct ScanOutcome {
    std::vector<FoundMeter> found;
    std::size_t probes = 0; // probes made
    bool cancelled = false;
    std::string error;                   // why the scan ended early; empty when it did not
    std::vector<std::uint32_t> refusedSpeeds; // speeds the port does not take, skipped
};

// One line of `vokctl scan`: address, speed, serial number, firmware
// version, tab-separated; "-" for what could not be read.
std::string FoundMeterLine(const FoundMeter& meter);
