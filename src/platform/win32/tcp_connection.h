#pragma once
// A TCP connection to a serial device server in transparent mode ("RTU over
// TCP") on Winsock. The socket does not block; a read waits on the socket's
// network event and the wake event together, so that Interrupt ends it at
// once.

#include "byte_stream.h"
#include "unique_handle.h"

#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <string>

class TcpConnection final : public ByteStream {
public:
    TcpConnection() = default;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;
    ~TcpConnection() override;

    // Resolves and connects to the tcp://HOST:PORT name within the settings'
    // connection time-out, trying each address of the host in turn; the
    // speed is ignored. Keep-alive on, Nagle off.
    bool Open(const std::string& name, const StreamSettings& settings, PortOpenFailure* why) override;
    void Interrupt() override;
    void Close() override;
    bool IsOpen() const override;
    // A read with a zero wait never blocks.
    ReadResult Read(std::uint8_t* buffer, std::size_t capacity,
                    std::optional<std::chrono::nanoseconds> waitFor) override;
    ReadStatus Await(std::optional<std::chrono::nanoseconds> waitFor) override;
    // From any thread: what the socket has received and no read has taken.
    bool InputWaiting() const override;
    WriteResult Write(const std::uint8_t* bytes, std::size_t count, std::uint32_t timeoutMs) override;

private:
    bool Interrupted() const;

    mutable std::mutex ioLock_; // guards the socket against Close during a write or an open
    SOCKET socket_ = INVALID_SOCKET;
    // The socket once more, for InputWaiting on another thread; set while
    // the channel's threads do not run.
    std::atomic<SOCKET> socketForQueries_{INVALID_SOCKET};
    UniqueHandle wake_;         // set by Interrupt until Close
    UniqueHandle socketEvent_;  // the socket's readable or closed, for the reader
};
