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

bool SerialPort::Open(const std::string& portName, std::uint32_t baud)
{
    std::lock_guard lock(ioLock_);
    if (fd_ >= 0)
        return false;
    speed_t speed;
    if (portName.empty() || !BaudConstant(baud, speed))
        return false;

    const std::string path = DevicePath(portName);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    auto fail = [fd] {
        ::close(fd);
        return false;
    };
    if (!::isatty(fd))
        return fail();
    // Another program of ours (or one that honours flock) holding the port
    // keeps us out; TIOCEXCL keeps out later opens by other programs.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail();
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail();

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return fail();
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
        return fail();
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return fail();
    termios check{};
    if (::tcgetattr(fd, &check) != 0 || ::cfgetospeed(&check) != speed)
        return fail();
    ::tcflush(fd, TCIOFLUSH);

    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0)
        return fail();
    fd_ = fd;
    wakeFd_ = wake;
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

int SerialPort::ReadFrame(std::uint8_t* buffer, std::size_t capacity)
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
        return -1;
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    std::size_t total = 0;
    for (;;) {
        timespec silence = ToTimespec(std::chrono::milliseconds(kSilenceMs));
        const int r = ::ppoll(fds, 2, total == 0 ? nullptr : &silence, nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (fds[1].revents)
            return -1;
        if (r == 0)
            return static_cast<int>(total);
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(fd, buffer + total, capacity - total);
            if (n > 0) {
                total += static_cast<std::size_t>(n);
                if (total >= capacity)
                    return static_cast<int>(total);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
        }
        // Hang-up or error: hand over what came, report the failure next time.
        return total > 0 ? static_cast<int>(total) : -1;
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
            return WriteResult::Failed;
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
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            return WriteResult::Failed;
    }
    return WriteResult::Ok;
}
