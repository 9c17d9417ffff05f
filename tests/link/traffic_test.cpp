// The link's tap with the link thread: statistics for each fault kind of the
// integrity matrix, a front that never takes its entries, and the queue
// between the channel's threads and the front.

#include "link_test_support.h"

#include "bounded_queue.h"

#include <QObject>

#include <atomic>

namespace {

using namespace std::chrono_literals;

class TrafficTest : public LinkTest {
protected:
    // A link whose tap lets `capacity` entries wait for the front.
    void Reopen(std::size_t capacity = LinkTap::kQueueCapacity)
    {
        link->CloseLink();
        link = std::make_unique<TLink1Thread>(regs, front, TestDispatcher());
        tap = &link->WatchTraffic(capacity);
        ASSERT_TRUE(link->OpenLink(sim->PortPath(), 115200, kTimeoutMs, 1));
    }

    // Posts a poll and serves its steps until it has ended.
    bool RunCommand(int command)
    {
        const std::uint64_t before = link->CommandsEnded(command);
        return link->PostCommand(command) && WaitUntil([&] { return link->CommandsEnded(command) != before; });
    }

    LinkTap* tap = nullptr;
};

constexpr std::uint64_t kAny = ~0ull;

} // namespace

TEST_F(TrafficTest, StatisticsCountEachFaultOfAPoll)
{
    struct Case {
        const char* name;
        std::function<void(MeterSim&)> fault;
        std::uint64_t requests, answers, timeOuts, crcErrors, misfits, retries, portLost;
        std::vector<std::pair<int, std::uint64_t>> exceptions;
        bool polled;
    };
    const Case cases[] = {
        {"a clean poll", [](MeterSim&) {}, 5, 5, 0, 0, 0, 0, 0, {}, true},
        {"one wrong CRC", [](MeterSim& s) { s.SetBadCrcAnswers(1); }, 6, 5, 0, 1, 0, 1, 0, {}, true},
        {"two answers with function 4", [](MeterSim& s) { s.SetWrongShape(MeterFaults::Shape::OtherFunction, 2); },
         7, 5, 0, 0, 2, 2, 0, {}, true},
        {"two busy answers", [](MeterSim& s) { s.SetBusyAnswers(2); }, 7, 7, 0, 0, 0, 2, 0, {{6, 2}}, true},
        {"exception 2 for block B", [](MeterSim& s) { s.SetExceptionRange(53011, 53026, 2); }, 2, 2, 0, 0, 0, 0, 0,
         {{2, 1}}, false},
        // The late answer and the repeat's own may come as one burst (a
        // wrong CRC and one more repeat) or apart (a stale frame).
        {"block B's answer 250 ms late", [](MeterSim& s) { s.SetLateAnswer(2, 250); }, kAny, 5, 1, kAny, 0, kAny, 0,
         {}, true},
        {"the line vanishes at the third request", [](MeterSim& s) { s.SetVanishAfter(3); }, 3, 2, 0, 0, 0, 0, 1, {},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim = StartFrozenSim();
        Reopen();
        c.fault(*sim);
        ASSERT_TRUE(RunCommand(Poll));
        EXPECT_EQ(front.refreshes > 0, c.polled);
        front.refreshes = 0;
        link->SettleLine();
        const LinkCounters n = tap->Counters();
        const auto expect = [](std::uint64_t want, std::uint64_t got, const char* what) {
            if (want != kAny) {
                EXPECT_EQ(got, want) << what;
            }
        };
        expect(c.requests, n.requests, "requests");
        expect(c.answers, n.answers, "answers");
        expect(c.timeOuts, n.timeOuts, "time-outs");
        expect(c.crcErrors, n.crcErrors, "CRC errors");
        expect(c.misfits, n.misfits, "misfits");
        expect(c.retries, n.retries, "retries");
        expect(c.portLost, n.portLost, "ports lost");
        EXPECT_EQ(n.exceptions, c.exceptions);
        ASSERT_TRUE(n.answerTime.has_value() || n.answers == 0);
        if (n.answerTime) {
            EXPECT_EQ(n.answerTime->samples, n.answers);
        }
        if (c.polled) {
            // Each of the five reads went out once, and again after each
            // failure of it (busy answers included), until it was answered.
            EXPECT_EQ(n.requests, 5 + n.retries);
            EXPECT_EQ(n.retries, n.timeOuts + n.crcErrors + n.misfits + n.ExceptionAnswers());
        }
    }
}

TEST_F(TrafficTest, AFrontThatNeverTakesItsEntriesDoesNotHoldTheLink)
{
    constexpr std::size_t kRoom = 16;
    Reopen(kRoom);
    constexpr int kPolls = 3;
    for (int i = 0; i < kPolls; ++i)
        ASSERT_TRUE(RunPoll()) << "poll " << i;
    // The statistics saw everything, the queue kept the first entries only.
    const LinkCounters n = tap->Counters();
    EXPECT_EQ(n.requests, 5u * kPolls);
    EXPECT_EQ(n.answers, 5u * kPolls);
    const std::uint64_t all = 1 + 3 * n.requests; // opened; request, frame, answer each
    EXPECT_EQ(tap->TakeDropped(), all - kRoom);
    EXPECT_EQ(tap->TakeDropped(), 0u);
    std::vector<TrafficEntry> kept;
    EXPECT_EQ(tap->Drain(kept, 100), kRoom);
    ASSERT_EQ(kept.size(), kRoom);
    EXPECT_EQ(kept[0].kind, TrafficKind::Opened);
    for (std::size_t i = 1; i < kept.size(); ++i) {
        const TrafficKind expected[] = {TrafficKind::Request, TrafficKind::Frame, TrafficKind::Answer};
        EXPECT_EQ(kept[i].kind, expected[(i - 1) % 3]) << i;
    }
    // Room again: the next poll's entries get through.
    ASSERT_TRUE(RunPoll());
    kept.clear();
    EXPECT_EQ(tap->Drain(kept, 100), 15u);
    EXPECT_EQ(tap->TakeDropped(), 0u);
}

TEST(BoundedQueue, ProducersNeverWaitAndEachOnesOrderHolds)
{
    struct Item {
        int producer;
        int sequence;
    };
    BoundedQueue<Item> queue(64);
    EXPECT_EQ(queue.Capacity(), 64u);
    constexpr int kItems = 20000;
    std::atomic<int> refused{0};
    std::atomic<int> running{2};
    std::vector<std::thread> producers;
    for (int p = 0; p < 2; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kItems; ++i)
                if (!queue.TryPush({p, i}))
                    refused.fetch_add(1);
            running.fetch_sub(1);
        });
    }
    int taken = 0;
    int last[2] = {-1, -1};
    Item item{};
    for (;;) {
        const bool producing = running.load() > 0;
        if (queue.TryPop(item)) {
            ++taken;
            EXPECT_GT(item.sequence, last[item.producer]);
            last[item.producer] = item.sequence;
        } else if (!producing) {
            break;
        }
    }
    for (std::thread& t : producers)
        t.join();
    EXPECT_EQ(taken + refused.load(), 2 * kItems);
    EXPECT_GT(taken, 0);
    // A full queue refuses at once, an empty one has nothing.
    BoundedQueue<int> small(2);
    EXPECT_TRUE(small.TryPush(1));
    EXPECT_TRUE(small.TryPush(2));
    EXPECT_FALSE(small.TryPush(3));
    int v = 0;
    EXPECT_TRUE(small.TryPop(v));
    EXPECT_EQ(v, 1);
    EXPECT_TRUE(small.TryPop(v));
    EXPECT_EQ(v, 2);
    EXPECT_FALSE(small.TryPop(v));
}
