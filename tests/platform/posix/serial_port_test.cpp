#include "serial_port.h"

#include "pty_pair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

TEST(SerialPort, PortNamesMapToDevices)
{
    EXPECT_EQ(SerialPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialPort::DevicePath("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(SerialPort::DevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialPort::DevicePath("com12"), "/dev/ttyS11");
    EXPECT_EQ(SerialPort::DevicePath("COM0"), "/dev/COM0");
    EXPECT_EQ(SerialPort::DevicePath("COMX"), "/dev/COMX");
}

// What an open of `path` by an unprivileged user ends in, tried in a child
// process; nullopt when this test cannot become one.
std::optional<PortOpenError> OpenAsAnotherUser(const std::string& path)
{
    if (::geteuid() != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        SerialPort port;
        PortOpenFailure why;
        port.Open(path, 9600, &why);
        ::_exit(static_cast<int>(why.error));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 100)
        return std::nullopt;
    return static_cast<PortOpenError>(WEXITSTATUS(status));
}

TEST(SerialPort, OpenSaysWhyItFailed)
{
    PtyPair pty;
    SerialPort held;
    ASSERT_TRUE(held.Open(pty.SlavePath(), 115200));
    const struct {
        const char* name;
        std::string path;
        std::uint32_t baud;
        PortOpenError error;
    } cases[] = {
        {"missing device", "/dev/nonexistent-port-for-test", 115200, PortOpenError::NoSuchPort},
        {"missing folder", "/nonexistent/port", 115200, PortOpenError::NoSuchPort},
        {"not a terminal", "/dev/null", 115200, PortOpenError::NotSerialPort},
        {"a folder", "/tmp", 115200, PortOpenError::NotSerialPort},
        {"held by another", pty.SlavePath(), 115200, PortOpenError::Busy},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SerialPort port;
        PortOpenFailure why;
        EXPECT_FALSE(port.Open(c.path, c.baud, &why));
        EXPECT_EQ(why.error, c.error);
        EXPECT_FALSE(port.IsOpen());
    }
    PortOpenFailure why;
    EXPECT_FALSE(held.Open(pty.SlavePath(), 115200, &why));
    EXPECT_EQ(why.error, PortOpenError::AlreadyOpen);
    EXPECT_TRUE(held.IsOpen());
    held.Close();

    SerialPort port;
    EXPECT_FALSE(port.Open(pty.SlavePath(), 12345, &why));
    EXPECT_EQ(why.error, PortOpenError::SpeedRefused);
    // The refused open left the tty open to others: no exclusive mode, no lock.
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
    if (const auto other = OpenAsAnotherUser(pty.SlavePath())) {
        EXPECT_EQ(*other, PortOpenError::None);
    }
    ASSERT_TRUE(port.Open(pty.SlavePath(), 9600));
    // Held now: another user is kept out by the exclusive mode.
    if (const auto other = OpenAsAnotherUser(pty.SlavePath())) {
        EXPECT_EQ(*other, PortOpenError::Busy);
    }
    port.Close();
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0600), 0);
    if (const auto other = OpenAsAnotherUser(pty.SlavePath())) {
        EXPECT_EQ(*other, PortOpenError::PermissionDenied);
    }
}

TEST(SerialPort, CloseEndsAReadThatWaitsForItsFirstByte)
{
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 115200));
    SerialPort::ReadStatus result = SerialPort::ReadStatus::Bytes;
    std::thread reader([&] {
        std::uint8_t buf[256];
        result = port.Read(buf, sizeof buf, std::nullopt).status;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    port.Interrupt();
    reader.join();
    EXPECT_EQ(result, SerialPort::ReadStatus::Interrupted);
    port.Close();
}

TEST(SerialPort, ReadTakesWhatHasComeUpToItsCapacity)
{
    using namespace std::chrono_literals;
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 115200));
    std::uint8_t buf[256];
    EXPECT_EQ(port.Read(buf, sizeof buf, 20ms).status, SerialPort::ReadStatus::Quiet);
    pty.Write({1, 2, 3, 4, 5, 6});
    const auto first = port.Read(buf, 4, 1s);
    ASSERT_EQ(first.status, SerialPort::ReadStatus::Bytes);
    EXPECT_EQ(first.count, 4u);
    const auto rest = port.Read(buf, sizeof buf, 1s);
    ASSERT_EQ(rest.status, SerialPort::ReadStatus::Bytes);
    EXPECT_EQ(rest.count, 2u);
    EXPECT_EQ(buf[1], 6);
}

TEST(SerialPort, APeerThatGoesIsALostPort)
{
    auto pty = std::make_unique<PtyPair>();
    SerialPort port;
    ASSERT_TRUE(port.Open(pty->SlavePath(), 115200));
    pty.reset();
    std::uint8_t buf[16];
    EXPECT_EQ(port.Read(buf, sizeof buf, std::nullopt).status, SerialPort::ReadStatus::Lost);
    EXPECT_EQ(port.Write(buf, sizeof buf, 100), SerialPort::WriteResult::Lost);
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

// A pseudo-terminal has neither RS-485 mode nor modem lines: the kernel
// answers TIOCSRS485 and TIOCMBIS/TIOCMBIC with ENOTTY. Each refusal fails
// the open with its own error, the port ends closed and open to the next
// open, and lines kept as they are open as always.
TEST(SerialPort, LineOptionsADriverRefusesFailTheOpen)
{
    PtyPair pty;
    const auto with = [](auto change) {
        LineOptions line;
        change(line);
        return line;
    };
    const struct {
        const char* name;
        LineOptions line;
        PortOpenError error;
    } cases[] = {
        {"RS-485 mode", with([](LineOptions& l) { l.rs485 = true; }), PortOpenError::Rs485Refused},
        {"RS-485 mode with delays", with([](LineOptions& l) { l = {true, 5, 10, LineHold::Keep, LineHold::Keep}; }),
         PortOpenError::Rs485Refused},
        {"RS-485 mode and DTR on", with([](LineOptions& l) { l = {true, 0, 0, LineHold::On, LineHold::Keep}; }),
         PortOpenError::Rs485Refused},
        {"DTR on", with([](LineOptions& l) { l.dtr = LineHold::On; }), PortOpenError::LinesRefused},
        {"DTR off", with([](LineOptions& l) { l.dtr = LineHold::Off; }), PortOpenError::LinesRefused},
        {"RTS on", with([](LineOptions& l) { l.rts = LineHold::On; }), PortOpenError::LinesRefused},
        {"RTS off", with([](LineOptions& l) { l.rts = LineHold::Off; }), PortOpenError::LinesRefused},
        {"both kept", LineOptions{}, PortOpenError::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SerialPort port;
        PortOpenFailure why;
        EXPECT_EQ(port.Open(pty.SlavePath(), StreamSettings{9600, {}, c.line}, &why), c.error == PortOpenError::None);
        EXPECT_EQ(why.error, c.error);
        EXPECT_EQ(why.systemError, c.error == PortOpenError::None ? 0 : ENOTTY);
        EXPECT_EQ(port.IsOpen(), c.error == PortOpenError::None);
        port.Close();
        // Nothing of the refused open holds the tty: the next open works.
        SerialPort next;
        EXPECT_TRUE(next.Open(pty.SlavePath(), 9600));
    }
}
