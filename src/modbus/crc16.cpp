#include "crc16.h"

#include <array>

namespace {

struct CrcTables {
    std::array<std::uint8_t, 256> lo{};
    std::array<std::uint8_t, 256> hi{};
};

constexpr CrcTables MakeTables()
{
    CrcTables t;
    for (unsigned v = 0; v < 256; ++v) {
        unsigned crc = v;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001u : crc >> 1;
        t.lo[v] = static_cast<std::uint8_t>(crc & 0xFF);
        t.hi[v] = static_cast<std::uint8_t>(crc >> 8);
    }
    return t;
}

constexpr CrcTables kTables = MakeTables();

} // namespace

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count)
{
    std::uint8_t lo = 0xFF;
    std::uint8_t hi = 0xFF;
    for (std::size_t n = 0; n < count; ++n) {
        const std::uint8_t i = bytes[n] ^ lo;
        lo = kTables.lo[i] ^ hi;
        hi = kTables.hi[i];
    }
    return static_cast<std::uint16_t>((hi << 8) | lo);
}

void PutCrc(std::uint8_t* frame, std::size_t length)
{
    const std::uint16_t crc = Crc16(frame, length);
    frame[length] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[length + 1] = static_cast<std::uint8_t>(crc >> 8);
}

bool CrcMatches(const std::uint8_t* frame, std::size_t length)
{
    if (length < 2)
        return false;
    const std::uint16_t crc = Crc16(frame, length - 2);
    return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}
