#include "port_list.h"

#include "streams.h"
#include "wide_text.h"

#include <windows.h>

#include <algorithm>

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

// Windows has no access rights on serial ports that an open could meet:
// a port that does not open is missing or held by another program.
bool PortAccessDenied(const std::string&) { return false; }
