#include "tcp_connection.h"

#include "tcp_address.h"
#include "wait_time.h"

#include <ws2tcpip.h>
#include <mstcpip.h>

#include <algorithm>
#include <chrono>
#include <climits>

namespace {

using Clock = std::chrono::steady_clock;

// Winsock, started once for the process and left running to its end.
bool WinsockReady()
{
    static const bool ready = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

class AddressList {
public:
    AddressList() = default;
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;
    ~AddressList()
    {
        if (list)
            ::freeaddrinfo(list);
    }
    addrinfo* list = nullptr;
};

PortOpenError ConnectError(int error)
{
    switch (error) {
    case WSAECONNREFUSED:
        return PortOpenError::ConnectionRefused;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAEHOSTDOWN:
    case WSAENETDOWN:
    case WSAEADDRNOTAVAIL:
    case WSAEAFNOSUPPORT:
        return PortOpenError::Unreachable;
    case WSAETIMEDOUT:
        return PortOpenError::ConnectTimedOut;
    default:
        return PortOpenError::Failed;
    }
}

bool PeerGone(int error)
{
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENETRESET ||
           error == WSAESHUTDOWN || error == WSAETIMEDOUT || error == WSAENOTCONN || error == WSAENETDOWN;
}

timeval ToTimeval(Clock::duration d)
{
    const auto us = std::max<long long>(std::chrono::duration_cast<std::chrono::microseconds>(d).count(), 0);
    timeval tv{};
    tv.tv_sec = static_cast<long>(us / 1'000'000);
    tv.tv_usec = static_cast<long>(us % 1'000'000);
    return tv;
}

// Connects a non-blocking socket to one address before the deadline.
PortOpenFailure Connect(const addrinfo& a, Clock::time_point deadline, SOCKET& out)
{
    SOCKET s = ::socket(a.ai_family, a.ai_socktype, a.ai_protocol);
    if (s == INVALID_SOCKET) {
        const int error = ::WSAGetLastError();
        return {ConnectError(error), error};
    }
    const auto fail = [s](PortOpenFailure failure) {
        ::closesocket(s);
        return failure;
    };
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0)
        return fail({PortOpenError::Failed, ::WSAGetLastError()});
    if (::connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) != 0) {
        const int error = ::WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            return fail({ConnectError(error), error});
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval left = ToTimeval(deadline - Clock::now());
        const int r = ::select(0, nullptr, &writable, &failed, &left);
        if (r == SOCKET_ERROR)
            return fail({PortOpenError::Failed, ::WSAGetLastError()});
        if (r == 0)
            return fail({PortOpenError::ConnectTimedOut, 0});
        int soError = 0;
        int size = sizeof soError;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size) != 0)
            return fail({PortOpenError::Failed, ::WSAGetLastError()});
        if (soError != 0)
            return fail({ConnectError(soError), soError});
    }
    out = s;
    return {};
}

// A peer that stops acknowledging, or a line that stays idle without a sign
// of the peer, ends the connection within seconds.
void SetOptions(SOCKET s)
{
    const BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive keepAlive{};
    keepAlive.onoff = 1;
    keepAlive.keepalivetime = 5000;
    keepAlive.keepaliveinterval = 2000;
    DWORD returned = 0;
    if (::WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr, nullptr) != 0)
        ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
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
    if (socket_ != INVALID_SOCKET) {
        failure = {PortOpenError::AlreadyOpen, 0};
        return done(false);
    }
    const auto address = IsTcpPortName(name) ? ParseHostPort(std::string_view(name).substr(kTcpScheme.size()))
                                             : std::nullopt;
    if (!address) {
        failure = {PortOpenError::BadTcpAddress, 0};
        return done(false);
    }
    if (!WinsockReady()) {
        failure = {PortOpenError::Failed, ::WSAGetLastError()};
        return done(false);
    }
    const Clock::time_point deadline = Clock::now() + settings.connectTimeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    AddressList addresses;
    if (const int r = ::getaddrinfo(address->host.c_str(), address->port.c_str(), &hints, &addresses.list); r != 0) {
        addresses.list = nullptr;
        const bool unknown = r == WSAHOST_NOT_FOUND || r == WSANO_DATA || r == WSATRY_AGAIN || r == WSANO_RECOVERY;
        failure = {unknown ? PortOpenError::NameNotResolved : PortOpenError::Failed, unknown ? 0 : r};
        return done(false);
    }
    // Each address in turn; the failure of the last one tried is reported.
    SOCKET s = INVALID_SOCKET;
    failure = {PortOpenError::NameNotResolved, 0};
    for (const addrinfo* a = addresses.list; a && s == INVALID_SOCKET; a = a->ai_next) {
        if (Clock::now() >= deadline) {
            failure = {PortOpenError::ConnectTimedOut, 0};
            break;
        }
        failure = Connect(*a, deadline, s);
    }
    if (s == INVALID_SOCKET)
        return done(false);
    SetOptions(s);
    UniqueHandle wake = MakeEvent();
    UniqueHandle socketEvent(::WSACreateEvent());
    if (!wake || !socketEvent ||
        ::WSAEventSelect(s, socketEvent.get(), FD_READ | FD_CLOSE) != 0) {
        failure = {PortOpenError::Failed, static_cast<int>(::GetLastError())};
        ::closesocket(s);
        return done(false);
    }
    socket_ = s;
    socketForQueries_ = s;
    wake_ = std::move(wake);
    socketEvent_ = std::move(socketEvent);
    failure = {};
    return done(true);
}

void TcpConnection::Interrupt()
{
    if (wake_)
        ::SetEvent(wake_.get());
}

void TcpConnection::Close()
{
    Interrupt();
    std::lock_guard lock(ioLock_);
    socketForQueries_ = INVALID_SOCKET;
    if (socket_ != INVALID_SOCKET)
        ::closesocket(socket_);
    socket_ = INVALID_SOCKET;
    wake_.reset();
    socketEvent_.reset();
}

bool TcpConnection::IsOpen() const
{
    std::lock_guard lock(ioLock_);
    return socket_ != INVALID_SOCKET;
}

bool TcpConnection::Interrupted() const { return ::WaitForSingleObject(wake_.get(), 0) == WAIT_OBJECT_0; }

TcpConnection::ReadResult TcpConnection::Read(std::uint8_t* buffer, std::size_t capacity,
                                              std::optional<std::chrono::nanoseconds> waitFor)
{
    // The reader thread is joined before Close, so the socket stays valid.
    if (socket_ == INVALID_SOCKET)
        return {ReadStatus::Interrupted};
    const HANDLE events[2] = {socketEvent_.get(), wake_.get()};
    const int size = static_cast<int>(std::min<std::size_t>(capacity, INT_MAX));
    // As on POSIX: a timed wait reads first, an unlimited one waits first.
    bool tryRead = waitFor.has_value();
    for (;;) {
        if (Interrupted())
            return {ReadStatus::Interrupted};
        if (tryRead) {
            const int n = ::recv(socket_, reinterpret_cast<char*>(buffer), size, 0);
            if (n > 0)
                return {ReadStatus::Bytes, static_cast<std::size_t>(n)};
            if (n == 0)
                return {ReadStatus::Lost};
            const int error = ::WSAGetLastError();
            if (PeerGone(error))
                return {ReadStatus::Lost};
            if (error != WSAEWOULDBLOCK && error != WSAEINTR)
                return {ReadStatus::Failed};
        }
        switch (::WaitForMultipleObjects(2, events, FALSE, WaitMilliseconds(waitFor))) {
        case WAIT_OBJECT_0: {
            // Resets the event; the next recv re-arms FD_READ.
            WSANETWORKEVENTS happened{};
            ::WSAEnumNetworkEvents(socket_, socketEvent_.get(), &happened);
            tryRead = true;
            continue;
        }
        case WAIT_OBJECT_0 + 1:
            return {ReadStatus::Interrupted};
        case WAIT_TIMEOUT:
            return {ReadStatus::Quiet};
        default:
            return {ReadStatus::Failed};
        }
    }
}

ByteStream::ReadStatus TcpConnection::Await(std::optional<std::chrono::nanoseconds> waitFor)
{
    if (socket_ == INVALID_SOCKET)
        return ReadStatus::Interrupted;
    const auto deadline =
        waitFor ? std::optional(Clock::now() + std::chrono::duration_cast<Clock::duration>(*waitFor)) : std::nullopt;
    const HANDLE events[2] = {socketEvent_.get(), wake_.get()};
    for (;;) {
        if (Interrupted())
            return ReadStatus::Interrupted;
        u_long waiting = 0;
        if (::ioctlsocket(socket_, FIONREAD, &waiting) != 0)
            return PeerGone(::WSAGetLastError()) ? ReadStatus::Lost : ReadStatus::Failed;
        if (waiting > 0)
            return ReadStatus::Bytes;
        const DWORD wait = MillisecondsUntil(deadline);
        if (wait == 0)
            return ReadStatus::Quiet;
        switch (::WaitForMultipleObjects(2, events, FALSE, wait)) {
        case WAIT_OBJECT_0: {
            // A closed connection is readable too: the read finds it gone.
            WSANETWORKEVENTS happened{};
            ::WSAEnumNetworkEvents(socket_, socketEvent_.get(), &happened);
            if (happened.lNetworkEvents & FD_CLOSE)
                return ReadStatus::Bytes;
            continue;
        }
        case WAIT_OBJECT_0 + 1:
            return ReadStatus::Interrupted;
        case WAIT_TIMEOUT:
            continue;
        default:
            return ReadStatus::Failed;
        }
    }
}

bool TcpConnection::InputWaiting() const
{
    const SOCKET s = socketForQueries_.load();
    u_long waiting = 0;
    return s != INVALID_SOCKET && ::ioctlsocket(s, FIONREAD, &waiting) == 0 && waiting > 0;
}

TcpConnection::WriteResult TcpConnection::Write(const std::uint8_t* bytes, std::size_t count, std::uint32_t timeoutMs)
{
    std::lock_guard lock(ioLock_);
    if (socket_ == INVALID_SOCKET)
        return WriteResult::Failed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < count) {
        if (Interrupted())
            return WriteResult::Failed;
        const int chunk = static_cast<int>(std::min<std::size_t>(count - done, INT_MAX));
        const int n = ::send(socket_, reinterpret_cast<const char*>(bytes + done), chunk, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        const int error = ::WSAGetLastError();
        if (error != WSAEWOULDBLOCK && error != WSAEINTR)
            return PeerGone(error) ? WriteResult::Lost : WriteResult::Failed;
        // The send buffer is full, which a frame of a few bytes hardly ever
        // meets: wait for room in short steps that notice an Interrupt.
        auto step = std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(20));
        if (timeoutMs != kInfinite) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero())
                return WriteResult::TimedOut;
            step = std::min(step, left);
        }
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(socket_, &writable);
        timeval wait = ToTimeval(step);
        if (::select(0, nullptr, &writable, nullptr, &wait) == SOCKET_ERROR)
            return WriteResult::Failed;
    }
    return WriteResult::Ok;
}
