#pragma once
// A snapshot as the tests of the store make it.

#include "snapshot.h"

#include <cstdint>
#include <string>

inline Snapshot MakeSnapshot(const std::string& serial, std::uint16_t firmware, const std::string& port = "/dev/ttyUSB0",
                             int address = 1, std::string config = "\r\n2001 float  20417.000000\t\t # Serial\r\n")
{
    Snapshot s;
    s.serial = serial;
    s.firmware = firmware;
    s.link = {port, 115200, 200, address, false};
    s.programVersion = "2.0";
    s.kind = SnapshotKind::AsFound;
    s.config = std::move(config);
    StampNow(s);
    return s;
}
