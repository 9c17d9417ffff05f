#pragma once
// Loopback TCP peers for tests: a listening socket on 127.0.0.1 (or ::1)
// at a port the system picks, and one that never accepts.

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

class LoopbackListener {
public:
    // `backlog` 0 leaves room for one connection the program never accepts.
    explicit LoopbackListener(bool v6 = false, int backlog = 4) : v6_(v6)
    {
        fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto fail = [this] {
            if (fd_ >= 0)
                ::close(fd_);
            throw std::runtime_error("loopback listener failed");
        };
        sockaddr_storage a{};
        socklen_t size;
        if (v6) {
            auto& a6 = reinterpret_cast<sockaddr_in6&>(a);
            a6.sin6_family = AF_INET6;
            a6.sin6_addr = in6addr_loopback;
            size = sizeof a6;
        } else {
            auto& a4 = reinterpret_cast<sockaddr_in&>(a);
            a4.sin_family = AF_INET;
            a4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            size = sizeof a4;
        }
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), size) != 0 || ::listen(fd_, backlog) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            fail();
        port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6&>(a).sin6_port : reinterpret_cast<sockaddr_in&>(a).sin_port);
    }
    ~LoopbackListener()
    {
        for (int fd : fillers_)
            ::close(fd);
        if (fd_ >= 0)
            ::close(fd_);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int Port() const { return port_; }
    std::string Name() const
    {
        return std::string("tcp://") + (v6_ ? "[::1]" : "127.0.0.1") + ":" + std::to_string(port_);
    }

    // Waits up to `ms` for a connection; -1 when none came. The caller closes it.
    int Accept(int ms = 5000) const
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return -1;
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        const int on = 1;
        if (fd >= 0)
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return fd;
    }

    // Fills the accept queue of a listener made with backlog 0, so that
    // the next connection's handshake is never answered.
    void FillBacklog()
    {
        const int fd = ::socket(v6_ ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage a{};
        socklen_t size = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size);
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), size) != 0)
            throw std::runtime_error("backlog filler failed");
        fillers_.push_back(fd);
    }

    // Stops listening: the port then refuses connections.
    void Close()
    {
        ::close(fd_);
        fd_ = -1;
    }

private:
    bool v6_;
    int fd_ = -1;
    int port_ = 0;
    std::vector<int> fillers_;
};

// Whether this machine can listen on ::1.
inline bool HasIpv6Loopback()
{
    try {
        LoopbackListener probe(true);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

inline void SendAll(int fd, const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("send failed");
        done += static_cast<std::size_t>(n);
    }
}

// Reads what arrives until `quietMs` pass without a byte after the first.
inline std::vector<std::uint8_t> ReceiveSome(int fd, int quietMs = 30, int firstMs = 5000)
{
    std::vector<std::uint8_t> out;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, out.empty() ? firstMs : quietMs) <= 0)
            return out;
        std::uint8_t buf[512];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return out;
        out.insert(out.end(), buf, buf + n);
    }
}

// Closes with a reset instead of an orderly end.
inline void Reset(int fd)
{
    const linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd);
}
