#include "port_list.h"

#include "streams.h"
#include "wide_text.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <map>
#include <memory>
#include <type_traits>

namespace {

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

struct KeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

UniqueKey OpenKey(HKEY parent, const std::wstring& path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return UniqueKey(key);
}

std::optional<std::wstring> StringValue(HKEY key, const wchar_t* name)
{
    wchar_t text[256] = {};
    DWORD size = sizeof text - sizeof(wchar_t); // room for a terminating zero
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(text, wcsnlen(text, std::size(text)));
}

// The names of the subkeys of an open key.
std::vector<std::wstring> Subkeys(HKEY key)
{
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = static_cast<DWORD>(std::size(name));
        const LONG r = ::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r == ERROR_SUCCESS)
            names.emplace_back(name, length);
    }
    return names;
}

// The device enumeration keeps each device under its bus:
// HKLM\SYSTEM\CurrentControlSet\Enum\<bus>\<device>\<instance>, and a
// port's instance names its port in "Device Parameters", value PortName.
// Calls visit(instance key, its "Device Parameters" key, the port's name in
// capitals) for each such instance below a bus's key, until visit returns
// true.
using PortInstanceVisit = std::function<bool(HKEY instance, HKEY parameters, const std::wstring& port)>;

void ForEachPortInstance(HKEY bus, const PortInstanceVisit& visit)
{
    for (const std::wstring& device : Subkeys(bus)) {
        const UniqueKey deviceKey = OpenKey(bus, device);
        if (!deviceKey)
            continue;
        for (const std::wstring& instance : Subkeys(deviceKey.get())) {
            const UniqueKey instanceKey = OpenKey(deviceKey.get(), instance);
            const UniqueKey parameters = instanceKey ? OpenKey(instanceKey.get(), L"Device Parameters") : nullptr;
            if (!parameters)
                continue;
            const std::optional<std::wstring> port = StringValue(parameters.get(), L"PortName");
            if (port && visit(instanceKey.get(), parameters.get(), Upper(*port)))
                return;
        }
    }
}

// The port's name in capitals -> its device's friendly name ("USB Serial
// Port (COM7)"), for the ports of the device enumeration that have one.
std::map<std::wstring, std::string> FriendlyNames()
{
    std::map<std::wstring, std::string> names;
    const UniqueKey enumeration = OpenKey(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum");
    if (!enumeration)
        return names;
    for (const std::wstring& bus : Subkeys(enumeration.get())) {
        const UniqueKey busKey = OpenKey(enumeration.get(), bus);
        if (!busKey)
            continue;
        ForEachPortInstance(busKey.get(), [&](HKEY instance, HKEY, const std::wstring& port) {
            if (const std::optional<std::wstring> friendly = StringValue(instance, L"FriendlyName"))
                names.emplace(port, Narrow(*friendly));
            return false;
        });
    }
    return names;
}

} // namespace

// The serial ports the system has made: the values of the registry key
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM hold the port names ("COM3"), their
// value names the driver's device ("\Device\Serial0", "\Device\VCP0" for a
// USB adapter). The tip is the device's friendly name where the device
// enumeration has one ("USB Serial Port (COM3)"), else the driver's device.
std::vector<PortListEntry> ListSerialPorts()
{
    std::vector<PortListEntry> ports;
    const UniqueKey key = OpenKey(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (!key)
        return ports;
    const std::map<std::wstring, std::string> friendlyNames = FriendlyNames();
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = static_cast<DWORD>(std::size(valueName));
        wchar_t data[256] = {};
        DWORD dataSize = sizeof data - sizeof(wchar_t); // room for a terminating zero
        DWORD type = 0;
        const LONG r = ::RegEnumValueW(key.get(), index, valueName, &nameLength, nullptr, &type,
                                       reinterpret_cast<BYTE*>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const std::wstring name(data, wcsnlen(data, std::size(data)));
        if (name.empty())
            continue;
        PortListEntry entry;
        entry.name = Narrow(name);
        entry.device = SerialDevicePath(entry.name);
        const auto friendly = friendlyNames.find(Upper(name));
        entry.tip = friendly != friendlyNames.end() ? friendly->second
                                                    : Narrow(std::wstring_view(valueName, nameLength));
        ports.push_back(std::move(entry));
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortListEntry& a, const PortListEntry& b) { return NaturalLess(a.name, b.name); });
    return ports;
}

// Windows gives a USB adapter the COM number it had before, by its serial
// number: the name is the stable one.
std::string StablePortName(const std::string& portName) { return portName; }

// Windows has no access rights on serial ports that an open could meet:
// a port that does not open is missing or held by another program.
bool PortAccessDenied(const std::string&) { return false; }

// FTDI's driver keeps each adapter's settings in the device enumeration
// under its bus FTDIBUS: the instance's "Device Parameters" hold the timer
// in LatencyTimer beside PortName.
// Windows has no command for it: the adapter's properties in the Device
// Manager (Port Settings, Advanced) set it.
std::optional<AdapterLatency> AdapterLatencyTimer(const std::string& portName)
{
    std::string name = portName;
    if (name.rfind("\\\\.\\", 0) == 0)
        name.erase(0, 4);
    const std::wstring wanted = Upper(Widen(name));
    const UniqueKey bus = OpenKey(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS");
    if (!bus)
        return std::nullopt;
    std::optional<AdapterLatency> found;
    ForEachPortInstance(bus.get(), [&](HKEY, HKEY parameters, const std::wstring& port) {
        DWORD timer = 0;
        DWORD size = sizeof timer;
        if (port != wanted || ::RegGetValueW(parameters, nullptr, L"LatencyTimer", RRF_RT_REG_DWORD, nullptr,
                                             &timer, &size) != ERROR_SUCCESS)
            return false;
        found = AdapterLatency{static_cast<int>(timer), ""};
        return true;
    });
    return found;
}
