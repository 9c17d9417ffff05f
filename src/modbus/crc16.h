#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF), one table step per byte.
// The low byte of the result goes on the line first.
std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count);
