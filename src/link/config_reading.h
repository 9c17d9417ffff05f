#pragma once
// A configuration that a command of the link thread has read from the meter
// in full, handed to the front, which keeps it as a snapshot of the meter's
// history.

#include "snapshot.h"

#include <cstdint>
#include <string>

struct ConfigReading {
    // ByHand: TakeSnapshot; Dump: a dump written to its file; AsFound: the
    // first good poll of a meter since the link opened; AsLeft: a confirmed
    // NVRAM commit, or a load whose report has no failed line.
    SnapshotKind kind = SnapshotKind::ByHand;
    std::string text;           // the parameter file text, as the dump writes it
    std::string serial;         // as the register list shows it; "" when not a finite number
    std::uint16_t firmware = 0; // the firmware version the dump reads for its gate
};

struct MeterRegisters;

// A snapshot of the reading over `link`, stamped now with this program's version.
Snapshot SnapshotOfReading(const ConfigReading& reading, const SnapshotLink& link);

// The register list as a snapshot keeps it: "caption<TAB>value text" a line.
std::string RegisterListText(MeterRegisters& registers);
