#include "serial_port.h"

#include "pty_pair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

TEST(SerialPort, PortNamesMapToDevices)
{
    EXPECT_EQ(SerialPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialPort::DevicePath("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(SerialPort::DevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialPort::DevicePath("com12"), "/dev/ttyS11");
    EXPECT_EQ(SerialPort::DevicePath("COM0"), "/dev/COM0");
    EXPECT_EQ(SerialPort::DevicePath("COMX"), "/dev/COMX");
}

TEST(SerialPort, OpenRefusesMissingDevicesUnknownRatesAndASecondOpen)
{
    PtyPair pty;
    SerialPort port;
    EXPECT_FALSE(port.Open("/dev/nonexistent-port-for-test", 115200));
    EXPECT_FALSE(port.Open(pty.SlavePath(), 12345));
    EXPECT_FALSE(port.Open("/dev/null", 115200)); // not a terminal
    ASSERT_TRUE(port.Open(pty.SlavePath(), 115200));
    EXPECT_FALSE(port.Open(pty.SlavePath(), 115200));
    SerialPort other;
    EXPECT_FALSE(other.Open(pty.SlavePath(), 9600)); // held exclusively
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(other.Open(pty.SlavePath(), 9600));
}

TEST(SerialPort, CloseEndsAReadThatWaitsForItsFirstByte)
{
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 115200));
    int result = 0;
    std::thread reader([&] {
        std::uint8_t buf[256];
        result = port.ReadFrame(buf, sizeof buf);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    port.Interrupt();
    reader.join();
    EXPECT_EQ(result, -1);
    port.Close();
}

TEST(SerialPort, ReadCollectsUntilSilenceAndCutsAtCapacity)
{
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 115200));
    std::vector<std::uint8_t> burst(300);
    for (std::size_t i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<std::uint8_t>(i);
    pty.Write(burst);
    std::uint8_t buf[256];
    ASSERT_EQ(port.ReadFrame(buf, sizeof buf), 256);
    EXPECT_EQ(buf[255], 255);
    ASSERT_EQ(port.ReadFrame(buf, sizeof buf), 44);
    EXPECT_EQ(buf[0], 0);
}

TEST(SerialPort, WriteReachesThePeer)
{
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 115200));
    const std::uint8_t bytes[] = {1, 2, 3, 0x0A, 0x0D, 0x11, 0x13};
    EXPECT_EQ(port.Write(bytes, sizeof bytes, 100), SerialPort::WriteResult::Ok);
    EXPECT_EQ(pty.Read(), (std::vector<std::uint8_t>{1, 2, 3, 0x0A, 0x0D, 0x11, 0x13}));
    port.Close();
    EXPECT_EQ(port.Write(bytes, sizeof bytes, 100), SerialPort::WriteResult::Failed);
}
