#include "meter_sim.h"

#include "rtu_framer.h"
#include "tcp_address.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kWriteWaitMs = 200;

struct Rate {
    std::uint32_t baud;
    speed_t constant;
};
constexpr Rate kRates[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
                           {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
                           {230400, B230400}, {460800, B460800}, {921600, B921600}};

const Rate* FindRate(std::uint32_t baud)
{
    for (const Rate& r : kRates)
        if (r.baud == baud)
            return &r;
    return nullptr;
}

// The numeric host and port a socket is bound to.
TcpAddress BoundAddress(int fd)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    char host[NI_MAXHOST] = {}, port[NI_MAXSERV] = {};
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        ::getnameinfo(reinterpret_cast<sockaddr*>(&address), size, host, sizeof host, port, sizeof port,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return {};
    return {host, port};
}

} // namespace

MeterSim::MeterSim(MeterSimOptions options) : MeterModel(options), speed_(options.speed), wire_(options.wire) {}

std::uint32_t MeterSim::LineBaud() const
{
    termios tio{};
    if (tcp_ || ::tcgetattr(master_, &tio) != 0)
        return 0;
    for (const Rate& r : kRates)
        if (r.constant == ::cfgetospeed(&tio))
            return r.baud;
    return 0;
}

std::chrono::microseconds MeterSim::WireTime(std::size_t bytes) const
{
    const std::uint32_t baud = wire_ ? LineBaud() : 0;
    return std::chrono::microseconds(baud == 0 ? 0 : bytes * 10'000'000ull / baud);
}

bool MeterSim::KnownSpeed(std::uint32_t baud) { return FindRate(baud) != nullptr; }

bool MeterSim::AtOwnSpeed() const
{
    if (speed_ == 0 || tcp_) // a gateway has no line speed of its own here
        return true;
    const Rate* rate = FindRate(speed_);
    termios tio{};
    return rate && ::tcgetattr(master_, &tio) == 0 && ::cfgetospeed(&tio) == rate->constant;
}

MeterSim::~MeterSim() { Stop(); }

bool MeterSim::Start(std::string* error)
{
    if (Running())
        return true;
    auto fail = [&](const char* what) {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        CloseDescriptors();
        return false;
    };
    termios tio{};
    ::cfmakeraw(&tio);
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, &tio, nullptr) != 0)
        return fail("openpty");
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    const int flags = ::fcntl(master_, F_GETFL);
    if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl");
    portPath_ = name;
    line_ = master_;
    tcp_ = false;
    return StartServing(error);
}

bool MeterSim::StartTcp(const std::string& host, const std::string& port, std::string* error)
{
    if (Running())
        return true;
    auto fail = [&](const std::string& what) {
        if (error)
            *error = what;
        CloseDescriptors();
        return false;
    };
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (const int r = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list); r != 0)
        return fail(host + ":" + port + ": " + ::gai_strerror(r));
    std::string why = host + ":" + port + ": no address";
    for (const addrinfo* a = list; a && listen_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        const int on = 1;
        if (fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            ::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 4) == 0) {
            listen_ = fd;
            break;
        }
        why = host + ":" + port + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
    }
    ::freeaddrinfo(list);
    if (listen_ < 0)
        return fail(why);
    portPath_ = TcpPortName(BoundAddress(listen_));
    tcp_ = true;
    return StartServing(error);
}

bool MeterSim::StartServing(std::string* error)
{
    vanished_ = false;
    stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_ < 0) {
        if (error)
            *error = std::string("eventfd: ") + std::strerror(errno);
        CloseDescriptors();
        return false;
    }
    try {
        server_ = std::thread([this] { Serve(); });
    } catch (const std::system_error& e) {
        if (error)
            *error = std::string("thread: ") + e.what();
        CloseDescriptors();
        return false;
    }
    return true;
}

void MeterSim::Stop()
{
    if (!server_.joinable())
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto r = ::write(stop_, &one, sizeof one);
    server_.join();
    CloseDescriptors();
}

void MeterSim::CloseDescriptors()
{
    if (tcp_ && line_ >= 0)
        ::close(line_);
    line_ = -1;
    for (int* fd : {&master_, &slave_, &listen_, &stop_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool MeterSim::WaitForStop(int ms) const
{
    pollfd p{stop_, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

bool MeterSim::AcceptConnection()
{
    const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return false;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    DropConnection();
    line_ = fd;
    return true;
}

void MeterSim::DropConnection()
{
    if (tcp_ && line_ >= 0)
        ::close(line_);
    if (tcp_)
        line_ = -1;
}

void MeterSim::Serve()
{
    using Clock = std::chrono::steady_clock;
    RtuFramer framer;
    // Answers wait here until they are due, in the order of their requests.
    std::deque<std::pair<Clock::time_point, std::vector<std::uint8_t>>> due;
    // What one connection left behind is not the next one's.
    const auto forget = [&] {
        framer = RtuFramer{};
        due.clear();
    };
    const auto take = [&](const std::vector<std::uint8_t>& frame) {
        if (!AtOwnSpeed())
            return;
        auto answer = Handle(frame.data(), frame.size());
        if (!answer)
            return;
        if (answer->vanish) {
            // As an adapter pulled out (or a gateway switched off): the
            // master's end hangs up.
            CloseLine();
            due.clear();
            return;
        }
        // The request's last byte reached the meter only now on a real line.
        auto when = Clock::now() + WireTime(frame.size()) + std::chrono::milliseconds(answer->delayMs);
        if (!due.empty())
            when = std::max(when, due.back().first);
        due.emplace_back(when, std::move(answer->frame));
    };
    for (;;) {
        while (!vanished_ && !due.empty() && due.front().first <= Clock::now()) {
            WriteAnswer(due.front().second);
            due.pop_front();
        }
        int waitMs = framer.Pending() ? RtuFramer::kSilenceMs : -1;
        if (!due.empty()) {
            const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(due.front().first - Clock::now());
            const int dueMs = static_cast<int>(std::max<std::int64_t>(untilDue.count(), 0));
            waitMs = waitMs < 0 ? dueMs : std::min(waitMs, dueMs);
        }
        // The stop event, then the line and the listening socket while they exist.
        pollfd fds[3] = {{stop_, POLLIN, 0}, {line_, POLLIN, 0}, {listen_, POLLIN, 0}};
        const int r = ::poll(fds, 3, waitMs);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        if (r == 0) {
            if (framer.Pending() && !vanished_) {
                if (auto frame = framer.Silence())
                    take(*frame);
            }
            continue;
        }
        if ((fds[2].revents & POLLIN) && AcceptConnection()) {
            forget();
            continue;
        }
        if (fds[1].revents & POLLIN) {
            std::uint8_t bytes[512];
            const ssize_t n = ::read(line_, bytes, sizeof bytes);
            if (n > 0) {
                framer.Feed(bytes, static_cast<std::size_t>(n));
                while (!vanished_) {
                    auto frame = framer.Next();
                    if (!frame)
                        break;
                    take(*frame);
                }
            } else if (tcp_ && (n == 0 || (errno != EAGAIN && errno != EINTR))) {
                // The master closed or reset its connection.
                DropConnection();
                forget();
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            if (tcp_) {
                DropConnection();
                forget();
            } else if (WaitForStop(10)) {
                // The slave end is held open, so this should not last; do not spin on it.
                return;
            }
        }
    }
}

void MeterSim::CloseLine()
{
    vanished_ = true;
    DropConnection();
    line_ = -1;
    for (int* fd : {&master_, &slave_, &listen_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void MeterSim::WriteAnswer(const std::vector<std::uint8_t>& bytes)
{
    // On the wire, in chunks of about a millisecond's bytes, each handed
    // over when the line would have carried its last byte.
    const std::uint32_t baud = wire_ ? LineBaud() : 0;
    const std::size_t chunk = baud == 0 ? bytes.size() : std::max<std::size_t>(1, baud / 10'000);
    const auto start = std::chrono::steady_clock::now();
    std::size_t done = 0;
    while (line_ >= 0 && done < bytes.size()) {
        const std::size_t size = std::min(chunk, bytes.size() - done);
        if (baud != 0)
            std::this_thread::sleep_until(start + WireTime(done + size));
        // A master that has gone must not end the simulator with SIGPIPE.
        const ssize_t n = tcp_ ? ::send(line_, bytes.data() + done, size, MSG_NOSIGNAL)
                               : ::write(line_, bytes.data() + done, size);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        // Nobody drains the line: give up on this answer rather than hang.
        pollfd fds[2] = {{line_, POLLOUT, 0}, {stop_, POLLIN, 0}};
        if (::poll(fds, 2, kWriteWaitMs) <= 0 || fds[1].revents)
            return;
    }
}
