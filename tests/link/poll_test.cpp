#include "link_test_support.h"

#include "value_text.h"

#include <atomic>
#include <cmath>
#include <functional>

namespace {

// Puts a distinct value at every position the poll reads, and other values
// at the rows' own registers that the poll must not show.
void StageImage(MeterSim& sim)
{
    sim.SetFloat(2000, 1001.0f);
    for (std::uint16_t a = 2002; a < 2030; a += 2)
        sim.SetFloat(a, -1.0f); // positions that only step over
    sim.SetFloat(2010, 12.25f);
    sim.SetFloat(2012, 45.5f);
    sim.SetFloat(2016, 1.0f);
    sim.SetFloat(2020, 777.0f); // own register of "Соленость, %"
    sim.SetFloat(2022, 888.0f); // own register of "Oil Adjust, %"
    sim.SetFloat(2028, 13.75f);
    sim.SetFloat(2030, 999.0f); // own register of "Oil Index, МГц", not read
    sim.SetFloat(53011, 0.5f);
    sim.SetFloat(53013, 0.75f);
    sim.SetFloat(53015, 3.5f);
    sim.SetReg(53017, 4);
    sim.SetU32(53018, 0xFFFFFFF0u);
    sim.SetReg(53020, 10712);
    sim.SetFloat(53021, 36.6f);
    sim.SetFloat(53023, 2.0f);
    sim.SetReg(53025, 77);
    sim.SetReg(53026, static_cast<std::uint16_t>(-5));
    for (int p = 0; p < 2; ++p) {
        const std::uint16_t s = p == 0 ? 53300 : 53600;
        sim.SetReg(s, static_cast<std::uint16_t>(p == 0 ? 1 : 3));
        sim.SetFloat(s + 1, 10.0f + p);
        sim.SetFloat(s + 3, 20.0f + p);
        sim.SetReg(s + 5, static_cast<std::uint16_t>(30 + p));
        sim.SetFloat(s + 6, 40.0f + p);
        for (int i = 0; i < 7; ++i)
            sim.SetFloat(static_cast<std::uint16_t>(s + 8 + 2 * i), 100.0f * (p + 1) + i);
        for (int i = 0; i < 4; ++i)
            sim.SetFloat(static_cast<std::uint16_t>(s + 22 + 2 * i), 500.0f * (p + 1) + i);
    }
    sim.SetReg(42100, 17);
    sim.SetReg(42101, 5);
}

} // namespace

TEST_F(LinkTest, BeforeTheFirstPollEveryRowShowsZero)
{
    for (const RegRow& row : RegRows(regs))
        EXPECT_EQ(row.object->GetValueText(), row.kind == rkFloat ? "0.000000" : "0") << row.caption;
}

TEST_F(LinkTest, EveryRowGetsTheValueOfItsTablePosition)
{
    StageImage(*sim);
    ASSERT_TRUE(RunPoll());
    EXPECT_TRUE(front.errors.empty());

    const std::pair<std::uint16_t, std::string> expected[] = {
        {2001, "1001.000000"},  {2011, "12.250000"},   {2013, "45.500000"},   {2017, "1.000000"},
        {2021, "3.500000"},     {2023, "502.000000"},  {2025, "1002.000000"}, {2029, "13.750000"},
        {2031, "503.000000"},   {2033, "1003.000000"}, {40020, "4"},          {40024, "10712"},
        {42101, "17"},          {42102, "5"},          {53019, "4294967280"}, {53022, "36.599998"},
    };
    const auto rows = RegRows(regs);
    ASSERT_EQ(rows.size(), std::size(expected));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].registerNumber, expected[i].first);
        EXPECT_EQ(rows[i].object->GetValueText(), expected[i].second) << rows[i].caption;
    }
    // The objects without a row.
    EXPECT_EQ(regs.NSStart.Get(), 0.5f);
    EXPECT_EQ(regs.NSEnd.Get(), 0.75f);
    EXPECT_EQ(regs.StatusFloat.Get(), 2.0f);
    EXPECT_EQ(regs.StatusUShort.Get(), 77);
    EXPECT_EQ(regs.NShift.Get(), -5);
    EXPECT_EQ(regs.Phases[1].SG2CrossN.Get(), 31);
    EXPECT_EQ(regs.Phases[0].SG2Win.Get(), 40.0f);
    // Mode 4, phase 1, SG1CrossN of phase block 1 is 3: item 5 + 3 of block 1.
    ASSERT_EQ(front.parameterTexts.size(), 1u);
    EXPECT_EQ(front.parameterTexts[0], "203.000000");
}

TEST_F(LinkTest, ParameterValueFollowsPhaseAndMode)
{
    StageImage(*sim);
    struct Case {
        float phase;
        std::uint16_t mode;
        std::uint16_t selector0;
        const char* text;
    };
    const Case cases[] = {
        {-0.5f, 4, 20001, "100.000000"}, // phase 0, above 20000: item 5
        {0.9f, 4, 6, "106.000000"},
        {0.0f, 4, 7, "NAN"},
        {0.0f, 4, 20000, "NAN"},
        {1.7f, 3, 0, "NAN"},             // mode 3 or below
        {2.0f, 4, 0, "NAN"},
        {-1.0f, 4, 0, "NAN"},
        {std::nanf(""), 4, 0, "NAN"},
        {3.0e9f, 4, 0, "NAN"},           // beyond the integer range: no phase
    };
    for (const Case& c : cases) {
        sim->SetFloat(2016, c.phase);
        sim->SetReg(53017, c.mode);
        sim->SetReg(53300, c.selector0);
        ASSERT_TRUE(RunPoll());
        EXPECT_EQ(front.parameterTexts.back(), c.text) << "phase " << c.phase << " mode " << c.mode;
    }
}

TEST_F(LinkTest, ShortAnswerIsALinkFailureAndChangesNothing)
{
    StageImage(*sim);
    ASSERT_TRUE(RunPoll());
    const float serial = regs.Serial.Get();
    sim->SetFloat(2000, 5.0f);
    sim->SetShortReads(20);
    sim->ClearRequests();
    ASSERT_TRUE(link->PostCommand(Poll));
    ASSERT_TRUE(WaitUntil([&] { return !front.errors.empty(); }));
    EXPECT_EQ(front.errors, std::vector<std::string>{"Ошибка связи с влагомером"});
    EXPECT_EQ(regs.Serial.Get(), serial);
    EXPECT_EQ(front.refreshes, 1);
    // Retried like any link failure: 102 reads of block A, nothing after.
    EXPECT_EQ(sim->RequestCount(), 102u);
}

TEST_F(LinkTest, ExceptionOnBlockBShowsItsMessageAndNoRefresh)
{
    StageImage(*sim);
    sim->SetExceptionRange(53011, 53026, 2);
    ASSERT_TRUE(link->PostCommand(Poll));
    ASSERT_TRUE(WaitUntil([&] { return !front.errors.empty(); }));
    EXPECT_EQ(front.errors[0], "Запрошен неверный адрес регистра");
    EXPECT_EQ(front.refreshes, 0);
    // Block A was decoded all the same and shows at the next refresh.
    EXPECT_EQ(regs.Serial.Get(), 1001.0f);
    EXPECT_EQ(regs.Salinity.Get(), 0.0f);
    EXPECT_EQ(sim->RequestCount(), 2u);
}

TEST_F(LinkTest, AFailedPollIsToldToTheFrontBeforeItsMessage)
{
    struct Case {
        const char* what;
        std::function<void()> fault;
        std::vector<std::string> errors;
        bool noAnswer;
        std::vector<int> repeats; // the attempts the front heard were repeating an unanswered request
    };
    std::vector<int> allRepeats;
    for (int attempt = 2; attempt <= 102; ++attempt)
        allRepeats.push_back(attempt);
    const Case cases[] = {
        {"exception answer", [&] { sim->SetExceptionRange(53300, 53300, 2); }, {"Запрошен неверный адрес регистра"}, false, {}},
        {"exception without a message", [&] { sim->SetExceptionRange(42100, 42101, 4); }, {}, false, {}},
        // Busy answers are repeated too, but the meter does answer.
        {"busy meter", [&] { sim->SetExceptionRange(53300, 53300, 6); }, {"Устройство занято"}, false, {}},
        {"silent meter",
         [&] {
             UseShortTimeout();
             sim->SetSilent(true);
         },
         {"Ошибка связи с влагомером"},
         true,
         allRepeats},
    };
    for (const Case& c : cases) {
        front = RecordingFront();
        c.fault();
        ASSERT_TRUE(link->PostCommand(Poll)) << c.what;
        ASSERT_TRUE(WaitUntil([&] { return front.pollFailures > 0 && front.errors.size() == c.errors.size(); },
                              std::chrono::seconds(60)))
            << c.what;
        EXPECT_EQ(front.pollFailures, 1) << c.what;
        EXPECT_EQ(front.pollNoAnswer, c.noAnswer) << c.what;
        EXPECT_EQ(front.errorsBeforePollFailure, 0u) << c.what;
        EXPECT_EQ(front.errors, c.errors) << c.what;
        EXPECT_EQ(front.refreshes, 0) << c.what;
        EXPECT_EQ(front.repeatAttempts, c.repeats) << c.what;
        EXPECT_EQ(front.repeatTotal, c.repeats.empty() ? 0 : 102) << c.what;
        sim->ClearExceptionRange();
        sim->SetSilent(false);
        link->CloseLink();
        ASSERT_TRUE(link->OpenLink(sim->PortPath(), 115200, kTimeoutMs, 1));
        ASSERT_TRUE(RunPoll()) << c.what;
        EXPECT_EQ(front.pollFailures, 1) << c.what;
    }
}

TEST_F(LinkTest, APollThatTheClosingLinkEndsIsNoFailure)
{
    const std::uint64_t before = link->CommandsEnded(Poll);
    const auto ended = [&] { return link->CommandsEnded(Poll) != before; };
    sim->SetSilent(true);
    ASSERT_TRUE(link->PostCommand(Poll));
    ASSERT_TRUE(sim->WaitForRequests(2, std::chrono::seconds(10)));
    link->CloseLink();
    ASSERT_TRUE(WaitUntil(ended));
    EXPECT_EQ(front.pollFailures, 0);
    EXPECT_TRUE(front.errors.empty());
}

TEST_F(LinkTest, APollIsFiveReadsOfTheDocumentedBlocks)
{
    ASSERT_TRUE(RunPoll());
    EXPECT_EQ(sim->Requests(), (std::vector<std::vector<std::uint8_t>>{
                                   Pdu({0x03, 0x07, 0xD0, 0x00, 30}),
                                   Pdu({0x03, 0xCF, 0x13, 0x00, 16}),
                                   Pdu({0x03, 0xD0, 0x34, 0x00, 30}),
                                   Pdu({0x03, 0xD1, 0x60, 0x00, 30}),
                                   Pdu({0x03, 0xA4, 0x74, 0x00, 2}),
                               }));
}
