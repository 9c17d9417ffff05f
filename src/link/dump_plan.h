#pragma once
// The parameter dump's reads of the meter's configuration, in the order they
// are made, and how each answer is taken into a MeterConfig.

#include "meter_config.h"
#include "pdu.h"

#include <cstdint>
#include <vector>

struct DumpRead {
    enum class Block { Serial, Adjust, Set1, Set2, Phase, Salt, Density, FirmwareGate, PointSet };
    Block block;
    std::uint16_t start; // protocol address
    std::uint16_t count; // registers
    int phase = 0;       // Phase, Salt, PointSet
    int salt = 0;        // Salt
    // The progress bar moves on once this read is in.
    bool advancesProgress = false;
};

// Every read of a full dump; the point-set reads are made only when the
// firmware gate allows them (DumpReadWanted).
const std::vector<DumpRead>& DumpReads();

// False for a point-set read when the firmware version read so far has none.
bool DumpReadWanted(const DumpRead& read, const MeterConfig& soFar);

// Takes the values of `read` out of its answer into `config`.
void DecodeDumpRead(const DumpRead& read, ModBusAnswer& answer, MeterConfig& config);
