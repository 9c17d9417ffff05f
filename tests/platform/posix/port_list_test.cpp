// The Linux port list, read from a made-up sysfs tree: which ttys are
// serial ports, their order, their stable names and their access.

#include "sysfs_ports.h"
#include "temp_dir.h"
#include "unprivileged.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct FakeTty {
    const char* name;
    const char* driver;  // nullptr: a virtual tty without a device
    const char* type;    // the UART type file, nullptr: none
    fs::perms devicePerms;
};

} // namespace

TEST(PortList, DeviceBackedTtysInNaturalOrderWithStableNamesAndAccess)
{
    TempDir dir;
    const SysfsPlaces places{dir.File("class/tty"), dir.File("dev"), dir.File("dev/serial/by-id")};
    fs::create_directories(places.ttyClass);
    fs::create_directories(places.byId);
    const auto rw = fs::perms::owner_read | fs::perms::owner_write;
    const FakeTty ttys[] = {
        {"ttyUSB10", "ftdi_sio", nullptr, rw},
        {"ttyS0", "serial8250", "0", rw}, // a placeholder of the 8250 driver
        {"ttyS1", "serial8250", "4", rw},
        {"tty0", nullptr, nullptr, rw},   // a console
        {"ttyUSB2", "ftdi_sio", nullptr, fs::perms::none},
        {"ttyACM0", "cdc_acm", nullptr, rw},
        {"ttyUSB1", "pl2303", nullptr, rw},
    };
    for (const FakeTty& t : ttys) {
        const fs::path tty = fs::path(places.ttyClass) / t.name;
        fs::create_directories(tty);
        if (t.driver) {
            const fs::path device = dir.Path() / "devices" / t.name;
            fs::create_directories(device);
            fs::create_directories(dir.Path() / "drivers" / t.driver);
            fs::create_directory_symlink(dir.Path() / "drivers" / t.driver, device / "driver");
            fs::create_directory_symlink(device, tty / "device");
        }
        if (t.type)
            WriteText((tty / "type").string(), std::string(t.type) + "\n");
        const std::string node = places.devices + "/" + t.name;
        WriteText(node, "");
        fs::permissions(node, t.devicePerms);
    }
    fs::create_symlink("../../ttyUSB1", fs::path(places.byId) / "usb-Prolific_PL2303-if00-port0");
    fs::create_symlink("../../ttyACM0", fs::path(places.byId) / "usb-Meter_Bridge_42-if00");

    std::vector<PortListEntry> ports;
    {
        UnprivilegedFileAccess asUser;
        ports = ListSerialPortsIn(places);
    }
    struct Expected {
        const char* name;
        const char* stableName; // "" for none
        bool accessible;
    };
    const Expected expected[] = {
        {"ttyACM0", "usb-Meter_Bridge_42-if00", true},
        {"ttyS1", "", true},
        {"ttyUSB1", "usb-Prolific_PL2303-if00-port0", true},
        {"ttyUSB2", "", false},
        {"ttyUSB10", "", true},
    };
    ASSERT_EQ(ports.size(), std::size(expected));
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const Expected& e = expected[i];
        EXPECT_EQ(ports[i].name, e.name);
        EXPECT_EQ(ports[i].device, places.devices + "/" + e.name);
        EXPECT_EQ(ports[i].tip, *e.stableName ? places.byId + "/" + e.stableName : "") << e.name;
        EXPECT_EQ(ports[i].accessible, e.accessible) << e.name;
        EXPECT_EQ(ports[i].noAccessReason.empty(), e.accessible) << e.name;
    }
}

TEST(PortList, NaturalOrderComparesNumbersByValue)
{
    struct Case {
        const char* a;
        const char* b;
        bool less;
    };
    const Case cases[] = {
        {"COM2", "COM10", true},   {"COM10", "COM2", false}, {"COM9", "COM9", false},
        {"ttyS2", "ttyUSB0", true}, {"ttyUSB9", "ttyUSB10", true}, {"COM1", "COM1a", true},
        {"COM01", "COM1", true},    {"COM1", "COM01", false},  {"a10b2", "a10b10", true},
        {"COM100", "COM99", false}, {"", "COM1", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NaturalLess(c.a, c.b), c.less) << c.a << " < " << c.b;
}
