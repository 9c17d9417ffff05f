// The Linux port list, read from a made-up sysfs tree: which ttys are
// serial ports, their order, their stable names and their access; and the
// latency timers of USB adapters.

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
    const char* usbSerial = nullptr; // the USB device's serial, "" a USB device without one
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
        {"ttyUSB10", "ftdi_sio", nullptr, rw, "A50285BI"},
        {"ttyS0", "serial8250", "0", rw}, // a placeholder of the 8250 driver
        {"ttyS1", "serial8250", "4", rw},
        {"tty0", nullptr, nullptr, rw},   // a console
        {"ttyUSB2", "ftdi_sio", nullptr, fs::perms::none},
        {"ttyACM0", "cdc_acm", nullptr, rw, "42"},
        {"ttyACM1", "cdc_acm", nullptr, rw, ""}, // not the root hub's
        {"ttyUSB1", "pl2303", nullptr, rw, ""},
    };
    for (const FakeTty& t : ttys) {
        const fs::path tty = fs::path(places.ttyClass) / t.name;
        fs::create_directories(tty);
        if (t.driver) {
            // A USB device (1-1, with idVendor and maybe serial) above the
            // interface (1-1:1.0) above the tty's own device, as usb-serial
            // makes it; the root hub above has a serial of its own.
            const fs::path hub = dir.Path() / "devices" / t.name / "usb1";
            const bool acm = std::string(t.driver) == "cdc_acm"; // its tty's device is the interface
            const fs::path device = acm ? hub / "1-1" / "1-1:1.0" : hub / "1-1" / "1-1:1.0" / t.name;
            fs::create_directories(device);
            WriteText((hub / "idVendor").string(), "1d6b\n");
            WriteText((hub / "serial").string(), "0000:00:14.0\n");
            if (t.usbSerial) {
                WriteText((hub / "1-1" / "idVendor").string(), "0403\n");
                if (*t.usbSerial)
                    WriteText((hub / "1-1" / "serial").string(), std::string(t.usbSerial) + "\n");
            }
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
        const char* usbSerial;
    };
    const Expected expected[] = {
        {"ttyACM0", "usb-Meter_Bridge_42-if00", true, "42"},
        {"ttyACM1", "", true, ""},
        {"ttyS1", "", true, ""},
        {"ttyUSB1", "usb-Prolific_PL2303-if00-port0", true, ""},
        {"ttyUSB2", "", false, ""},
        {"ttyUSB10", "", true, "A50285BI"},
    };
    ASSERT_EQ(ports.size(), std::size(expected));
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const Expected& e = expected[i];
        EXPECT_EQ(ports[i].name, e.name);
        EXPECT_EQ(ports[i].device, places.devices + "/" + e.name);
        EXPECT_EQ(ports[i].tip, *e.stableName ? places.byId + "/" + e.stableName : "") << e.name;
        EXPECT_EQ(ports[i].stableName, ports[i].tip) << e.name;
        EXPECT_EQ(ports[i].accessible, e.accessible) << e.name;
        EXPECT_EQ(ports[i].noAccessReason.empty(), e.accessible) << e.name;
        EXPECT_EQ(ports[i].usbSerial, e.usbSerial) << e.name;
    }
}

TEST(PortList, LatencyTimerAndStableNameOfTheUsbAdapterBehindADevice)
{
    TempDir dir;
    SysfsPlaces places;
    places.devices = dir.File("dev");
    places.byId = dir.File("dev/serial/by-id");
    places.usbSerial = dir.File("bus/usb-serial/devices");
    fs::create_directories(places.byId);
    const struct {
        const char* tty;
        const char* timer; // the latency_timer file's text, nullptr: no adapter entry
    } adapters[] = {{"ttyUSB0", "16\n"}, {"ttyUSB1", "1\n"}, {"ttyUSB2", "fast\n"},
                    {"ttyUSB3", "256\n"}, {"ttyUSB4", ""}, {"ttyS0", nullptr}};
    for (const auto& a : adapters) {
        WriteText(places.devices + "/" + a.tty, "");
        if (a.timer) {
            fs::create_directories(fs::path(places.usbSerial) / a.tty);
            WriteText((fs::path(places.usbSerial) / a.tty / "latency_timer").string(), a.timer);
        }
    }
    fs::create_symlink("../../ttyUSB0", fs::path(places.byId) / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

    const std::string timerFile = places.usbSerial + "/ttyUSB0/latency_timer";
    const struct {
        std::string device;
        int ms; // -1: no timer shown
    } cases[] = {
        {places.devices + "/ttyUSB0", 16},
        {places.byId + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", 16},
        {places.devices + "/ttyUSB1", 1},
        {places.devices + "/ttyUSB2", -1}, // not a number
        {places.devices + "/ttyUSB3", -1}, // beyond what the driver takes
        {places.devices + "/ttyUSB4", -1}, // empty
        {places.devices + "/ttyS0", -1},   // no USB adapter
        {places.devices + "/ttyUSB9", -1}, // no such device
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        const std::optional<AdapterLatency> latency = AdapterLatencyTimerIn(places, c.device);
        ASSERT_EQ(latency.has_value(), c.ms >= 0);
        if (latency) {
            EXPECT_EQ(latency->ms, c.ms);
        }
    }
    EXPECT_EQ(AdapterLatencyTimerIn(places, places.devices + "/ttyUSB0")->lowerCommand,
              "echo 1 | sudo tee " + timerFile);

    // The name that finds the same adapter after a replug.
    const std::string stable = places.byId + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const struct {
        std::string port;
        std::string expected;
    } names[] = {
        {places.devices + "/ttyUSB0", stable},
        {stable, stable},
        {places.devices + "/ttyS0", places.devices + "/ttyS0"},
        {places.devices + "/ttyUSB9", places.devices + "/ttyUSB9"}, // gone already
    };
    for (const auto& n : names)
        EXPECT_EQ(StablePortNameIn(places, n.port), n.expected) << n.port;
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
