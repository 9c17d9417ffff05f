// The channel over a TCP connection, the test playing the gateway on a
// loopback socket: a frame that comes in several segments is one frame
// while the gaps stay under the silence.

#include "codecs.h"
#include "crc16.h"
#include "loopback.h"
#include "rtu.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

Bytes ReadAnswer(const std::vector<std::uint16_t>& regs)
{
    Bytes f{1, 3, static_cast<std::uint8_t>(2 * regs.size())};
    for (std::uint16_t r : regs) {
        f.push_back(static_cast<std::uint8_t>(r >> 8));
        f.push_back(static_cast<std::uint8_t>(r & 0xFF));
    }
    f.resize(f.size() + 2);
    PutCrc(f.data(), f.size() - 2);
    return f;
}

class RtuOverTcp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(rtu_.Open(listener_.Name(), 115200));
        peer_ = listener_.Accept();
        ASSERT_GE(peer_, 0);
    }
    void TearDown() override
    {
        if (peer_ >= 0)
            ::close(peer_);
    }

    LoopbackListener listener_;
    ModBusRtu rtu_;
    int peer_ = -1;
};

TEST_F(RtuOverTcp, AFrameInSegmentsUnderTheSilenceApartIsOneFrame)
{
    const Bytes answer = ReadAnswer({0x1234, 0x5678, 0x9ABC});
    ModBusRequest read(3, 2000, 3);
    // A run whose gaps the scheduler stretched towards the silence proves
    // nothing and is repeated.
    bool decided = false;
    for (int attempt = 0; attempt < 10 && !decided; ++attempt) {
        auto gateway = std::async(std::launch::async, [&] {
            ReceiveSome(peer_);
            auto longest = Clock::duration::zero();
            for (std::size_t at = 0; at < answer.size(); at += 4) {
                const auto before = Clock::now();
                SendAll(peer_, Bytes(answer.begin() + at, answer.begin() + std::min(at + 4, answer.size())));
                if (at + 4 < answer.size())
                    std::this_thread::sleep_for(6ms);
                longest = std::max(longest, Clock::now() - before);
            }
            return longest;
        });
        std::optional<int> error;
        try {
            rtu_.Transact(1, read, 2000);
        } catch (ModBusRtu::error_t e) {
            error = e;
        }
        if (gateway.get() >= 15ms) {
            std::this_thread::sleep_for(50ms);
            continue;
        }
        decided = true;
        ASSERT_EQ(error, std::nullopt);
        ModBusUShortReg a, b, c;
        rtu_ >> a >> b >> c;
        EXPECT_EQ(std::vector<int>({a.Get(), b.Get(), c.Get()}), std::vector<int>({0x1234, 0x5678, 0x9ABC}));
    }
    EXPECT_TRUE(decided) << "the scheduler never kept the gaps short";
}

TEST_F(RtuOverTcp, FastFramingWaitsForTheSegmentsOfAnAnswerWhoseLengthItKnows)
{
    // A gateway that passes the answer on in three segments 30 ms apart,
    // longer than the silence that ends a frame.
    rtu_.SetFastFraming(true);
    const Bytes answer = ReadAnswer({0x1234, 0x5678, 0x9ABC});
    auto gateway = std::async(std::launch::async, [&] {
        ReceiveSome(peer_);
        for (std::size_t at = 0; at < answer.size(); at += 4) {
            if (at > 0)
                std::this_thread::sleep_for(30ms);
            SendAll(peer_, Bytes(answer.begin() + at, answer.begin() + std::min(at + 4, answer.size())));
        }
    });
    ModBusRequest read(3, 2000, 3);
    std::optional<int> error;
    try {
        rtu_.Transact(1, read, 2000);
    } catch (ModBusRtu::error_t e) {
        error = e;
    }
    gateway.get();
    ASSERT_EQ(error, std::nullopt);
    ModBusUShortReg a, b, c;
    rtu_ >> a >> b >> c;
    EXPECT_EQ(std::vector<int>({a.Get(), b.Get(), c.Get()}), std::vector<int>({0x1234, 0x5678, 0x9ABC}));
}

} // namespace
