// Stopping the link thread at exit. Kept apart from the other link tests:
// quitting the application object affects later event loops of the process.

#include "link_test_support.h"

#include <QTimer>

TEST(LinkStop, QuitWhileAnErrorBoxIsOpenThenStopDoesNotHang)
{
    TestApp();
    MeterRegisters regs;
    RecordingFront front;
    MeterSim sim;
    ASSERT_TRUE(sim.Start());
    sim.SetExceptionRange(2000, 2001, 2);
    auto link = std::make_unique<TLink1Thread>(regs, front, TestDispatcher());
    ASSERT_TRUE(link->OpenLink(sim.PortPath(), 115200, 200, 1));
    front.holdErrors = true;
    std::vector<bool> posts;
    front.onHold = [&] {
        posts.push_back(link->PostCommand(Poll));
        posts.push_back(link->PostCommand(Poll));
        // The application quits while the box is open, as on closing the
        // window; quitting ends every running event loop, the box's too.
        QTimer::singleShot(20, [] { QCoreApplication::quit(); });
    };
    QTimer::singleShot(0, [&] { link->PostCommand(Poll); });
    QCoreApplication::exec();
    link->Stop();
    EXPECT_FALSE(link->IsRunning());
    EXPECT_FALSE(link->IsLinkOpen());
    EXPECT_FALSE(link->PostCommand(Poll));
    EXPECT_EQ(posts, (std::vector<bool>{true, true}));
    // The queued polls ended without reaching the front.
    EXPECT_EQ(front.errors.size(), 1u);
    EXPECT_EQ(front.refreshes, 0);
}

TEST(LinkStop, StopDuringARunningTransactionEndsPromptly)
{
    TestApp();
    MeterRegisters regs;
    RecordingFront front;
    MeterSim sim;
    ASSERT_TRUE(sim.Start());
    sim.SetSilent(true);
    TLink1Thread link(regs, front, TestDispatcher());
    ASSERT_TRUE(link.OpenLink(sim.PortPath(), 115200, 500, 1));
    ASSERT_TRUE(link.PostCommand(Poll));
    ASSERT_TRUE(link.PostCommand(Poll));
    ASSERT_TRUE(sim.WaitForRequests(1, std::chrono::seconds(10)));
    link.Stop();
    EXPECT_FALSE(link.IsRunning());
    EXPECT_TRUE(front.errors.empty());
    // Far fewer than the 102 attempts a failing poll would otherwise make.
    EXPECT_LT(sim.RequestCount(), 5u);
}

TEST(LinkStop, DestroyingTheThreadObjectStopsIt)
{
    TestApp();
    MeterRegisters regs;
    RecordingFront front;
    MeterSim sim;
    ASSERT_TRUE(sim.Start());
    {
        TLink1Thread link(regs, front, TestDispatcher());
        ASSERT_TRUE(link.OpenLink(sim.PortPath(), 115200, 200, 1));
        ASSERT_TRUE(link.PostCommand(SaveToNVRAM));
        ASSERT_TRUE(WaitUntil([&] { return !front.progress.empty(); }));
    }
    // The sweep in progress was cut short and no message came.
    EXPECT_LT(front.Sweeps(), 2);
    EXPECT_TRUE(front.errors.empty());
}
