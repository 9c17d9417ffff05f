#pragma once
// The Linux port list, read from the kernel's tty class in sysfs: every tty
// backed by a device (USB adapters, on-board ports) is a serial port; the
// virtual ones (consoles, pseudo-terminals) have no device. The places are
// parameters so that the list can be read from a tree made for it.

#include "port_list.h"

#include <string>
#include <vector>

struct SysfsPlaces {
    std::string ttyClass = "/sys/class/tty";
    std::string devices = "/dev";
    std::string byId = "/dev/serial/by-id"; // udev's stable names of USB adapters
    std::string usbSerial = "/sys/bus/usb-serial/devices"; // USB adapters' own settings
};

std::vector<PortListEntry> ListSerialPortsIn(const SysfsPlaces& places);

// The by-id link that points at the same device as `portName`, or
// `portName` itself where none does (or it is such a link already).
std::string StablePortNameIn(const SysfsPlaces& places, const std::string& portName);

// The latency timer of the USB adapter behind `device` (a device path or a
// link to one, as the by-id names are).
std::optional<AdapterLatency> AdapterLatencyTimerIn(const SysfsPlaces& places, const std::string& device);

// Whether the effective user may read and write `device`; the system's
// reason when not (empty when it may).
std::string DeviceAccessProblem(const std::string& device);
