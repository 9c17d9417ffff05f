// The loop dispatcher of fronts without an event loop: steps of several
// link threads run on the serving thread, Wake ends a wait, a deadline ends
// it neither early nor late, periodic tasks run until removed, and posted
// tasks run there later, in order.

#include "loop_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = LoopDispatcher::Clock;

TEST(LoopDispatcher, StepsOfSeveralThreadsRunOnTheServingThread)
{
    LoopDispatcher loop;
    const std::thread::id server = std::this_thread::get_id();
    constexpr int kThreads = 3, kSteps = 50;
    std::atomic<int> finished{0};
    int ran = 0; // the serving thread's alone
    bool elsewhere = false;
    std::vector<std::thread> links;
    for (int t = 0; t < kThreads; ++t) {
        links.emplace_back([&] {
            for (int i = 0; i < kSteps; ++i) {
                const std::function<void()> step = [&] {
                    ++ran;
                    elsewhere = elsewhere || std::this_thread::get_id() != server;
                };
                loop.RunOnFrontThread(step);
            }
            ++finished;
            loop.Wake();
        });
    }
    EXPECT_TRUE(loop.ServeUntil([&] { return finished == kThreads; }, Clock::now() + 60s));
    for (std::thread& t : links)
        t.join();
    EXPECT_EQ(ran, kThreads * kSteps);
    EXPECT_FALSE(elsewhere);
}

TEST(LoopDispatcher, WakeEndsTheWaitAndADeadlineEndsItNeitherEarlyNorLate)
{
    LoopDispatcher loop;
    std::atomic<bool> flag{false};
    std::thread waker([&] {
        std::this_thread::sleep_for(50ms);
        flag = true;
        loop.Wake();
    });
    EXPECT_TRUE(loop.ServeUntil([&] { return flag.load(); }, Clock::now() + 60s));
    waker.join();

    const auto start = Clock::now();
    EXPECT_FALSE(loop.ServeUntil([] { return false; }, start + 200ms));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 200ms);
    EXPECT_LT(waited, 20s);
}

TEST(LoopDispatcher, PeriodicTasksRunWhileServingUntilRemoved)
{
    LoopDispatcher loop;
    int ticks = 0;
    const int id = loop.AddPeriodic(10ms, [&] { ++ticks; });
    EXPECT_TRUE(loop.ServeUntil([&] { return ticks >= 3; }, Clock::now() + 60s));
    loop.RemovePeriodic(id);
    const int after = ticks;
    EXPECT_FALSE(loop.ServeUntil([] { return false; }, Clock::now() + 100ms));
    EXPECT_EQ(ticks, after);
}

TEST(LoopDispatcher, PostedTasksWaitForTheServingThreadAndRunThereInOrder)
{
    LoopDispatcher loop;
    const std::thread::id server = std::this_thread::get_id();
    std::vector<int> order; // the serving thread's alone
    bool elsewhere = false;
    std::thread poster([&] {
        for (int i = 0; i < 5; ++i)
            loop.Post([&, i] {
                order.push_back(i);
                elsewhere = elsewhere || std::this_thread::get_id() != server;
            });
    });
    // The poster never waits for a task: it ends before anything is served.
    poster.join();
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(loop.ServeUntil([&] { return order.size() == 5; }, Clock::now() + 60s));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(elsewhere);
}
