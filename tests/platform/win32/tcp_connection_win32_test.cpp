// The Winsock stream against a raw peer of the test's own on the loopback:
// a wait that takes no byte, input waiting, a read without a wait that
// never blocks, an interrupt, and a peer that goes away.

#include "streams.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Status = ByteStream::ReadStatus;

// A listening socket on 127.0.0.1 that accepts one connection.
class Peer {
public:
    Peer()
    {
        WSADATA data{};
        ::WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    ~Peer()
    {
        Hang();
        ::closesocket(listener_);
        ::WSACleanup();
    }
    std::string Name() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    bool Accept() { return (peer_ = ::accept(listener_, nullptr, nullptr)) != INVALID_SOCKET; }
    bool Send(const std::string& bytes)
    {
        return ::send(peer_, bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
    }
    void Hang()
    {
        if (peer_ != INVALID_SOCKET)
            ::closesocket(peer_);
        peer_ = INVALID_SOCKET;
    }

private:
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET peer_ = INVALID_SOCKET;
    unsigned short port_ = 0;
};

} // namespace

TEST(Win32TcpConnection, AwaitTakesNothingAndAZeroWaitNeverBlocks)
{
    Peer peer;
    const auto stream = MakeTcpStream();
    PortOpenFailure why;
    ASSERT_TRUE(stream->Open(peer.Name(), StreamSettings{}, &why)) << static_cast<int>(why.error);
    ASSERT_TRUE(peer.Accept());
    std::uint8_t buffer[16];

    EXPECT_FALSE(stream->InputWaiting());
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, 0ns).status, Status::Quiet);
    const auto start = Clock::now();
    EXPECT_EQ(stream->Await(300ms), Status::Quiet);
    EXPECT_GE(Clock::now() - start, 300ms);
    EXPECT_LT(Clock::now() - start, 30s);

    ASSERT_TRUE(peer.Send("abc"));
    EXPECT_EQ(stream->Await(30s), Status::Bytes);
    EXPECT_EQ(stream->Await(0ns), Status::Bytes) << "the wait took bytes";
    EXPECT_TRUE(stream->InputWaiting());
    const auto r = stream->Read(buffer, sizeof buffer, 0ns);
    ASSERT_EQ(r.status, Status::Bytes);
    EXPECT_EQ(std::string(buffer, buffer + r.count), "abc");
    EXPECT_FALSE(stream->InputWaiting());

    // A peer that hangs up wakes the wait, and the read finds it gone.
    peer.Hang();
    EXPECT_EQ(stream->Await(30s), Status::Bytes);
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, 0ns).status, Status::Lost);
}

TEST(Win32TcpConnection, InterruptEndsAnUnlimitedAwait)
{
    Peer peer;
    const auto stream = MakeTcpStream();
    ASSERT_TRUE(stream->Open(peer.Name(), StreamSettings{}, nullptr));
    ASSERT_TRUE(peer.Accept());
    auto waiter = std::async(std::launch::async, [&] { return stream->Await(std::nullopt); });
    EXPECT_EQ(waiter.wait_for(200ms), std::future_status::timeout) << "the wait ended without a cause";
    stream->Interrupt();
    ASSERT_EQ(waiter.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(waiter.get(), Status::Interrupted);
}
