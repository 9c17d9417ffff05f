#include "scan_plan.h"

#include "value_text.h"

#include <algorithm>

namespace {

// Current first, then the rest in their order; a current value not in the
// list is not added.
template <class T>
std::vector<T> CurrentFirst(std::vector<T> list, std::optional<T> current)
{
    if (current) {
        const auto at = std::find(list.begin(), list.end(), *current);
        if (at != list.end())
            std::rotate(list.begin(), at, at + 1);
    }
    return list;
}

constexpr unsigned kRequestBytes = 8;  // a read request frame
constexpr unsigned kBitsPerByte = 11;  // start, 8 data, stop, and a spare
constexpr unsigned kTurnaroundMs = 25;

} // namespace

std::vector<ScanProbe> ScanOrder(const std::vector<std::uint32_t>& speeds, std::uint8_t firstAddress,
                                 std::uint8_t lastAddress, std::optional<std::uint32_t> currentSpeed,
                                 std::optional<std::uint8_t> currentAddress)
{
    std::vector<std::uint32_t> uniqueSpeeds;
    for (std::uint32_t s : speeds)
        if (std::find(uniqueSpeeds.begin(), uniqueSpeeds.end(), s) == uniqueSpeeds.end())
            uniqueSpeeds.push_back(s);
    const std::vector<std::uint32_t> order = CurrentFirst(uniqueSpeeds, currentSpeed);
    const bool currentInRange = currentAddress && *currentAddress >= firstAddress && *currentAddress <= lastAddress;

    std::vector<ScanProbe> probes;
    if (currentInRange)
        for (std::uint32_t baud : order)
            probes.push_back({baud, *currentAddress});
    for (std::uint32_t baud : order)
        for (unsigned a = firstAddress; a <= lastAddress; ++a)
            if (!currentInRange || a != *currentAddress)
                probes.push_back({baud, static_cast<std::uint8_t>(a)});
    return probes;
}

std::vector<std::uint32_t> DefaultScanSpeeds(std::optional<std::uint32_t> currentSpeed)
{
    std::vector<std::uint32_t> speeds(kScanSpeeds.begin(), kScanSpeeds.end());
    if (currentSpeed && *currentSpeed > 0 && std::find(speeds.begin(), speeds.end(), *currentSpeed) == speeds.end())
        speeds.insert(speeds.begin(), *currentSpeed);
    return speeds;
}

std::uint32_t ProbeTimeoutMs(std::uint32_t baud)
{
    const std::uint64_t bits = kRequestBytes * kBitsPerByte + 35 * kBitsPerByte / 10;
    const std::uint64_t lineMs = (bits * 1000 + std::max(baud, 1u) - 1) / std::max(baud, 1u);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(lineMs + kTurnaroundMs, 5000));
}

std::optional<std::vector<std::uint32_t>> ParseSpeedList(const std::string& text)
{
    std::vector<std::uint32_t> speeds;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const auto n = ParseDecimalInt32(item);
        if (!n || *n <= 0)
            return std::nullopt;
        speeds.push_back(static_cast<std::uint32_t>(*n));
        if (comma == std::string::npos)
            return speeds;
        start = comma + 1;
    }
}

std::optional<std::pair<std::uint8_t, std::uint8_t>> ParseAddressRange(const std::string& text)
{
    const std::size_t dash = text.find('-');
    const auto first = ParseDecimalInt32(text.substr(0, dash));
    const auto last = dash == std::string::npos ? first : ParseDecimalInt32(text.substr(dash + 1));
    if (!first || !last || *first < kFirstScanAddress || *last > kLastScanAddress || *first > *last)
        return std::nullopt;
    return std::pair{static_cast<std::uint8_t>(*first), static_cast<std::uint8_t>(*last)};
}

std::string FoundMeterLine(const FoundMeter& meter)
{
    const auto shown = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    return std::to_string(meter.address) + '\t' + std::to_string(meter.baud) + '\t' + shown(meter.serial) + '\t' +
           shown(meter.firmware);
}
