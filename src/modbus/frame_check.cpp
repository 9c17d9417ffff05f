#include "frame_check.h"

#include "crc16.h"

FrameVerdict JudgeFrame(const std::uint8_t* frame, std::uint32_t length, std::uint8_t address)
{
    if (frame[0] != address)
        return FrameVerdict::OtherAddress;
    return CrcMatches(frame, length) ? FrameVerdict::Good : FrameVerdict::BadCrc;
}
