#include "port_list.h"

#include "streams.h"
#include "wide_text.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

// The serial ports the system has made: the values of the registry key
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM hold the port names ("COM3"), their
// value names the driver's device ("\Device\Serial0", "\Device\VCP0" for a
// USB adapter), which is the tip.
std::vector<PortListEntry> ListSerialPorts()
{
    std::vector<PortListEntry> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = static_cast<DWORD>(std::size(valueName));
        wchar_t data[256] = {};
        DWORD dataSize = sizeof data - sizeof(wchar_t); // room for a terminating zero
        DWORD type = 0;
        const LONG r = ::RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type,
                                       reinterpret_cast<BYTE*>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        PortListEntry entry;
        entry.name = Narrow(std::wstring_view(data, wcsnlen(data, std::size(data))));
        if (entry.name.empty())
            continue;
        entry.device = SerialDevicePath(entry.name);
        entry.tip = Narrow(std::wstring_view(valueName, nameLength));
        ports.push_back(std::move(entry));
    }
    ::RegCloseKey(key);
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

namespace {

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
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

} // namespace

// FTDI's driver keeps each adapter's settings under its bus in the device
// enumeration: the key "Device Parameters" of each instance under
// HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS holds the port's name in
// PortName and the timer in LatencyTimer.
// Windows has no command for it: the adapter's properties in the Device
// Manager (Port Settings, Advanced) set it.
std::optional<AdapterLatency> AdapterLatencyTimer(const std::string& portName)
{
    std::string name = portName;
    if (name.rfind("\\\\.\\", 0) == 0)
        name.erase(0, 4);
    const std::wstring wanted = Upper(Widen(name));
    const std::wstring busPath = L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
    HKEY bus = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, busPath.c_str(), 0, KEY_READ, &bus) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<AdapterLatency> found;
    for (const std::wstring& device : Subkeys(bus)) {
        HKEY deviceKey = nullptr;
        if (::RegOpenKeyExW(bus, device.c_str(), 0, KEY_READ, &deviceKey) != ERROR_SUCCESS)
            continue;
        for (const std::wstring& instance : Subkeys(deviceKey)) {
            const std::wstring parameters = instance + L"\\Device Parameters";
            wchar_t port[64] = {};
            DWORD portSize = sizeof port - sizeof(wchar_t);
            DWORD timer = 0;
            DWORD timerSize = sizeof timer;
            if (::RegGetValueW(deviceKey, parameters.c_str(), L"PortName", RRF_RT_REG_SZ, nullptr, port, &portSize) ==
                    ERROR_SUCCESS &&
                Upper(port) == wanted &&
                ::RegGetValueW(deviceKey, parameters.c_str(), L"LatencyTimer", RRF_RT_REG_DWORD, nullptr, &timer,
                               &timerSize) == ERROR_SUCCESS) {
                found = AdapterLatency{static_cast<int>(timer), ""};
                break;
            }
        }
        ::RegCloseKey(deviceKey);
        if (found)
            break;
    }
    ::RegCloseKey(bus);
    return found;
}
