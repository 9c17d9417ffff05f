// The Win32 serial stream under Wine against the simulated meter on a
// pseudo-terminal that the prefix maps to a COM port (run_with_meter.sh
// makes the mapping and names the port in VOK_TEST_PORT). The terminal is
// left with XON/XOFF on, as another program may leave a port.

#include "crc16.h"
#include "serial_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kMeter = 1;
// A writable float of the meter (salinity, %).
constexpr std::uint16_t kWritableFloat = 2021;

std::string TestPort()
{
    const char* port = std::getenv("VOK_TEST_PORT");
    return port ? port : "";
}

Bytes Frame(Bytes pdu)
{
    pdu.insert(pdu.begin(), kMeter);
    const std::size_t length = pdu.size();
    pdu.resize(length + 2);
    PutCrc(pdu.data(), length);
    return pdu;
}

Bytes ReadRequest(std::uint16_t start, std::uint16_t count)
{
    return Frame({3, std::uint8_t(start >> 8), std::uint8_t(start), std::uint8_t(count >> 8), std::uint8_t(count)});
}

Bytes WriteRequest(std::uint16_t start, const std::vector<std::uint16_t>& words)
{
    Bytes pdu{16, std::uint8_t(start >> 8), std::uint8_t(start), 0, std::uint8_t(words.size()),
              std::uint8_t(words.size() * 2)};
    for (std::uint16_t w : words) {
        pdu.push_back(std::uint8_t(w >> 8));
        pdu.push_back(std::uint8_t(w));
    }
    return Frame(pdu);
}

class Win32SerialPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(TestPort().empty()) << "VOK_TEST_PORT names the COM port of the simulated meter";
        PortOpenFailure why;
        ASSERT_TRUE(port_.Open(TestPort(), StreamSettings{115200, {}}, &why))
            << "open failed: " << static_cast<int>(why.error) << " / " << why.systemError;
    }

    // One exchange as the channel's reader makes it: a wait that takes no
    // byte, the first bytes at once, then the rest until the line is quiet.
    Bytes Exchange(const Bytes& request)
    {
        EXPECT_EQ(port_.Write(request.data(), request.size(), 2000), ByteStream::WriteResult::Ok);
        EXPECT_EQ(port_.Await(30s), ByteStream::ReadStatus::Bytes);
        EXPECT_TRUE(port_.InputWaiting());
        std::uint8_t buffer[256];
        auto r = port_.Read(buffer, sizeof buffer, 0ns);
        EXPECT_EQ(r.status, ByteStream::ReadStatus::Bytes);
        std::size_t got = r.status == ByteStream::ReadStatus::Bytes ? r.count : 0;
        while ((r = port_.Read(buffer + got, sizeof buffer - got, 50ms)).status == ByteStream::ReadStatus::Bytes)
            got += r.count;
        EXPECT_EQ(r.status, ByteStream::ReadStatus::Quiet);
        // All taken: nothing waits, and a read without a wait does not block.
        EXPECT_FALSE(port_.InputWaiting());
        EXPECT_EQ(port_.Read(buffer, sizeof buffer, 0ns).status, ByteStream::ReadStatus::Quiet);
        return Bytes(buffer, buffer + got);
    }

    SerialPort port_;
};

} // namespace

TEST_F(Win32SerialPort, AnswersComeWhole)
{
    for (std::uint16_t count : {1, 2, 16, 60}) {
        SCOPED_TRACE(count);
        const Bytes answer = Exchange(ReadRequest(kWritableFloat, count));
        ASSERT_EQ(answer.size(), 5u + 2u * count);
        EXPECT_TRUE(CrcMatches(answer.data(), answer.size()));
        EXPECT_EQ(answer[1], 3);
        EXPECT_EQ(answer[2], 2 * count);
    }
}

// With XON/XOFF left on by the terminal, 0x11 and 0x13 in an answer would be
// taken as flow control and vanish: the stream turns flow control off.
TEST_F(Win32SerialPort, FlowControlBytesPassBothWays)
{
    const std::vector<std::uint16_t> words{0x4013, 0x1113};
    const Bytes written = Exchange(WriteRequest(kWritableFloat, words));
    ASSERT_EQ(written.size(), 8u);
    EXPECT_EQ(written[1], 16) << "the meter refused the write";
    const Bytes answer = Exchange(ReadRequest(kWritableFloat, 2));
    ASSERT_EQ(answer.size(), 9u);
    EXPECT_TRUE(CrcMatches(answer.data(), answer.size()));
    EXPECT_EQ(Bytes(answer.begin() + 3, answer.begin() + 7), (Bytes{0x40, 0x13, 0x11, 0x13}));
}

// A timed wait with nothing coming runs its time, no less and not forever,
// whether it reads or only waits; an unlimited one ends when another thread
// interrupts it, and later reads and writes fail at once.
TEST_F(Win32SerialPort, QuietWaitAndInterrupt)
{
    std::uint8_t buffer[16];
    using Wait = std::function<ByteStream::ReadStatus(std::optional<std::chrono::nanoseconds>)>;
    const Wait waits[] = {
        [&](auto waitFor) { return port_.Read(buffer, sizeof buffer, waitFor).status; },
        [&](auto waitFor) { return port_.Await(waitFor); },
    };
    for (const Wait& wait : waits) {
        const auto start = Clock::now();
        EXPECT_EQ(wait(300ms), ByteStream::ReadStatus::Quiet);
        const auto waited = Clock::now() - start;
        EXPECT_GE(waited, 300ms);
        EXPECT_LT(waited, 30s);
    }
    EXPECT_FALSE(port_.InputWaiting());

    for (const Wait& wait : waits) {
        auto waiter = std::async(std::launch::async, [&] { return wait(std::nullopt); });
        EXPECT_EQ(waiter.wait_for(200ms), std::future_status::timeout) << "the wait ended without a cause";
        port_.Interrupt();
        ASSERT_EQ(waiter.wait_for(30s), std::future_status::ready);
        EXPECT_EQ(waiter.get(), ByteStream::ReadStatus::Interrupted);
        EXPECT_EQ(wait(std::nullopt), ByteStream::ReadStatus::Interrupted);
        port_.Close();
        PortOpenFailure why;
        ASSERT_TRUE(port_.Open(TestPort(), StreamSettings{115200, {}}, &why));
    }
    port_.Interrupt();
    const Bytes request = ReadRequest(kWritableFloat, 1);
    EXPECT_EQ(port_.Write(request.data(), request.size(), 2000), ByteStream::WriteResult::Failed);
    port_.Close();
    EXPECT_FALSE(port_.IsOpen());
}

// The byte of a wait that ran out is not lost: it shows as input waiting
// once it has come, and the next read takes it with the rest.
TEST_F(Win32SerialPort, PendingWaitKeepsItsByte)
{
    // Nothing is asked yet: the wait runs out and leaves its read pending.
    ASSERT_EQ(port_.Await(50ms), ByteStream::ReadStatus::Quiet);
    const Bytes request = ReadRequest(kWritableFloat, 2);
    ASSERT_EQ(port_.Write(request.data(), request.size(), 2000), ByteStream::WriteResult::Ok);
    const auto deadline = Clock::now() + 30s;
    while (!port_.InputWaiting() && Clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(port_.InputWaiting());
    std::uint8_t buffer[256];
    std::size_t got = 0;
    while (got < 9) {
        const auto r = port_.Read(buffer + got, sizeof buffer - got, 5s);
        ASSERT_EQ(r.status, ByteStream::ReadStatus::Bytes);
        got += r.count;
    }
    EXPECT_EQ(got, 9u);
    EXPECT_TRUE(CrcMatches(buffer, got));
    EXPECT_EQ(port_.Read(buffer, sizeof buffer, 50ms).status, ByteStream::ReadStatus::Quiet);
}

// (A port held by another handle is refused on Windows, not under Wine,
// which shares serial devices freely: that case cannot be tested here.)
TEST(Win32SerialPortOpen, FailuresSayWhy)
{
    ASSERT_FALSE(TestPort().empty());
    SerialPort held;
    ASSERT_TRUE(held.Open(TestPort(), StreamSettings{}, nullptr));
    struct Case {
        std::string name;
        std::uint32_t baud;
        PortOpenError error;
    };
    const Case cases[] = {
        {"COM250", 115200, PortOpenError::NoSuchPort},
        {"", 115200, PortOpenError::NoSuchPort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SerialPort port;
        PortOpenFailure why;
        EXPECT_FALSE(port.Open(c.name, StreamSettings{c.baud, {}}, &why));
        EXPECT_EQ(why.error, c.error);
        EXPECT_FALSE(port.IsOpen());
    }
    PortOpenFailure again;
    EXPECT_FALSE(held.Open(TestPort(), StreamSettings{}, &again));
    EXPECT_EQ(again.error, PortOpenError::AlreadyOpen);
    held.Close();
    SerialPort reopened;
    EXPECT_TRUE(reopened.Open(TestPort(), StreamSettings{}, nullptr)) << "Close released the port";
}
