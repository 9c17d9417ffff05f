#include "sysfs_ports.h"

#include "streams.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadFirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The 8250 driver makes a tty for every port it might have (ttyS0..ttyS31);
// one whose UART type is 0 (unknown) has no hardware behind it.
bool PlaceholderUart(const fs::path& tty)
{
    std::error_code ec;
    const fs::path driver = fs::read_symlink(tty / "device" / "driver", ec);
    if (ec || driver.filename() != "serial8250")
        return false;
    const std::string type = ReadFirstLine(tty / "type");
    return type.empty() || type == "0";
}

// Kernel name -> stable name, for the links in the by-id folder.
std::map<std::string, std::string> StableNames(const std::string& byId)
{
    std::map<std::string, std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError)
            names.emplace(target.filename().string(), it->path().string());
    }
    return names;
}

// The serial number of the USB device a tty belongs to: the `serial`
// attribute of the first folder above the tty's device (an interface) that
// is a USB device (it has `idVendor`); nothing for a device without one.
std::string UsbSerialNumber(const fs::path& tty)
{
    std::error_code ec;
    fs::path device = fs::canonical(tty / "device", ec);
    if (ec)
        return {};
    for (int level = 0; level < 3 && device.has_parent_path(); ++level, device = device.parent_path()) {
        std::error_code missing;
        if (fs::is_regular_file(device / "idVendor", missing))
            return fs::is_regular_file(device / "serial", missing) ? ReadFirstLine(device / "serial") : "";
    }
    return {};
}

} // namespace

std::string DeviceAccessProblem(const std::string& device)
{
    if (::faccessat(AT_FDCWD, device.c_str(), R_OK | W_OK, AT_EACCESS) == 0)
        return {};
    // A device that is missing or busy is another matter, told by the open.
    if (errno != EACCES && errno != EPERM)
        return {};
    return std::strerror(errno);
}

std::vector<PortListEntry> ListSerialPortsIn(const SysfsPlaces& places)
{
    const std::map<std::string, std::string> stable = StableNames(places.byId);
    std::vector<PortListEntry> ports;
    std::error_code ec;
    for (fs::directory_iterator it(places.ttyClass, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path tty = it->path();
        std::error_code deviceError;
        if (!fs::exists(tty / "device", deviceError) || PlaceholderUart(tty))
            continue;
        PortListEntry entry;
        entry.name = tty.filename().string();
        entry.device = places.devices + "/" + entry.name;
        if (const auto found = stable.find(entry.name); found != stable.end()) {
            entry.tip = found->second;
            entry.stableName = found->second;
        }
        entry.noAccessReason = DeviceAccessProblem(entry.device);
        entry.usbSerial = UsbSerialNumber(tty);
        entry.accessible = entry.noAccessReason.empty();
        ports.push_back(std::move(entry));
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortListEntry& a, const PortListEntry& b) { return NaturalLess(a.name, b.name); });
    return ports;
}

std::vector<PortListEntry> ListSerialPorts() { return ListSerialPortsIn(SysfsPlaces{}); }

std::string StablePortNameIn(const SysfsPlaces& places, const std::string& portName)
{
    const std::string device = SerialDevicePath(portName);
    if (fs::path(device).parent_path() == fs::path(places.byId))
        return portName;
    std::error_code ec;
    const fs::path real = fs::canonical(device, ec);
    if (ec)
        return portName;
    for (fs::directory_iterator it(places.byId, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        if (fs::canonical(it->path(), linkError) == real && !linkError)
            return it->path().string();
    }
    return portName;
}

std::string StablePortName(const std::string& portName) { return StablePortNameIn(SysfsPlaces{}, portName); }

std::optional<AdapterLatency> AdapterLatencyTimerIn(const SysfsPlaces& places, const std::string& device)
{
    std::error_code ec;
    const fs::path real = fs::canonical(device, ec);
    if (ec)
        return std::nullopt;
    const fs::path file = fs::path(places.usbSerial) / real.filename() / "latency_timer";
    const std::string text = ReadFirstLine(file);
    int ms = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), ms);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || ms < 0 || ms > 255)
        return std::nullopt;
    return AdapterLatency{ms, "echo 1 | sudo tee " + file.string()};
}

std::optional<AdapterLatency> AdapterLatencyTimer(const std::string& portName)
{
    return AdapterLatencyTimerIn(SysfsPlaces{}, SerialDevicePath(portName));
}

bool PortAccessDenied(const std::string& portName)
{
    return !DeviceAccessProblem(SerialDevicePath(portName)).empty();
}
