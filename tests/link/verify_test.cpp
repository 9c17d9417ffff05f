// Verify against the simulated meter: as its own command and from the
// report window of a load.

#include "link_test_support.h"

#include "compare_plan.h"
#include "register_image.h"
#include "temp_dir.h"

#include <bit>

class VerifyTest : public LinkTest {
protected:
    VerifyResult Verify()
    {
        const std::size_t before = front.verifyResults.size();
        EXPECT_TRUE(link->PostCommand(VerifyVokParams));
        EXPECT_TRUE(WaitUntil([&] { return front.verifyResults.size() > before; }, std::chrono::seconds(60)));
        return front.verifyResults.empty() ? VerifyResult{} : front.verifyResults.back();
    }

    TempDir dir;
};

TEST_F(VerifyTest, ADumpVerifiesCleanInRunsOfAtMost125Registers)
{
    // Values that need more digits than the file's six decimals and seven
    // significant digits keep: the dump's text stands for them all the same.
    RegisterImage image{};
    for (std::uint16_t a : {2000, 2022, 53008, 53301, 54000, 54032, 56001, 57001, 57301})
        PutFloat(image, a, static_cast<float>(a) / 7);
    PutFloat(image, 53015, -0.103568904f);
    image[53020] = 10712; // point sets too
    image[57000] = 1;
    image[57033] = 20;
    sim->SetImage(image);
    front.saveFileName = front.openFileName = dir.File("meter.txt");
    ASSERT_TRUE(link->PostCommand(SaveVokParams));
    ASSERT_TRUE(WaitUntil([&] { return front.progressCloses == 1; }, std::chrono::seconds(60)));
    ASSERT_TRUE(front.errors.empty());

    sim->ClearRequests();
    const VerifyResult r = Verify();
    EXPECT_EQ(r.outcome, VerifyResult::Outcome::Match);
    for (const std::string& d : r.differences)
        ADD_FAILURE() << d;
    const ParamFileValues file = ReadParamFileValues(front.openFileName);
    EXPECT_EQ(r.compared, file.values.size());
    EXPECT_GT(r.compared, 300u);
    EXPECT_EQ(r.reads, PlanReads(file.values).size());
    const auto requests = sim->Requests();
    ASSERT_EQ(requests.size(), r.reads);
    for (const auto& pdu : requests) {
        EXPECT_EQ(pdu[0], 3);
        EXPECT_LE(pdu[3] << 8 | pdu[4], 125);
    }
}

TEST_F(VerifyTest, TheReportOfALoadOffersItAndTheResultComesWhileTheWindowStays)
{
    front.openFileName = dir.File("p.txt");
    WriteText(front.openFileName, "2021 float 2.75\r\n42102 ushort 5\r\n");
    front.verifyRequests = 2;
    ASSERT_TRUE(link->PostCommand(LoadVokParams));
    ASSERT_TRUE(WaitUntil([&] { return front.reportsShown == 3; }, std::chrono::seconds(30)));
    EXPECT_EQ(front.verifyOffered, (std::vector<bool>{true, true, true}));
    ASSERT_EQ(front.verifyResults.size(), 2u);
    EXPECT_EQ(front.verifyResults[0].outcome, VerifyResult::Outcome::Match);
    EXPECT_EQ(front.verifyResults[0].compared, 2u);
    EXPECT_EQ(front.report.size(), 3u); // the load's own lines, untouched

    // A file that fails validation wrote nothing: nothing to verify.
    WriteText(front.openFileName, "hello\r\n");
    front.verifyRequests = 1;
    ASSERT_TRUE(link->PostCommand(LoadVokParams));
    ASSERT_TRUE(WaitUntil([&] { return front.reportsShown == 4; }, std::chrono::seconds(30)));
    EXPECT_FALSE(front.verifyOffered.back());
    EXPECT_EQ(front.verifyResults.size(), 2u);
}

TEST_F(VerifyTest, DifferencesAreThoseRegistersByTheirBits)
{
    WriteText(dir.File("p.txt"), "2001 float 1.5\r\n2003 float 0\r\n53011 ushort 7\r\n53027 sshort -3\r\n");
    front.openFileName = dir.File("p.txt");
    sim->SetFloat(2000, 1.5f);
    sim->SetFloat(2002, 0.0f);
    sim->SetReg(53010, 7);
    sim->SetReg(53026, static_cast<std::uint16_t>(-3));
    EXPECT_EQ(Verify().outcome, VerifyResult::Outcome::Match);

    const struct {
        std::function<void()> change;
        std::string line;
    } cases[] = {
        {[&] { sim->SetReg(53010, 8); }, "53011 ushort: в файле 7, в приборе 8"},
        {[&] { sim->SetFloat(2002, -0.0f); }, "2003 float: в файле 0, в приборе -0"},
        {[&] { sim->SetU32(2000, 0x7FC00001); }, "2001 float: в файле 1.5, в приборе NAN (0x7FC00001)"},
    };
    for (const auto& c : cases) {
        sim->SetFloat(2000, 1.5f);
        sim->SetFloat(2002, 0.0f);
        sim->SetReg(53010, 7);
        c.change();
        const VerifyResult r = Verify();
        EXPECT_EQ(r.outcome, VerifyResult::Outcome::Differ);
        EXPECT_EQ(r.differences, std::vector<std::string>{c.line});
    }

    sim->SetExceptionRange(53026, 53026, 2);
    const VerifyResult rejected = Verify();
    EXPECT_EQ(rejected.outcome, VerifyResult::Outcome::LinkFailure);
    EXPECT_EQ(rejected.messages, std::vector<std::string>{"Прибор отверг чтение с адреса 53027 (код 2)."});

    WriteText(dir.File("p.txt"), "0 ushort 1\r\n");
    const VerifyResult invalid = Verify();
    EXPECT_EQ(invalid.outcome, VerifyResult::Outcome::InvalidFile);
    EXPECT_EQ(invalid.messages, std::vector<std::string>{"Строка #1, Неверное значение адреса."});
    EXPECT_TRUE(front.errors.empty());
}
