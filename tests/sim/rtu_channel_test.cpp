// Channel-level behaviour of ModBusRtu on a pseudo-terminal: framing by
// silence and, with fast framing, by the length of an answer; the frame
// size limits, address and CRC handling, time-outs, the open/close rules,
// and the retry policy against the simulated meter. The raw-peer cases run
// in both framing modes; only where the modes differ do they expect
// differently.

#include "codecs.h"
#include "crc16.h"
#include "frozen_sim.h"
#include "meter_sim.h"
#include "pty_pair.h"
#include "rtu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

Bytes Frame(std::uint8_t address, const Bytes& pdu)
{
    Bytes f{address};
    f.insert(f.end(), pdu.begin(), pdu.end());
    f.resize(f.size() + 2);
    PutCrc(f.data(), f.size() - 2);
    return f;
}

// A read answer carrying the given register values.
Bytes ReadAnswer(std::uint8_t address, const std::vector<std::uint16_t>& regs)
{
    Bytes pdu{3, static_cast<std::uint8_t>(2 * regs.size())};
    for (std::uint16_t r : regs) {
        pdu.push_back(static_cast<std::uint8_t>(r >> 8));
        pdu.push_back(static_cast<std::uint8_t>(r & 0xFF));
    }
    return Frame(address, pdu);
}

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The link error code a call throws, or nothing when it returns.
template <class F>
std::optional<int> LinkError(F&& call)
{
    try {
        call();
    } catch (ModBusRtu::error_t e) {
        return static_cast<int>(e);
    }
    return std::nullopt;
}

std::uint16_t FirstRegister(ModBusRtu& rtu)
{
    ModBusUShortReg reg(0);
    rtu >> reg;
    return reg.Get();
}

// Our channel on the slave end of a pty, the test playing the meter; the
// parameter switches fast framing on.
class RawPeer : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        rtu_.SetFastFraming(Fast());
        ASSERT_TRUE(rtu_.Open(pty_.SlavePath(), 115200));
    }

    static bool Fast() { return GetParam(); }

    // Runs `answer` on a peer thread once the request is in.
    std::future<void> Answer(std::function<void()> answer)
    {
        return std::async(std::launch::async, [this, answer] {
            pty_.Read(30, 5000);
            answer();
        });
    }

    PtyPair pty_;
    ModBusRtu rtu_;
    ModBusRequest read_{3, 2000, 1};
};

TEST_P(RawPeer, RequestFrameOnTheWire)
{
    ModBusRequest request(3, 0, 1);
    auto peer = std::async(std::launch::async, [this] { return pty_.Read(30, 5000); });
    EXPECT_EQ(LinkError([&] { rtu_.Transact(1, request, 200); }), 1);
    EXPECT_EQ(peer.get(), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
}

TEST_P(RawPeer, FramesLessThanTheSilenceApart)
{
    // By length the first is whole at once and the second is a frame of
    // its own; by silence they come as one burst, which comes apart at the
    // length the first one's header gives. A first frame whose function
    // code gives no length merges with the second into a frame whose CRC
    // fails.
    const struct {
        const char* what;
        Bytes first;
        bool merge;
    } cases[] = {
        {"an answer", ReadAnswer(1, {0x1111}), false},
        {"an unknown function", Frame(1, {0x41, 0x11, 0x11}), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // The peer's pause must stay well under the 20 ms silence; a run
        // whose pause the scheduler stretched proves nothing and is repeated.
        bool decided = false;
        for (int attempt = 0; attempt < 10 && !decided; ++attempt) {
            std::promise<long long> gapMs;
            auto gap = gapMs.get_future();
            auto peer = Answer([&] {
                pty_.Write(c.first);
                const auto written = Clock::now();
                std::this_thread::sleep_for(5ms);
                const auto before = Clock::now();
                pty_.Write(ReadAnswer(1, {0x2222}));
                gapMs.set_value(std::chrono::duration_cast<std::chrono::milliseconds>(before - written).count());
            });
            std::optional<int> error;
            try {
                rtu_.Transact(1, read_, 2000);
            } catch (ModBusRtu::error_t e) {
                error = e;
            } catch (ModBusPdu::error_t) {
                error = -1;
            }
            peer.get();
            if (gap.get() >= 15) {
                std::this_thread::sleep_for(50ms);
                continue;
            }
            decided = true;
            if (c.merge) {
                EXPECT_EQ(error, 2);
            } else {
                ASSERT_EQ(error, std::nullopt);
                EXPECT_EQ(FirstRegister(rtu_), 0x1111);
                ASSERT_EQ(LinkError([&] { rtu_.ReceiveAnswer(1, 2000); }), std::nullopt);
                EXPECT_EQ(FirstRegister(rtu_), 0x2222);
            }
        }
        EXPECT_TRUE(decided) << "the scheduler never kept the pause short";
        std::this_thread::sleep_for(50ms);
    }
}

TEST_P(RawPeer, AWholeAnswerIsHandedOverBeforeTheSilenceOnlyWithFastFraming)
{
    // By silence no transaction ends sooner than 20 ms after the answer;
    // by length one does, unless the scheduler stalled every attempt.
    const Bytes answer = ReadAnswer(1, {0x0123});
    auto fastest = std::chrono::steady_clock::duration::max();
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::promise<Clock::time_point> writtenAt;
        auto written = writtenAt.get_future();
        auto peer = Answer([&] {
            writtenAt.set_value(Clock::now());
            pty_.Write(answer);
        });
        ASSERT_EQ(LinkError([&] { rtu_.Transact(1, read_, 2000); }), std::nullopt);
        const auto took = Clock::now() - written.get();
        peer.get();
        EXPECT_EQ(FirstRegister(rtu_), 0x0123);
        fastest = std::min(fastest, took);
        if (!Fast()) {
            EXPECT_GE(took, ModBusRtu::kSilence);
        }
    }
    if (Fast()) {
        EXPECT_LT(fastest, 15ms);
    }
}

TEST_P(RawPeer, FramesFortyMsApartStaySeparate)
{
    auto peer = Answer([&] {
        pty_.Write(ReadAnswer(1, {0x1111}));
        std::this_thread::sleep_for(40ms);
        pty_.Write(ReadAnswer(1, {0x2222}));
    });
    ASSERT_EQ(LinkError([&] { rtu_.Transact(1, read_, 2000); }), std::nullopt);
    EXPECT_EQ(FirstRegister(rtu_), 0x1111);
    // The second frame follows as a frame of its own.
    ASSERT_EQ(LinkError([&] { rtu_.ReceiveAnswer(1, 2000); }), std::nullopt);
    EXPECT_EQ(FirstRegister(rtu_), 0x2222);
    peer.get();
}

TEST_P(RawPeer, FrameOf256BytesPassesWholeAndLongerBurstsAreCut)
{
    // PDU of 253 bytes: function, byte count 251, 251 value bytes.
    Bytes pdu{3, 251};
    for (int i = 0; i < 251; ++i)
        pdu.push_back(static_cast<std::uint8_t>(i));
    const Bytes longest = Frame(1, pdu);
    ASSERT_EQ(longest.size(), 256u);
    // The next 45 bytes come without a pause: the reader cuts after 256.
    Bytes burst = longest;
    const Bytes tail = ReadAnswer(1, std::vector<std::uint16_t>(20, 0x4242));
    burst.insert(burst.end(), tail.begin(), tail.end());

    // No read asks for 251 bytes: the frames are taken below the answer check.
    auto peer = Answer([&] { pty_.Write(burst); });
    ASSERT_EQ(LinkError([&] {
                  rtu_.SendRequest(1, read_, 2000);
                  rtu_.ReceiveFrame(1, 2000);
              }),
              std::nullopt);
    EXPECT_EQ(rtu_.length, 253u);
    EXPECT_EQ(rtu_.FrameLength(), 256u);
    EXPECT_EQ(Bytes(rtu_.data, rtu_.data + rtu_.length), pdu);
    ASSERT_EQ(LinkError([&] { rtu_.ReceiveAnswer(1, 2000); }), std::nullopt);
    EXPECT_EQ(rtu_.length, 42u);
    EXPECT_EQ(FirstRegister(rtu_), 0x4242);
    peer.get();
}

TEST_P(RawPeer, BurstsUnderFiveBytesAreDropped)
{
    // Four bytes for our address: were they handed over, their CRC would fail (2).
    auto peer = Answer([&] { pty_.Write({0x01, 0x83, 0x02, 0xC0}); });
    EXPECT_EQ(LinkError([&] { rtu_.Transact(1, read_, 300); }), 1);
    peer.get();

    // Five bytes are the shortest frame: an exception answer.
    auto peer2 = Answer([&] { pty_.Write(Frame(1, {0x83, 0x02})); });
    try {
        rtu_.Transact(1, read_, 2000);
        ADD_FAILURE() << "no exception";
    } catch (ModBusPdu::error_t e) {
        EXPECT_EQ(e, 2);
    }
    peer2.get();
}

TEST_P(RawPeer, FramesForOtherAddressesArePassedOverUntilTheTimeOut)
{
    Bytes badCrc = ReadAnswer(2, {0x1234});
    badCrc.back() ^= 0xFF;
    for (const Bytes& other : {ReadAnswer(2, {0x1234}), badCrc}) {
        auto peer = Answer([&] { pty_.Write(other); });
        const auto start = Clock::now();
        EXPECT_EQ(LinkError([&] { rtu_.Transact(1, read_, 300); }), 1);
        EXPECT_GE(MsSince(start), 300);
        peer.get();
    }
    // A frame for another address, then ours: ours is the answer.
    auto peer = Answer([&] {
        pty_.Write(ReadAnswer(2, {0x1234}));
        std::this_thread::sleep_for(60ms);
        pty_.Write(ReadAnswer(1, {0x4321}));
    });
    ASSERT_EQ(LinkError([&] { rtu_.Transact(1, read_, 3000); }), std::nullopt);
    EXPECT_EQ(FirstRegister(rtu_), 0x4321);
    peer.get();
}

TEST_P(RawPeer, AnotherMastersExchangeRightBeforeOurAnswerLeavesItWhole)
{
    // Another master asks meter 2 and gets its answer, and ours follows, a
    // few milliseconds apart. With fast framing the other master's request
    // ends at its own length: read as an answer, its header would tell 12
    // bytes, and the frame would run on into what follows and end only at
    // a silence, taking our answer with it. By silence the three come far
    // enough apart to be frames of their own.
    const auto gap = Fast() ? 3ms : 40ms;
    auto peer = Answer([&] {
        pty_.Write(Frame(2, {3, 0x07, 0xD0, 0x00, 0x02}));
        std::this_thread::sleep_for(gap);
        pty_.Write(ReadAnswer(2, {0x1234, 0x5678}));
        std::this_thread::sleep_for(gap);
        pty_.Write(ReadAnswer(1, {0x4321}));
    });
    ASSERT_EQ(LinkError([&] { rtu_.Transact(1, read_, 1000); }), std::nullopt);
    EXPECT_EQ(FirstRegister(rtu_), 0x4321);
    peer.get();
}

TEST_P(RawPeer, BadCrcThrowsTwoWithoutWaitingForTheTimeOut)
{
    Bytes answer = ReadAnswer(1, {0x1234});
    answer[answer.size() - 2] ^= 0x01;
    auto peer = Answer([&] { pty_.Write(answer); });
    const auto start = Clock::now();
    EXPECT_EQ(LinkError([&] { rtu_.Transact(1, read_, 20000); }), 2);
    EXPECT_LT(MsSince(start), 20000);
    peer.get();
}

TEST_P(RawPeer, NoAnswerTimesOutWithOne)
{
    for (std::uint32_t timeout : {20u, 150u}) {
        const auto start = Clock::now();
        EXPECT_EQ(LinkError([&] { rtu_.Transact(1, read_, timeout); }), 1);
        EXPECT_GE(MsSince(start), timeout);
        EXPECT_LT(MsSince(start), timeout + 1000); // the budget did not start again
    }
}

TEST_P(RawPeer, AFrameBegunBeforeTheDeadlineIsWaitedForToItsEnd)
{
    // The answer's first half comes inside the 20 ms budget, its second
    // half 12 ms later, so the frame ends only after the deadline. A run
    // whose first half the scheduler pushed past the deadline proves
    // nothing and is repeated.
    const Bytes answer = ReadAnswer(1, {0x1234, 0x5678});
    bool decided = false;
    for (int attempt = 0; attempt < 10 && !decided; ++attempt) {
        std::promise<long long> firstHalfMs;
        auto firstHalf = firstHalfMs.get_future();
        ModBusRequest read(3, 2000, 2);
        auto peer = std::async(std::launch::async, [&] {
            pty_.Read(1, 5000);
            const auto in = Clock::now();
            pty_.Write(Bytes(answer.begin(), answer.begin() + 4));
            firstHalfMs.set_value(MsSince(in));
            std::this_thread::sleep_for(12ms);
            pty_.Write(Bytes(answer.begin() + 4, answer.end()));
        });
        const auto error = LinkError([&] { rtu_.Transact(1, read, 20); });
        peer.get();
        if (firstHalf.get() >= 10) {
            std::this_thread::sleep_for(100ms);
            continue;
        }
        decided = true;
        ASSERT_EQ(error, std::nullopt);
        EXPECT_EQ(FirstRegister(rtu_), 0x1234);
    }
    EXPECT_TRUE(decided) << "the scheduler never kept the first half in time";

    // A frame that begins after the deadline is too late.
    ModBusRequest read(3, 2000, 2);
    auto peer = std::async(std::launch::async, [&] {
        pty_.Read(1, 5000);
        std::this_thread::sleep_for(80ms);
        pty_.Write(answer);
    });
    const auto start = Clock::now();
    EXPECT_EQ(LinkError([&] { rtu_.Transact(1, read, 20); }), 1);
    EXPECT_LT(MsSince(start), 80);
    peer.get();
}

TEST_P(RawPeer, UnlimitedTimeOutWaitsForALateAnswer)
{
    auto peer = Answer([&] {
        std::this_thread::sleep_for(300ms);
        pty_.Write(ReadAnswer(1, {0x0BAD}));
    });
    const auto start = Clock::now();
    ASSERT_EQ(LinkError([&] { rtu_.Transact(1, read_, ModBusRtu::kInfinite); }), std::nullopt);
    EXPECT_GE(MsSince(start), 300);
    EXPECT_EQ(FirstRegister(rtu_), 0x0BAD);
    peer.get();
}

TEST_P(RawPeer, StaleFrameBeforeTheRequestIsNotTheAnswer)
{
    // A late answer to an earlier request lands before the next request.
    pty_.Write(ReadAnswer(1, {0xDEAD}));
    std::this_thread::sleep_for(200ms);
    auto peer = Answer([&] { pty_.Write(ReadAnswer(1, {0xBEEF})); });
    ASSERT_EQ(LinkError([&] { rtu_.Transact(1, read_, 3000); }), std::nullopt);
    EXPECT_EQ(FirstRegister(rtu_), 0xBEEF);
    peer.get();
}

TEST_P(RawPeer, AFrameStillArrivingWhenTheRequestGoesOutIsNotTheAnswer)
{
    // Unbroken traffic: a well-formed answer of the right shape trickles in
    // a byte every 4 ms, from before the request went out to after it; the
    // meter's own answer follows after a silence.
    const Bytes inFlight = ReadAnswer(1, {0xDEAD});
    pty_.Write({inFlight[0], inFlight[1]});
    // A pseudo-terminal hands written bytes to the other side a moment
    // later: the request must find them there.
    std::this_thread::sleep_for(4ms);
    std::promise<void> sent;
    auto peer = std::async(std::launch::async, [&] {
        sent.get_future().wait();
        for (std::size_t i = 2; i < inFlight.size(); ++i) {
            std::this_thread::sleep_for(4ms);
            pty_.Write({inFlight[i]});
        }
        std::this_thread::sleep_for(60ms);
        pty_.Write(ReadAnswer(1, {0xBEEF}));
    });
    auto transact = std::async(std::launch::async, [&] { return LinkError([&] { rtu_.Transact(1, read_, 3000); }); });
    // The request is on the line before the trickle goes on.
    pty_.Read(1, 5000);
    sent.set_value();
    const std::optional<int> error = transact.get();
    peer.get();
    ASSERT_EQ(error, std::nullopt);
    EXPECT_EQ(FirstRegister(rtu_), 0xBEEF);
}

TEST_P(RawPeer, TheLateAnswerOfARepeatedRequestIsNotTakenByTheNextExchange)
{
    // The first request goes unanswered; its repeat gets the first one's
    // late answer, and the repeat's own answer comes only once the next
    // exchange (another register, the same shape) has sent its request.
    const ModBusRequest other(3, 53020, 1);
    auto peer = std::async(std::launch::async, [&] {
        pty_.Read(8, 5000);
        pty_.Read(8, 5000);
        pty_.Write(ReadAnswer(1, {0xAAAA}));
        pty_.Read(8, 5000);
        pty_.Write(ReadAnswer(1, {0xAAAA}));
        std::this_thread::sleep_for(30ms);
        pty_.Write(ReadAnswer(1, {0xBBBB}));
    });
    EXPECT_EQ(LinkError([&] { rtu_.Transact(1, read_, 100, ModBusRtu::Attempt::First); }), 1);
    ASSERT_EQ(LinkError([&] { rtu_.Transact(1, read_, 300, ModBusRtu::Attempt::Repeat); }), std::nullopt);
    EXPECT_EQ(FirstRegister(rtu_), 0xAAAA);
    ASSERT_EQ(LinkError([&] { rtu_.Transact(1, other, 2000); }), std::nullopt);
    EXPECT_EQ(FirstRegister(rtu_), 0xBBBB);
    peer.get();
}

TEST_P(RawPeer, OpenAndCloseRules)
{
    EXPECT_TRUE(rtu_.IsOpen());
    EXPECT_FALSE(rtu_.Open(pty_.SlavePath(), 115200));
    EXPECT_TRUE(rtu_.IsOpen());
    // The refused Open left the open port working.
    auto peer = Answer([&] { pty_.Write(ReadAnswer(1, {1})); });
    EXPECT_EQ(LinkError([&] { rtu_.Transact(1, read_, 2000); }), std::nullopt);
    peer.get();

    rtu_.Close();
    EXPECT_FALSE(rtu_.IsOpen());
    rtu_.Close();
    EXPECT_FALSE(rtu_.IsOpen());
    EXPECT_NE(LinkError([&] { rtu_.Transact(1, read_, 100); }), std::nullopt);

    ASSERT_TRUE(rtu_.Open(pty_.SlavePath(), 115200));
    auto peer2 = Answer([&] { pty_.Write(ReadAnswer(1, {2})); });
    EXPECT_EQ(LinkError([&] { rtu_.Transact(1, read_, 2000); }), std::nullopt);
    EXPECT_EQ(FirstRegister(rtu_), 2);
    peer2.get();

    ModBusRtu other;
    EXPECT_FALSE(other.Open("/nonexistent/port", 115200));
    EXPECT_FALSE(other.IsOpen());
}

TEST_P(RawPeer, CloseFromAnotherThreadEndsATransaction)
{
    for (std::uint32_t timeout : {ModBusRtu::kInfinite, 60000u}) {
        if (!rtu_.IsOpen()) {
            ASSERT_TRUE(rtu_.Open(pty_.SlavePath(), 115200));
        }
        auto transaction = std::async(std::launch::async, [&] {
            return LinkError([&] { rtu_.Transact(1, read_, timeout); });
        });
        ASSERT_FALSE(pty_.Read(30, 5000).empty()); // the request went out
        rtu_.Close();
        ASSERT_EQ(transaction.wait_for(10s), std::future_status::ready);
        const auto error = transaction.get();
        ASSERT_TRUE(error.has_value());
        EXPECT_TRUE(*error == 1 || *error == 3) << *error;
    }
}

TEST_P(RawPeer, AReceiveEndedByCloseFailsEvenWhenTheChannelOpensAgainAtOnce)
{
    auto transaction = std::async(std::launch::async, [&] {
        return LinkError([&] { rtu_.Transact(1, read_, ModBusRtu::kInfinite); });
    });
    ASSERT_FALSE(pty_.Read(1, 5000).empty()); // the request went out
    rtu_.Close();
    ASSERT_TRUE(rtu_.Open(pty_.SlavePath(), 115200));
    // An answer on the new open period is not taken by the old receive.
    pty_.Write(ReadAnswer(1, {0x7777}));
    ASSERT_EQ(transaction.wait_for(10s), std::future_status::ready);
    const auto error = transaction.get();
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(*error == 1 || *error == 3) << *error;
}

TEST_P(RawPeer, ALostPortIsNotRetried)
{
    auto peer = std::make_unique<PtyPair>();
    ModBusRtu rtu;
    ASSERT_TRUE(rtu.Open(peer->SlavePath(), 115200));
    peer.reset();
    const auto start = Clock::now();
    EXPECT_EQ(LinkError([&] { TransactWithRetry(rtu, 1, read_, 200); }), 6);
    EXPECT_LT(MsSince(start), 1000); // not 102 attempts of 200 ms
}

INSTANTIATE_TEST_SUITE_P(Framing, RawPeer, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ByLength" : "BySilence"; });

// The retry policy against the simulated meter.
class RetryAgainstSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = StartFrozenSim();
        ASSERT_TRUE(sim_->Running());
        ASSERT_TRUE(rtu_.Open(sim_->PortPath(), 115200));
    }

    std::unique_ptr<MeterSim> sim_;
    ModBusRtu rtu_;
    ModBusRequest read_{3, 42100, 2};
};

TEST_F(RetryAgainstSim, BusyAnswersAreRepeatedUpToTheLimit)
{
    sim_->SetBusyAnswers(101);
    EXPECT_NO_THROW(TransactWithRetry(rtu_, 1, read_, 1000));
    EXPECT_EQ(sim_->RequestCount(), 102u);
    EXPECT_EQ(FirstRegister(rtu_), sim_->Reg(42100));

    sim_->ClearRequests();
    sim_->SetBusyAnswers(102);
    try {
        TransactWithRetry(rtu_, 1, read_, 1000);
        ADD_FAILURE() << "no exception";
    } catch (ModBusPdu::error_t e) {
        EXPECT_EQ(e, 6);
    }
    EXPECT_EQ(sim_->RequestCount(), 102u);
}

TEST_F(RetryAgainstSim, OtherExceptionsAreThrownAtOnce)
{
    for (std::uint8_t code : {1, 2, 3, 4}) {
        SCOPED_TRACE(int{code});
        sim_->ClearRequests();
        sim_->SetExceptionRange(42100, 42100, code);
        try {
            TransactWithRetry(rtu_, 1, read_, 1000);
            ADD_FAILURE() << "no exception";
        } catch (ModBusPdu::error_t e) {
            EXPECT_EQ(e, code);
        }
        EXPECT_EQ(sim_->RequestCount(), 1u);
    }
}

TEST_F(RetryAgainstSim, LinkErrorsAreRetried)
{
    // Wrong CRCs (2), then success.
    sim_->SetBadCrcAnswers(3);
    EXPECT_NO_THROW(TransactWithRetry(rtu_, 1, read_, 1000));
    EXPECT_EQ(sim_->RequestCount(), 4u);

    // Time-outs (1): a silent meter that comes back. The budget must exceed
    // the 20 ms of silence that ends an answer, or the answer after the
    // comeback only counts when it happens to straddle a repeat.
    sim_->ClearRequests();
    ModBusRequest write(6, 42100, 1);
    sim_->SetSilent(true);
    auto retry = std::async(std::launch::async, [&] {
        return LinkError([&] { TransactWithRetry(rtu_, 1, write, 200); });
    });
    ASSERT_TRUE(sim_->WaitForRequests(3, 20s));
    sim_->SetSilent(false);
    ASSERT_EQ(retry.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(retry.get(), std::nullopt);
    EXPECT_GE(sim_->RequestCount(), 4u);
    EXPECT_EQ(sim_->Reg(42100), 1);

    // A meter that never answers: 102 attempts, then the time-out is thrown.
    // With 20 ms time-outs the sim may log the last write after the write
    // has returned (its answer to an earlier attempt came first), so only
    // the reads are counted.
    sim_->ClearRequests();
    sim_->SetSilent(true);
    EXPECT_EQ(LinkError([&] { TransactWithRetry(rtu_, 1, read_, 20); }), 1);
    ASSERT_TRUE(sim_->WaitForRequests(102, 10s));
    const auto log = sim_->Requests();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const Bytes& pdu) { return pdu[0] == 3; }), 102);
}

// The user closes the link during a poll and opens it again at once, with
// another time-out: the exchange of the old link ends, it sends no repeat
// over the new one and takes none of its answers.
TEST_F(RetryAgainstSim, ClosingTheLinkEndsTheRepeatsEvenWhenItOpensAgain)
{
    sim_->SetSilent(true);
    auto retry = std::async(std::launch::async, [&] {
        return LinkError([&] { TransactWithRetry(rtu_, 1, read_, 2000); });
    });
    ASSERT_TRUE(sim_->WaitForRequests(1, 20s));
    rtu_.Close();
    ASSERT_TRUE(rtu_.Open(sim_->PortPath(), 115200));
    sim_->SetSilent(false);
    ASSERT_EQ(retry.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(retry.get(), 1);
    EXPECT_EQ(sim_->RequestCount(), 1u);
}

TEST_F(RetryAgainstSim, LateAnswerOfATimedOutRequestIsNotTakenForTheNext)
{
    sim_->SetReg(2000, 0xAAAA);
    sim_->SetReg(53020, 0x5555);
    sim_->SetAnswerDelay(150);
    ModBusRequest first(3, 2000, 1);
    EXPECT_EQ(LinkError([&] { rtu_.Transact(1, first, 50); }), 1);
    // Let the late answer come in and be handed over.
    std::this_thread::sleep_for(400ms);
    sim_->SetAnswerDelay(0);
    ModBusRequest second(3, 53020, 1);
    ASSERT_EQ(LinkError([&] { rtu_.Transact(1, second, 2000); }), std::nullopt);
    EXPECT_EQ(FirstRegister(rtu_), 0x5555);
}

TEST_F(RetryAgainstSim, AnAnswerThatDoesNotFitItsRequestIsMalformed)
{
    sim_->SetShortReads(1);
    ModBusRequest request(3, 53017, 2);
    EXPECT_EQ(LinkError([&] { rtu_.Transact(1, request, 1000); }), 5);
    sim_->SetShortReads(-1);
    EXPECT_EQ(LinkError([&] { rtu_.Transact(1, request, 1000); }), std::nullopt);
}

TEST(SimOnTheWire, AnAnswerComesNoSoonerThanItsBytesTakeOnTheLine)
{
    MeterSimOptions options;
    options.wire = true;
    const std::unique_ptr<MeterSim> sim = StartFrozenSim(options);
    for (const std::uint32_t baud : {9600u, 115200u}) {
        ModBusRtu rtu;
        rtu.SetFastFraming(true);
        ASSERT_TRUE(rtu.Open(sim->PortPath(), baud));
        const auto start = Clock::now();
        ASSERT_EQ(LinkError([&] { rtu.Transact(1, ModBusRequest(3, 2000, 30), 2000); }), std::nullopt) << baud;
        // An 8-byte request and a 65-byte answer, 10 bits a byte.
        EXPECT_GE(Clock::now() - start, std::chrono::microseconds((8 + 65) * 10'000'000ull / baud)) << baud;
    }
}

} // namespace
