#include "serial_port.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
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

// A descriptor closed when it goes out of scope, unless released.
class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    explicit operator bool() const { return fd_ >= 0; }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

timespec ToTimespec(std::chrono::nanoseconds d)
{
    if (d.count() < 0)
        d = std::chrono::nanoseconds(0);
    timespec ts;
    ts.tv_sec = static_cast<time_t>(d.count() / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(d.count() % 1'000'000'000);
    return ts;
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

bool SerialPort::Open(const std::string& portName, std::uint32_t baud, PortOpenFailure* why)
{
    PortOpenFailure failure;
    const bool opened = OpenDevice(portName, baud, failure);
    if (why)
        *why = failure;
    return opened;
}

bool SerialPort::OpenDevice(const std::string& portName, std::uint32_t baud, PortOpenFailure& why)
{
    std::lock_guard lock(ioLock_);
    const auto fail = [&why](PortOpenError error, int systemError = 0) {
        why = {error, systemError};
        return false;
    };
    if (fd_ >= 0)
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
    if (!BaudConstant(baud, speed))
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

    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake)
        return fail(PortOpenError::Failed, errno);
    // Whatever an earlier program left in the queues is not ours.
    ::tcflush(fd.get(), TCIOFLUSH);
    // Nothing fails after this, so a refused open never leaves the tty
    // exclusive behind it.
    if (::ioctl(fd.get(), TIOCEXCL) != 0)
        return fail(PortOpenError::Failed, errno);
    fd_ = fd.release();
    wakeFd_ = wake.release();
    why = {};
    return true;
}

void SerialPort::Interrupt()
{
    // Not under ioLock_: a write in progress holds it until it sees the
    // wake. Only Open and Close, on the caller's thread, change wakeFd_.
    const int wake = wakeFd_.load();
    if (wake < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto r = ::write(wake, &one, sizeof one);
}

void SerialPort::Close()
{
    Interrupt();
    std::lock_guard lock(ioLock_);
    ReleaseDescriptors();
}

void SerialPort::ReleaseDescriptors()
{
    if (fd_ >= 0) {
        // The exclusive mode belongs to the tty, not to this descriptor: it
        // would outlive us while another process holds the device open (a
        // simulator keeping its pty), locking everyone else out.
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    fd_ = -1;
    wakeFd_ = -1;
}

bool SerialPort::IsOpen() const
{
    std::lock_guard lock(ioLock_);
    return fd_ >= 0;
}

SerialPort::ReadResult SerialPort::Read(std::uint8_t* buffer, std::size_t capacity,
                                        std::optional<std::chrono::nanoseconds> waitFor)
{
    // The reader thread is joined before the descriptors are released, so
    // they stay valid here without the lock.
    int fd, wake;
    {
        std::lock_guard lock(ioLock_);
        fd = fd_;
        wake = wakeFd_;
    }
    if (fd < 0)
        return {ReadStatus::Interrupted};
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    timespec limit{};
    if (waitFor)
        limit = ToTimespec(*waitFor);
    for (;;) {
        const int r = ::ppoll(fds, 2, waitFor ? &limit : nullptr, nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return {ReadStatus::Failed};
        }
        if (fds[1].revents)
            return {ReadStatus::Interrupted};
        if (r == 0)
            return {ReadStatus::Quiet};
        if (fds[0].revents & POLLNVAL)
            return {ReadStatus::Lost};
        // A hang-up may still leave bytes to read; the read tells.
        const ssize_t n = ::read(fd, buffer, capacity);
        if (n > 0)
            return {ReadStatus::Bytes, static_cast<std::size_t>(n)};
        if (n == 0 || DeviceGone(errno) || (fds[0].revents & POLLHUP))
            return {ReadStatus::Lost};
        if (errno == EAGAIN || errno == EINTR)
            continue;
        return {ReadStatus::Failed};
    }
}

SerialPort::WriteResult SerialPort::Write(const std::uint8_t* bytes, std::size_t count, std::uint32_t timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    std::lock_guard lock(ioLock_);
    if (fd_ < 0)
        return WriteResult::Failed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
    while (done < count) {
        const ssize_t n = ::write(fd_, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return DeviceGone(errno) ? WriteResult::Lost : WriteResult::Failed;
        timespec left{};
        timespec* limit = nullptr;
        if (timeoutMs != kInfinite) {
            const auto remaining = deadline - Clock::now();
            if (remaining <= Clock::duration::zero()) {
                ::tcflush(fd_, TCOFLUSH);
                return WriteResult::TimedOut;
            }
            left = ToTimespec(remaining);
            limit = &left;
        }
        const int r = ::ppoll(fds, 2, limit, nullptr);
        if (r < 0 && errno != EINTR)
            return WriteResult::Failed;
        if (fds[1].revents)
            return WriteResult::Failed;
        if (fds[0].revents & (POLLHUP | POLLNVAL))
            return WriteResult::Lost;
        if (fds[0].revents & POLLERR)
            return WriteResult::Failed;
    }
    return WriteResult::Ok;
}
