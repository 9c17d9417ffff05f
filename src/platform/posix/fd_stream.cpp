#include "fd_stream.h"

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/eventfd.h>
#include <unistd.h>

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

UniqueFd::~UniqueFd()
{
    if (fd_ >= 0)
        ::close(fd_);
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

bool FdStream::Adopt(UniqueFd& fd, PortOpenFailure& why)
{
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake) {
        why = {PortOpenError::Failed, errno};
        return false;
    }
    fd_ = fd.release();
    wakeFd_ = wake.release();
    why = {};
    return true;
}

void FdStream::Interrupt()
{
    // Not under ioLock_: a write in progress holds it until it sees the
    // wake. Only Open and Close, on the caller's thread, change wakeFd_.
    const int wake = wakeFd_.load();
    if (wake < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto r = ::write(wake, &one, sizeof one);
}

void FdStream::Close()
{
    Interrupt();
    std::lock_guard lock(ioLock_);
    if (const int fd = fd_.load(); fd >= 0) {
        Release(fd);
        ::close(fd);
    }
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    fd_ = -1;
    wakeFd_ = -1;
}

bool FdStream::IsOpen() const
{
    return fd_.load() >= 0;
}

FdStream::ReadStatus FdStream::WaitReadable(int fd, int wake, std::optional<std::chrono::nanoseconds> waitFor,
                                            short& revents) const
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    timespec limit{};
    if (waitFor)
        limit = ToTimespec(*waitFor);
    for (;;) {
        const int r = ::ppoll(fds, 2, waitFor ? &limit : nullptr, nullptr);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return ReadStatus::Failed;
        if (fds[1].revents)
            return ReadStatus::Interrupted;
        if (r == 0)
            return ReadStatus::Quiet;
        revents = fds[0].revents;
        if (revents & POLLNVAL)
            return ReadStatus::Lost;
        return ReadStatus::Bytes;
    }
}

FdStream::ReadStatus FdStream::Await(std::optional<std::chrono::nanoseconds> waitFor)
{
    const int fd = fd_.load();
    if (fd < 0)
        return ReadStatus::Interrupted;
    short revents = 0;
    return WaitReadable(fd, wakeFd_.load(), waitFor, revents);
}

bool FdStream::InputWaiting() const
{
    const int fd = fd_.load();
    int waiting = 0;
    return fd >= 0 && ::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0;
}

FdStream::ReadResult FdStream::Read(std::uint8_t* buffer, std::size_t capacity,
                                    std::optional<std::chrono::nanoseconds> waitFor)
{
    const int fd = fd_.load();
    if (fd < 0)
        return {ReadStatus::Interrupted};
    // A wait without limit is for the first byte of a frame, which is
    // mostly not there yet: it waits first. A timed wait is for the rest of
    // a frame, which mostly is there already: it reads first.
    bool waited = false;
    short revents = 0;
    for (;;) {
        if (waitFor || waited) {
            // The descriptor does not block.
            const ssize_t n = ::read(fd, buffer, capacity);
            if (n > 0)
                return {ReadStatus::Bytes, static_cast<std::size_t>(n)};
            if (n < 0 && Gone(errno))
                return {ReadStatus::Lost};
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return {ReadStatus::Failed};
            // A terminal without bytes reads 0; after the wait said there
            // was something, 0 or a hang-up is the other end gone.
            if (waited && (n == 0 || (revents & POLLHUP)))
                return {ReadStatus::Lost};
        }
        const ReadStatus status = WaitReadable(fd, wakeFd_.load(), waitFor, revents);
        if (status != ReadStatus::Bytes)
            return {status};
        waited = true;
    }
}

FdStream::WriteResult FdStream::Write(const std::uint8_t* bytes, std::size_t count, std::uint32_t timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    std::lock_guard lock(ioLock_);
    const int fd = fd_.load();
    if (fd < 0)
        return WriteResult::Failed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeFd_.load(), POLLIN, 0}};
    while (done < count) {
        const ssize_t n = WriteSome(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return Gone(errno) ? WriteResult::Lost : WriteResult::Failed;
        timespec left{};
        timespec* limit = nullptr;
        if (timeoutMs != kInfinite) {
            const auto remaining = deadline - Clock::now();
            if (remaining <= Clock::duration::zero()) {
                DiscardOutput(fd);
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
