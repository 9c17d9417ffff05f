#include "link_test_support.h"


TEST(LinkQueue, ClosedPortRefusesEveryPost)
{
    TestApp();
    MeterRegisters regs;
    RecordingFront front;
    TLink1Thread link(regs, front, TestDispatcher());
    for (int command = -1; command <= 6; ++command)
        EXPECT_FALSE(link.PostCommand(command)) << command;
    EXPECT_FALSE(link.PostWrite(regs.Salinity, "1.0"));
}

TEST(LinkQueue, OpenLinkKeepsTimeoutAndAddressEvenWhenTheOpenFails)
{
    TestApp();
    MeterRegisters regs;
    RecordingFront front;
    MeterSimOptions options;
    options.address = 7;
    MeterSim sim(options);
    ASSERT_TRUE(sim.Start());
    TLink1Thread link(regs, front, TestDispatcher());
    EXPECT_FALSE(link.OpenLink("/dev/no-such-port", 115200, 200, 7));
    EXPECT_TRUE(link.OpenLink(sim.PortPath(), 115200, 200, 7));
    EXPECT_FALSE(link.OpenLink(sim.PortPath(), 115200, 200, 7)); // already open
    ASSERT_TRUE(link.PostCommand(Poll));
    ASSERT_TRUE(WaitUntil([&] { return front.refreshes == 1; }));
    EXPECT_TRUE(front.errors.empty());
}

TEST_F(LinkTest, TwoCommandsWaitBehindTheRunningOneAndRunInOrder)
{
    front.holdRefresh = true;
    std::vector<bool> posts;
    std::size_t requestsWhileHeld = 0;
    front.onHold = [&] {
        // The running poll is held in its refresh step.
        front.holdRefresh = false;
        sim->ClearRequests();
        posts.push_back(link->PostWrite(regs.PortSpeed, "9"));
        posts.push_back(link->PostCommand(Poll));
        posts.push_back(link->PostCommand(Poll));
        posts.push_back(link->PostWrite(regs.PortSpeed, "8"));
        requestsWhileHeld = sim->RequestCount();
        front.Release();
    };
    ASSERT_TRUE(link->PostCommand(Poll));
    ASSERT_TRUE(WaitUntil([&] { return front.refreshes == 2; }));
    EXPECT_EQ(posts, (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(requestsWhileHeld, 0u);
    const auto requests = sim->Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0], Pdu({0x10, 0xA4, 0x75, 0x00, 0x01, 0x02, 0x00, 0x09}));
    EXPECT_EQ(requests[1], Pdu({0x03, 0x07, 0xD0, 0x00, 0x1E}));
    EXPECT_EQ(sim->Reg(42101), 9);
}

TEST_F(LinkTest, UnknownCommandIsDroppedAndTheNextStillRuns)
{
    ASSERT_TRUE(link->PostCommand(42));
    ASSERT_TRUE(link->PostCommand(Poll));
    ASSERT_TRUE(WaitUntil([&] { return front.refreshes == 1; }));
    EXPECT_TRUE(front.errors.empty());
    EXPECT_EQ(sim->RequestCount(), 5u);
}

TEST_F(LinkTest, ExceptionTwoShowsItsMessageAndExceptionFourNothing)
{
    sim->SetExceptionRange(2000, 2029, 2);
    ASSERT_TRUE(link->PostCommand(Poll));
    ASSERT_TRUE(WaitUntil([&] { return front.errors.size() == 1; }));
    EXPECT_EQ(front.errors[0], "Запрошен неверный адрес регистра");

    sim->SetExceptionRange(2000, 2029, 4);
    sim->ClearRequests();
    ASSERT_TRUE(link->PostCommand(Poll));
    ASSERT_TRUE(sim->WaitForRequests(1, std::chrono::seconds(10)));
    sim->ClearExceptionRange();
    ASSERT_TRUE(RunPoll());
    EXPECT_EQ(front.errors.size(), 1u);
    EXPECT_EQ(front.refreshes, 1);
}

TEST_F(LinkTest, EachTableMessageForItsCode)
{
    const std::pair<int, const char*> cases[] = {
        {1, "Запрошен неверный код операции"},
        {3, "Неверные данные в запросе"},
    };
    for (const auto& [code, message] : cases) {
        sim->SetExceptionRange(53011, 53026, static_cast<std::uint8_t>(code));
        const std::size_t before = front.errors.size();
        ASSERT_TRUE(link->PostCommand(Poll));
        ASSERT_TRUE(WaitUntil([&] { return front.errors.size() == before + 1; }));
        EXPECT_EQ(front.errors.back(), message);
    }
    EXPECT_EQ(front.refreshes, 0);
}

TEST_F(LinkTest, BusyMeterIsRetriedWithoutAMessage)
{
    sim->SetBusyAnswers(30);
    ASSERT_TRUE(RunPoll());
    EXPECT_TRUE(front.errors.empty());
}

TEST_F(LinkTest, SilentMeterGivesOneLinkMessagePerPoll)
{
    UseShortTimeout();
    sim->SetSilent(true);
    ASSERT_TRUE(link->PostCommand(Poll));
    ASSERT_TRUE(WaitUntil([&] { return !front.errors.empty(); }, std::chrono::seconds(60)));
    EXPECT_EQ(front.errors, std::vector<std::string>{"Ошибка связи с влагомером"});
    // The first request and its 101 repeats, then the poll ended.
    EXPECT_EQ(sim->RequestCount(), 102u);
    EXPECT_EQ(front.refreshes, 0);
}

TEST_F(LinkTest, LinkFailureAfterCloseShowsNothing)
{
    sim->SetSilent(true);
    ASSERT_TRUE(link->PostCommand(Poll));
    ASSERT_TRUE(sim->WaitForRequests(2, std::chrono::seconds(10)));
    link->CloseLink();
    sim->SetSilent(false);
    // Reopening queues behind the failing poll, which must end silently:
    // it neither goes on over the new link nor marks its values stale.
    ASSERT_TRUE(link->OpenLink(sim->PortPath(), 115200, kTimeoutMs, 1));
    ASSERT_TRUE(RunPoll());
    EXPECT_TRUE(front.errors.empty());
    EXPECT_EQ(front.pollFailures, 0);
    EXPECT_EQ(front.refreshes, 1);
}

TEST_F(LinkTest, WhileAnErrorBoxIsOpenAtMostTwoPollsWait)
{
    // Busy beyond the retries: "Устройство занято".
    sim->SetExceptionRange(2000, 2001, 6);
    front.holdErrors = true;
    std::vector<bool> posts;
    front.onHold = [&] {
        front.holdErrors = false;
        for (int i = 0; i < 4; ++i)
            posts.push_back(link->PostCommand(Poll));
        sim->ClearExceptionRange();
        front.Release();
    };
    ASSERT_TRUE(link->PostCommand(Poll));
    ASSERT_TRUE(WaitUntil([&] { return front.refreshes == 2; }, std::chrono::seconds(60)));
    EXPECT_EQ(front.errors, std::vector<std::string>{"Устройство занято"});
    EXPECT_EQ(posts, (std::vector<bool>{true, true, false, false}));
}
