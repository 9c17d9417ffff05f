#include "tcp_connection.h"

#include "tcp_address.h"

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A peer that stops acknowledging, or a line that stays idle without a
// sign of the peer, ends the connection within about this long.
constexpr int kKeepIdleS = 5;
constexpr int kKeepIntervalS = 2;
constexpr int kKeepCount = 3;
constexpr unsigned kUnacknowledgedMs = 10000;

struct AddressList {
    addrinfo* list = nullptr;
    AddressList() = default;
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;
    ~AddressList()
    {
        if (list)
            ::freeaddrinfo(list);
    }
};

// A host name lookup on a thread of its own, so that a resolver that does
// not answer cannot hold the open past its deadline; the thread ends on its
// own when the lookup does.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int result = EAI_AGAIN;
    AddressList addresses;
};

PortOpenError LookupError(int result)
{
    switch (result) {
    case EAI_NONAME:
    case EAI_AGAIN:
    case EAI_FAIL:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
    case EAI_ADDRFAMILY:
        return PortOpenError::NameNotResolved;
    default:
        return PortOpenError::Failed;
    }
}

// Resolves `address` into `out`; a numeric host without a lookup at all.
PortOpenFailure Resolve(const TcpAddress& address, Clock::time_point deadline, AddressList& out)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    if (::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &out.list) == 0)
        return {};
    out.list = nullptr;

    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, address] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_NUMERICSERV;
            addrinfo* list = nullptr;
            const int result = ::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &list);
            std::lock_guard lock(lookup->mutex);
            lookup->result = result;
            lookup->addresses.list = result == 0 ? list : nullptr;
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error& e) {
        return {PortOpenError::Failed, e.code().value()};
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; }))
        return {PortOpenError::NameNotResolved, 0};
    if (lookup->result != 0)
        return {LookupError(lookup->result), 0};
    out.list = std::exchange(lookup->addresses.list, nullptr);
    return {};
}

PortOpenError ConnectError(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return PortOpenError::ConnectionRefused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ENETDOWN:
    case EADDRNOTAVAIL:
    case EAFNOSUPPORT:
        return PortOpenError::Unreachable;
    case ETIMEDOUT:
        return PortOpenError::ConnectTimedOut;
    default:
        return PortOpenError::Failed;
    }
}

// Connects a non-blocking socket to one address before the deadline.
PortOpenFailure Connect(const addrinfo& a, Clock::time_point deadline, UniqueFd& out)
{
    UniqueFd fd(::socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol));
    if (!fd)
        return {ConnectError(errno), errno};
    if (::connect(fd.get(), a.ai_addr, a.ai_addrlen) != 0) {
        if (errno != EINPROGRESS)
            return {ConnectError(errno), errno};
        pollfd p{fd.get(), POLLOUT, 0};
        for (;;) {
            const timespec left = ToTimespec(deadline - Clock::now());
            const int r = ::ppoll(&p, 1, &left, nullptr);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return {PortOpenError::Failed, errno};
            if (r == 0)
                return {PortOpenError::ConnectTimedOut, 0};
            break;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            return {PortOpenError::Failed, errno};
        if (error != 0)
            return {ConnectError(error), error};
    }
    out = std::move(fd);
    return {};
}

void SetOptions(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUnacknowledgedMs, sizeof kUnacknowledgedMs);
}

} // namespace

TcpConnection::~TcpConnection() { Close(); }

bool TcpConnection::Open(const std::string& name, const StreamSettings& settings, PortOpenFailure* why)
{
    PortOpenFailure failure;
    const auto done = [&](bool opened) {
        if (why)
            *why = failure;
        return opened;
    };
    std::lock_guard lock(ioLock_);
    if (HoldsDescriptor()) {
        failure = {PortOpenError::AlreadyOpen, 0};
        return done(false);
    }
    const auto address = IsTcpPortName(name) ? ParseHostPort(std::string_view(name).substr(kTcpScheme.size()))
                                             : std::nullopt;
    if (!address) {
        failure = {PortOpenError::BadTcpAddress, 0};
        return done(false);
    }
    const Clock::time_point deadline = Clock::now() + settings.connectTimeout;
    AddressList addresses;
    failure = Resolve(*address, deadline, addresses);
    if (failure.error != PortOpenError::None)
        return done(false);
    // Each address in turn (a name may stand for an IPv6 and an IPv4
    // address); the failure of the last one tried is the one reported.
    UniqueFd fd;
    failure = {PortOpenError::NameNotResolved, 0};
    for (const addrinfo* a = addresses.list; a && !fd; a = a->ai_next) {
        failure = Connect(*a, deadline, fd);
        if (failure.error == PortOpenError::ConnectTimedOut)
            break;
    }
    if (!fd)
        return done(false);
    SetOptions(fd.get());
    return done(Adopt(fd, failure));
}

bool TcpConnection::Gone(int error) const
{
    switch (error) {
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ENOTCONN:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
        return true;
    default:
        return false;
    }
}

ssize_t TcpConnection::WriteSome(int fd, const std::uint8_t* bytes, std::size_t count)
{
    // A peer that has gone must not end the program with SIGPIPE.
    return ::send(fd, bytes, count, MSG_NOSIGNAL);
}
