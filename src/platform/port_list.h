#pragma once
// The serial ports of this machine, for the port drop-down list and
// `vokctl ports`.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct PortListEntry {
    std::string name;   // what the user picks and the INI file keeps ("ttyUSB0", "COM3")
    std::string device; // the device behind it (/dev/ttyUSB0, \\.\COM3)
    std::string tip;    // what the port is, when the system says (adapter, by-id name)
    bool accessible = true;     // the user may open it, as far as can be told without opening
    std::string noAccessReason; // the system's reason when not accessible
    std::string usbSerial;      // a USB adapter's serial number, where the system gives it
    // The name the same adapter is found under after it was pulled and put
    // back, where that is not `name` (Linux: its /dev/serial/by-id link).
    std::string stableName;
};

// The serial ports the system reports, USB adapters included, in natural
// order (COM2 before COM10, ttyS2 before ttyS10).
std::vector<PortListEntry> ListSerialPorts();

// True when the user may not read and write the port's device (on Linux its
// group is usually dialout), so that opening it would fail for want of
// permission. For any name, listed or typed.
bool PortAccessDenied(const std::string& portName);

// The name under which the same device will be found again after it was
// pulled and put back: a USB adapter's stable name (Linux: its link in
// /dev/serial/by-id, which names the adapter, not the order it came in);
// otherwise the name itself (Windows keeps an adapter's COM number).
std::string StablePortName(const std::string& portName);

// A USB serial adapter's latency timer: how long the adapter holds bytes it
// has received before it passes them on (16 ms by default on FTDI's chips),
// and a command that lowers it to 1 ms where the system has one.
struct AdapterLatency {
    int ms = 0;
    std::string lowerCommand;
};
// The timer of the adapter behind the port, where the system shows it;
// empty elsewhere (an on-board port, a pseudo-terminal, another driver).
std::optional<AdapterLatency> AdapterLatencyTimer(const std::string& portName);

// Natural order of names: runs of digits compare by their value, the rest
// byte by byte.
bool NaturalLess(std::string_view a, std::string_view b);
