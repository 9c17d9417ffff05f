#include "link_test_support.h"

#include <bit>
#include <cmath>

namespace {

std::vector<std::uint8_t> FloatWire(float v)
{
    const auto u = std::bit_cast<std::uint32_t>(v);
    return {static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 24),
            static_cast<std::uint8_t>(u >> 16)};
}

} // namespace

class DeviceCommandTest : public LinkTest {
protected:
    // Posts a write and waits until it has run, by a poll queued behind it.
    void Write(RegListItemData& row, const std::string& text)
    {
        const int before = front.refreshes;
        ASSERT_TRUE(link->PostWrite(row, text));
        ASSERT_TRUE(link->PostCommand(Poll));
        ASSERT_TRUE(WaitUntil([&] { return front.refreshes > before; }));
    }
};

TEST_F(DeviceCommandTest, WriteFramesForFloatUnsignedAndLongRows)
{
    struct Case {
        RegListItemData* row;
        std::string text;
        std::vector<std::uint8_t> pdu;
    };
    auto floatPdu = [](std::uint8_t hi, std::uint8_t lo, float v) {
        std::vector<std::uint8_t> p = {0x10, hi, lo, 0x00, 0x02, 0x04};
        const auto w = FloatWire(v);
        p.insert(p.end(), w.begin(), w.end());
        return p;
    };
    const Case cases[] = {
        {&regs.Salinity, "12.5", floatPdu(0x07, 0xE4, 12.5f)},                // 2021 → 2020
        {&regs.Phases[1].Tail[3], "-0.25", floatPdu(0x07, 0xF0, -0.25f)},     // 2033 → 2032
        {&regs.PortAddress, "70000", {0x10, 0xA4, 0x74, 0x00, 0x01, 0x02, 0x11, 0x70}},
        // A long row (no list row is writable as long, but the kind writes).
        {&regs.ErrorMask, "-1", {0x10, 0xCF, 0x1A, 0x00, 0x02, 0x04, 0xFF, 0xFF, 0xFF, 0xFF}},
        {&regs.ErrorMask, "$12345678", {0x10, 0xCF, 0x1A, 0x00, 0x02, 0x04, 0x56, 0x78, 0x12, 0x34}},
    };
    for (const Case& c : cases) {
        sim->ClearRequests();
        Write(*c.row, c.text);
        const auto requests = sim->Requests();
        ASSERT_GE(requests.size(), 1u);
        EXPECT_EQ(requests[0], c.pdu) << c.text;
    }
    EXPECT_TRUE(front.errors.empty());
    // The write went to the row's own register; the poll shows another one.
    EXPECT_EQ(sim->Float(2020), 12.5f);
}

TEST_F(DeviceCommandTest, BadTextSendsNothingEvenAfterAnEarlierWrite)
{
    Write(regs.Salinity, "2.5");
    sim->ClearRequests();
    for (const char* text : {"abc", "1,5", "", "1e999"}) {
        Write(regs.Salinity, text);
        EXPECT_EQ(front.errors.back(), "Неверный формат числа") << text;
        EXPECT_EQ(sim->RequestCount(), 5u) << "only the poll behind the write";
        sim->ClearRequests();
    }
    EXPECT_EQ(front.errors.size(), 4u);
}

TEST_F(DeviceCommandTest, WriteBindsItsTextWhenPosted)
{
    // Two confirmed edits of different rows before the thread takes either:
    // each writes its own value to its own register.
    front.holdRefresh = true;
    front.onHold = [&] {
        front.holdRefresh = false;
        sim->ClearRequests();
        EXPECT_TRUE(link->PostWrite(regs.PortAddress, "12"));
        EXPECT_TRUE(link->PostWrite(regs.PortSpeed, "3"));
        front.Release();
    };
    ASSERT_TRUE(RunPoll());
    ASSERT_TRUE(WaitUntil([&] { return sim->RequestCount() >= 2; }));
    const auto requests = sim->Requests();
    EXPECT_EQ(requests[0], Pdu({0x10, 0xA4, 0x74, 0x00, 0x01, 0x02, 0x00, 12}));
    EXPECT_EQ(requests[1], Pdu({0x10, 0xA4, 0x75, 0x00, 0x01, 0x02, 0x00, 3}));
}

TEST_F(DeviceCommandTest, RejectedWriteShowsTheMessageAndKeepsTheParsedValue)
{
    sim->SetExceptionRange(2020, 2021, 3);
    ASSERT_TRUE(link->PostWrite(regs.Salinity, "7.5"));
    ASSERT_TRUE(WaitUntil([&] { return !front.errors.empty(); }));
    EXPECT_EQ(front.errors[0], "Неверные данные в запросе");
    EXPECT_EQ(regs.Salinity.Get(), 7.5f);
}

TEST_F(DeviceCommandTest, NvramThatClearsAtOnce)
{
    sim->SetNvramClearReads(0);
    ASSERT_TRUE(link->PostCommand(SaveToNVRAM));
    ASSERT_TRUE(WaitUntil([&] { return front.progressCloses == 1; }));
    EXPECT_EQ(sim->Requests(), (std::vector<std::vector<std::uint8_t>>{
                                   Pdu({0x06, 0xC3, 0x45, 0x04, 0xD2}),
                                   Pdu({0x03, 0xC3, 0x45, 0x00, 0x01}),
                               }));
    EXPECT_EQ(front.Sweeps(), 1);
    EXPECT_EQ(front.progress.size(), 101u);
    EXPECT_EQ(front.progress[50], 500);
    EXPECT_TRUE(front.errors.empty());
    EXPECT_EQ(front.statuses, std::vector<std::string>{"Изменения сохранены в NVRAM"});
}

TEST_F(DeviceCommandTest, NvramCommitConfirmedOnlyWhenTheMeterClearsTheCommand)
{
    // The meter keeps 1234 for `clearReads` read-backs: the fifth pass is
    // the last chance, after it the commit is not confirmed.
    const struct {
        int clearReads;
        std::size_t requests;
        int sweeps;
        std::vector<std::string> errors;
        std::vector<std::string> statuses;
    } cases[] = {
        {4, 6u, 5, {}, {"Изменения сохранены в NVRAM"}},
        {5, 6u, 5, {"Сохранение в NVRAM не подтверждено влагомером"}, {}},
        {MeterSimOptions::kNever, 6u, 5, {"Сохранение в NVRAM не подтверждено влагомером"}, {}},
    };
    for (const auto& c : cases) {
        front = RecordingFront();
        sim->ClearRequests();
        sim->SetNvramClearReads(c.clearReads);
        ASSERT_TRUE(link->PostCommand(SaveToNVRAM));
        ASSERT_TRUE(WaitUntil([&] { return front.progressCloses == 1; }));
        EXPECT_EQ(sim->RequestCount(), c.requests) << c.clearReads;
        EXPECT_EQ(front.Sweeps(), c.sweeps) << c.clearReads;
        EXPECT_EQ(front.errors, c.errors) << c.clearReads;
        EXPECT_EQ(front.statuses, c.statuses) << c.clearReads;
    }
}

TEST_F(DeviceCommandTest, LinkFailureOnTheFirstWriteGivesOneMessageAndNoSweep)
{
    UseShortTimeout();
    sim->SetSilent(true);
    ASSERT_TRUE(link->PostCommand(SaveToNVRAM));
    ASSERT_TRUE(WaitUntil([&] { return front.progressCloses == 1; }, std::chrono::seconds(60)));
    EXPECT_EQ(front.errors, std::vector<std::string>{"Ошибка связи с влагомером"});
    EXPECT_TRUE(front.progress.empty());
}

TEST_F(DeviceCommandTest, FactoryLoadWritesTheBlockAndWaitsForItToClear)
{
    // Two read-backs still show the command, the third reads zero.
    sim->SetFactoryClearReads(2);
    ASSERT_TRUE(link->PostCommand(LoadFactory));
    ASSERT_TRUE(WaitUntil([&] { return front.progressCloses == 1; }));
    const auto requests = sim->Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0], Pdu({0x10, 0xEA, 0xA0, 0x00, 0x05, 0x0A, 0x00, 0x65, 0x00, 0x00, 0x42, 0xCA, 0x00,
                                0x00, 0x42, 0xCA}));
    EXPECT_EQ(requests[1], Pdu({0x03, 0xEA, 0xA0, 0x00, 0x05}));
    EXPECT_EQ(front.Sweeps(), 3);
    EXPECT_EQ(sim->GetCounters().factoryLoads, 1);
    EXPECT_TRUE(front.errors.empty());
}

TEST_F(DeviceCommandTest, FactoryReadBackEndsOnNegativeZeroButNotOnNaN)
{
    sim->SetFactoryClearReads(MeterSimOptions::kNever);
    struct Case {
        float first, second;
        std::size_t reads;
    };
    const Case cases[] = {{-0.0f, 0.0f, 1}, {0.0f, std::nanf(""), 5}};
    for (const Case& c : cases) {
        sim->ClearRequests();
        const int closes = front.progressCloses;
        ASSERT_TRUE(link->PostCommand(LoadFactory));
        // The first read-back comes after a two-second sweep: time enough
        // to put the answer in place once the write has arrived.
        ASSERT_TRUE(sim->WaitForRequests(1, std::chrono::seconds(10)));
        sim->SetReg(60064, 0);
        sim->SetFloat(60065, c.first);
        sim->SetFloat(60067, c.second);
        ASSERT_TRUE(WaitUntil([&] { return front.progressCloses == closes + 1; }, std::chrono::seconds(60)));
        EXPECT_EQ(sim->RequestCount(), 1 + c.reads) << c.first << " " << c.second;
    }
}
