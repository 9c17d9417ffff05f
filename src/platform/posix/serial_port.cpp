#include "serial_port.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

bool BaudConstant(std::uint32_t baud, speed_t& out)
{
    struct Entry {
        std::uint32_t rate;
        speed_t constant;
    };
    static constexpr Entry kRates[] = {
        {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
        {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
        {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
        {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
        {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Entry& e : kRates) {
        if (e.rate == baud) {
            out = e.constant;
            return true;
        }
    }
    return false;
}

bool DeviceGone(int error) { return error == EIO || error == ENODEV || error == ENXIO || error == EPIPE; }

PortOpenError OpenErrorOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return PortOpenError::NoSuchPort;
    case EACCES:
    case EPERM:
        return PortOpenError::PermissionDenied;
    case EBUSY:
        return PortOpenError::Busy;
    case EISDIR:
        return PortOpenError::NotSerialPort;
    default:
        return PortOpenError::Failed;
    }
}

// Puts the driver into RS-485 mode with RTS on while sending, or reports the
// errno of the refusal. `before` receives what the driver had, to be put
// back when the open fails later.
int EnterRs485(int fd, const LineOptions& line, serial_rs485& before)
{
    if (::ioctl(fd, TIOCGRS485, &before) != 0)
        return errno;
    serial_rs485 wanted{};
    wanted.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    wanted.delay_rts_before_send = line.delayBeforeMs;
    wanted.delay_rts_after_send = line.delayAfterMs;
    if (::ioctl(fd, TIOCSRS485, &wanted) != 0)
        return errno;
    return 0;
}

// Raises or drops DTR and RTS as the options hold them; RTS is left to the
// driver in RS-485 mode. The errno of a refusal, else 0.
int HoldLines(int fd, const LineOptions& line)
{
    const auto hold = [fd](LineHold how, int bit) {
        if (how == LineHold::Keep)
            return 0;
        if (::ioctl(fd, how == LineHold::On ? TIOCMBIS : TIOCMBIC, &bit) != 0)
            return errno;
        return 0;
    };
    if (const int error = hold(line.dtr, TIOCM_DTR))
        return error;
    return line.rs485 ? 0 : hold(line.rts, TIOCM_RTS);
}

} // namespace

SerialPort::~SerialPort() { Close(); }

std::string SerialPort::DevicePath(const std::string& portName)
{
    if (!portName.empty() && portName.front() == '/')
        return portName;
    if (portName.size() > 3 && (portName[0] == 'C' || portName[0] == 'c') &&
        (portName[1] == 'O' || portName[1] == 'o') && (portName[2] == 'M' || portName[2] == 'm')) {
        const std::string digits = portName.substr(3);
        bool allDigits = digits.size() <= 4;
        for (char c : digits)
            allDigits = allDigits && c >= '0' && c <= '9';
        if (allDigits) {
            const int n = std::atoi(digits.c_str());
            if (n >= 1)
                return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    return "/dev/" + portName;
}

bool SerialPort::Open(const std::string& portName, const StreamSettings& settings, PortOpenFailure* why)
{
    PortOpenFailure failure;
    const bool opened = OpenDevice(portName, settings, failure);
    if (why)
        *why = failure;
    return opened;
}

bool SerialPort::OpenDevice(const std::string& portName, const StreamSettings& settings, PortOpenFailure& why)
{
    std::lock_guard lock(ioLock_);
    const auto fail = [&why](PortOpenError error, int systemError = 0) {
        why = {error, systemError};
        return false;
    };
    if (HoldsDescriptor())
        return fail(PortOpenError::AlreadyOpen);
    if (portName.empty())
        return fail(PortOpenError::NoSuchPort);

    const std::string path = DevicePath(portName);
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return fail(OpenErrorOf(errno), errno);
    if (!::isatty(fd.get()))
        return fail(PortOpenError::NotSerialPort);
    // Another program of ours (or one that honours flock) holding the port
    // keeps us out; TIOCEXCL, set last, keeps out later opens by others.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? PortOpenError::Busy : PortOpenError::Failed, errno);

    speed_t speed;
    if (!BaudConstant(settings.baud, speed))
        return fail(PortOpenError::SpeedRefused);
    termios tio{};
    if (::tcgetattr(fd.get(), &tio) != 0)
        return fail(PortOpenError::Failed, errno);
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
        return fail(PortOpenError::SpeedRefused, errno);
    if (::tcsetattr(fd.get(), TCSANOW, &tio) != 0)
        return fail(errno == EINVAL ? PortOpenError::SpeedRefused : PortOpenError::Failed, errno);
    termios check{};
    if (::tcgetattr(fd.get(), &check) != 0)
        return fail(PortOpenError::Failed, errno);
    if (::cfgetospeed(&check) != speed)
        return fail(PortOpenError::SpeedRefused);

    // The driver keeps its RS-485 mode after the port closes: an open that
    // fails after entering it puts back what the driver had.
    const LineOptions& line = settings.line;
    serial_rs485 rs485Before{};
    const auto undoRs485 = [&] {
        if (line.rs485)
            ::ioctl(fd.get(), TIOCSRS485, &rs485Before);
    };
    if (line.rs485) {
        if (const int error = EnterRs485(fd.get(), line, rs485Before))
            return fail(PortOpenError::Rs485Refused, error);
    }
    if (const int error = HoldLines(fd.get(), line)) {
        undoRs485();
        return fail(PortOpenError::LinesRefused, error);
    }

    // Whatever an earlier program left in the queues is not ours.
    ::tcflush(fd.get(), TCIOFLUSH);
    // Exclusive last, and undone when the open fails after all, so that a
    // refused open never leaves the tty exclusive behind it.
    if (::ioctl(fd.get(), TIOCEXCL) != 0) {
        undoRs485();
        return fail(PortOpenError::Failed, errno);
    }
    if (!Adopt(fd, why)) {
        ::ioctl(fd.get(), TIOCNXCL);
        undoRs485();
        return false;
    }
    return true;
}

bool SerialPort::Gone(int error) const { return DeviceGone(error); }

ssize_t SerialPort::WriteSome(int fd, const std::uint8_t* bytes, std::size_t count)
{
    return ::write(fd, bytes, count);
}

void SerialPort::DiscardOutput(int fd) { ::tcflush(fd, TCOFLUSH); }

void SerialPort::Release(int fd)
{
    // The exclusive mode belongs to the tty, not to this descriptor: it
    // would outlive us while another process holds the device open (a
    // simulator keeping its pty), locking everyone else out.
    ::ioctl(fd, TIOCNXCL);
}

