#pragma once
// A TCP connection to a serial device server in transparent mode ("RTU over
// TCP"): the gateway passes the line's bytes through unchanged, so the
// channel frames them as it frames a serial line's.

#include "fd_stream.h"

#include <string>

class TcpConnection final : public FdStream {
public:
    TcpConnection() = default;
    ~TcpConnection() override;

    // Resolves and connects to the tcp://HOST:PORT name within the settings'
    // connection time-out, trying each address of the host in turn; the
    // speed is ignored. Keep-alive on, Nagle off.
    bool Open(const std::string& name, const StreamSettings& settings, PortOpenFailure* why) override;

protected:
    bool Gone(int error) const override;
    ssize_t WriteSome(int fd, const std::uint8_t* bytes, std::size_t count) override;
    void DiscardOutput(int) override {} // what the kernel holds is sent
    void Release(int) override {}
};
