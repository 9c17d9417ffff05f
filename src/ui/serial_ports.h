#pragma once
// The serial ports of this machine, for the port drop-down list.

#include <string>
#include <vector>

// Port names (e.g. "ttyS0", "ttyUSB0") of the serial ports the system
// reports, USB adapters included, in the order in which they are found.
std::vector<std::string> ListSerialPorts();

// True when the user may not read and write the port's device (its group is
// usually dialout), so that opening it would fail for want of permission.
bool PortAccessDenied(const std::string& portName);
