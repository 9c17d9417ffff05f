#pragma once
// How a frame taken from the line stands for a receive that waits for one
// slave's answer.

#include <cstdint>

enum class FrameVerdict {
    OtherAddress, // for another slave: passed over, its CRC not judged
    BadCrc,       // for this slave, but damaged
    Good,
};

// `frame` holds address, PDU and CRC; `length` is at least 5.
FrameVerdict JudgeFrame(const std::uint8_t* frame, std::uint32_t length, std::uint8_t address);
