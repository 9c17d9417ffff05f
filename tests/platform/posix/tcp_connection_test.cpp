// The TCP stream under the channel, against loopback peers: port names,
// the connection time-out, why a connection failed, and a peer that ends
// the connection.

#include "loopback.h"
#include "tcp_address.h"
#include "tcp_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(TcpAddress, NamesAndTheirParts)
{
    const struct {
        const char* text;
        std::optional<TcpAddress> address;
    } cases[] = {
        {"127.0.0.1:5020", TcpAddress{"127.0.0.1", "5020"}},
        {"[::1]:502", TcpAddress{"::1", "502"}},
        {"gateway.plant:65535", TcpAddress{"gateway.plant", "65535"}},
        {"host", std::nullopt},        {"host:", std::nullopt},     {":502", std::nullopt},
        {"host:0", std::nullopt},      {"host:65536", std::nullopt}, {"host:5o2", std::nullopt},
        {"::1:502", std::nullopt},     {"[::1]502", std::nullopt},  {"[::1:502", std::nullopt},
        {"a b:502", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseHostPort(c.text), c.address);
        if (c.address) {
            EXPECT_EQ(TcpPortName(*c.address), std::string("tcp://") + c.text);
        }
    }
    EXPECT_TRUE(IsTcpPortName("tcp://h:1"));
    EXPECT_FALSE(IsTcpPortName("ttyUSB0"));
    EXPECT_FALSE(IsTcpPortName("TCP://h:1")); // a device could have that name
}

TEST(TcpConnection, ConnectTimeOutIsTenAnswerTimeOutsAtLeastTwoSeconds)
{
    EXPECT_EQ(ConnectTimeoutFor(20), 2000ms);
    EXPECT_EQ(ConnectTimeoutFor(200), 2000ms);
    EXPECT_EQ(ConnectTimeoutFor(201), 2010ms);
    EXPECT_EQ(ConnectTimeoutFor(500), 5000ms);
}

TEST(TcpConnection, OpenSaysWhyItFailedWithinItsTimeOut)
{
    LoopbackListener closed;
    const std::string refusedName = closed.Name();
    closed.Close();
    LoopbackListener full(false, 0);
    full.FillBacklog();
    const StreamSettings settings{115200, 300ms};
    const struct {
        const char* what;
        std::string name;
        PortOpenError error;
        std::chrono::milliseconds atLeast;
    } cases[] = {
        {"nobody listens", refusedName, PortOpenError::ConnectionRefused, 0ms},
        {"never accepted", full.Name(), PortOpenError::ConnectTimedOut, 300ms},
        // A name with an empty label is refused by the resolver itself,
        // without a query leaving the machine.
        {"no such host", "tcp://no..such..host:502", PortOpenError::NameNotResolved, 0ms},
        {"not host:port", "tcp://127.0.0.1", PortOpenError::BadTcpAddress, 0ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TcpConnection connection;
        PortOpenFailure why;
        const auto start = Clock::now();
        EXPECT_FALSE(connection.Open(c.name, settings, &why));
        const auto took = Clock::now() - start;
        EXPECT_EQ(why.error, c.error);
        EXPECT_GE(took, c.atLeast);
        EXPECT_LT(took, c.atLeast + 3s); // the budget did not start again for each address
        EXPECT_FALSE(connection.IsOpen());
    }
}

class TcpPeer : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (GetParam() && !HasIpv6Loopback())
            GTEST_SKIP() << "no ::1 on this machine";
        listener_ = std::make_unique<LoopbackListener>(GetParam());
        PortOpenFailure why;
        ASSERT_TRUE(connection_.Open(listener_->Name(), {}, &why)) << static_cast<int>(why.error);
        peer_ = listener_->Accept();
        ASSERT_GE(peer_, 0);
    }
    void TearDown() override
    {
        if (peer_ >= 0)
            ::close(peer_);
    }

    std::unique_ptr<LoopbackListener> listener_;
    TcpConnection connection_;
    int peer_ = -1;
};

TEST_P(TcpPeer, BytesPassBothWaysAndAPeerThatEndsTheConnectionIsALostPort)
{
    const std::vector<std::uint8_t> request{1, 3, 0, 0, 0, 1, 0x84, 0x0A};
    ASSERT_EQ(connection_.Write(request.data(), request.size(), 1000), ByteStream::WriteResult::Ok);
    EXPECT_EQ(ReceiveSome(peer_), request);
    SendAll(peer_, {1, 2, 3});
    std::uint8_t buffer[16];
    const auto read = connection_.Read(buffer, sizeof buffer, 5s);
    ASSERT_EQ(read.status, ByteStream::ReadStatus::Bytes);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + read.count), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(connection_.Read(buffer, sizeof buffer, 30ms).status, ByteStream::ReadStatus::Quiet);

    // Closed in order or reset: either way the peer is gone.
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "closed");
        if (reset) {
            connection_.Close();
            ASSERT_TRUE(connection_.Open(listener_->Name(), {}, nullptr));
            ::close(peer_);
            peer_ = listener_->Accept();
            ASSERT_GE(peer_, 0);
            Reset(peer_);
        } else {
            ::close(peer_);
        }
        peer_ = -1;
        EXPECT_EQ(connection_.Read(buffer, sizeof buffer, 5s).status, ByteStream::ReadStatus::Lost);
        // Writing to a gone peer fails without a signal ending the program.
        ByteStream::WriteResult written = ByteStream::WriteResult::Ok;
        for (int i = 0; i < 100 && written == ByteStream::WriteResult::Ok; ++i)
            written = connection_.Write(request.data(), request.size(), 1000);
        EXPECT_EQ(written, ByteStream::WriteResult::Lost);
    }
}

INSTANTIATE_TEST_SUITE_P(Loopback, TcpPeer, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "IPv6" : "IPv4"; });

} // namespace
