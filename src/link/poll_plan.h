#pragma once
// The poll's five reads of the live register blocks, and how each answer is
// taken position by position into the window's register objects.

#include "pdu.h"
#include "register_map.h"

#include <array>
#include <cstdint>

struct PollRead {
    std::uint16_t start; // protocol address
    std::uint16_t count; // registers
};

// Blocks A (main), B (status), C for phase block 0 and 1, and D (port).
inline constexpr std::array<PollRead, 5> kPollReads = {{
    {2000, 30},
    {53011, 16},
    {kPhaseStart[0], 30},
    {kPhaseStart[1], 30},
    {42100, 2},
}};

// Takes the values of read `index` of kPollReads out of its answer.
void DecodePollRead(std::size_t index, ModBusAnswer& answer, MeterRegisters& registers);
