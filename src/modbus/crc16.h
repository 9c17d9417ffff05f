#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF), one table step per byte.
// The low byte of the result goes on the line first.
std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count);

// Writes the CRC of the first `length` bytes of `frame` behind them, at
// frame[length] and frame[length + 1].
void PutCrc(std::uint8_t* frame, std::size_t length);

// True when the frame ends in the CRC of the bytes before it.
bool CrcMatches(const std::uint8_t* frame, std::size_t length);
