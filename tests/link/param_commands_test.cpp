#include "link_test_support.h"

#include "register_image.h"
#include "temp_dir.h"

#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

fs::path DataFile(const char* name)
{
    return fs::path(VOK_LINK_TEST_DATA) / name;
}

// The small image whose dump the expected files under data/ show.
void StageSmallImage(MeterModel& sim, std::uint16_t firmware)
{
    sim.SetImage(RegisterImage{});
    sim.SetFloat(2000, 123.0f);
    sim.SetFloat(2022, 0.5f);
    sim.SetFloat(2024, -1.25f);
    sim.SetFloat(2026, 7.0f); // stepped over
    sim.SetFloat(2030, 900.0f);
    sim.SetFloat(2032, 850.5f);
    sim.SetFloat(53008, 1000.0f);
    sim.SetReg(53010, 40);
    sim.SetFloat(53011, 650.0f);
    sim.SetFloat(53013, 1150.0f);
    sim.SetFloat(53015, 9.0f); // stepped over
    sim.SetReg(53017, 4);
    sim.SetReg(53020, firmware);
    sim.SetReg(53026, static_cast<std::uint16_t>(-12));
    sim.SetFloat(53027, 5.0f); // stepped over
    sim.SetFloat(53029, 0.125f);
    sim.SetFloat(53031, 16.0f);
    sim.SetReg(53300, 3);
    sim.SetFloat(53301, 600.0f);
    sim.SetFloat(53303, 1200.0f);
    sim.SetReg(53305, 2);
    sim.SetFloat(53306, 35.0f);
    sim.SetReg(53600, 1);
    for (int p = 0; p < 2; ++p) {
        for (int s = 0; s < 10; ++s) {
            const auto w = static_cast<std::uint16_t>((p == 0 ? 54000 : 55000) + 30 * s);
            sim.SetFloat(w, 150.0f);
            sim.SetFloat(w + 2, 42.0f); // read, but not written for a Salt of 100 or more
        }
    }
    const std::uint16_t w = 54060; // phase 0, salt table 2
    sim.SetFloat(w, 99.5f);
    sim.SetFloat(w + 2, 1.5f);
    sim.SetFloat(w + 4, 0.25f);
    sim.SetFloat(w + 6, -2.0f);
    sim.SetFloat(w + 8, 0.0009765625f);
    for (int i = 0; i < 10; ++i)
        sim.SetFloat(static_cast<std::uint16_t>(w + 10 + 2 * i), i * 0.5f);
    sim.SetReg(56000, 1);
    const float density[] = {850.0f, 800.0f, 900.0f, 1.0f, 2.0f, 3.0f, 0.5f, 0.125f};
    for (int i = 0; i < 8; ++i)
        sim.SetFloat(static_cast<std::uint16_t>(56001 + 2 * i), density[i]);
    // Point sets: phase 0 Mode 3; phase 1 Mode 1 with PCount 21.
    sim.SetReg(57000, 3);
    sim.SetFloat(57001, 1.0f); // not written for a Mode other than 0 or 1
    const std::uint16_t q = 57300;
    sim.SetReg(q, 1);
    const float head[] = {20.0f, 5.5f, 0.75f, 0.0625f, -3.5f, 0.5f};
    for (int i = 0; i < 6; ++i)
        sim.SetFloat(static_cast<std::uint16_t>(q + 1 + 2 * i), head[i]);
    for (int i = 0; i < 10; ++i)
        sim.SetFloat(static_cast<std::uint16_t>(q + 13 + 2 * i), i + 1.0f);
    sim.SetReg(q + 33, 21);
    for (int i = 0; i < 20; ++i) {
        sim.SetFloat(static_cast<std::uint16_t>(q + 34 + 4 * i), i * 0.25f);
        sim.SetFloat(static_cast<std::uint16_t>(q + 36 + 4 * i), -static_cast<float>(i));
    }
}

std::vector<std::uint8_t> Read(std::uint16_t address, std::uint16_t count)
{
    return {0x03, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address & 0xFF),
            static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count & 0xFF)};
}

} // namespace

class ParamCommandTest : public LinkTest {
protected:
    void Dump(const fs::path& file)
    {
        front.saveFileName = file.string();
        const int closes = front.progressCloses;
        ASSERT_TRUE(link->PostCommand(SaveVokParams));
        ASSERT_TRUE(WaitUntil([&] { return front.progressCloses == closes + 1; }, std::chrono::seconds(60)));
    }

    void Load(const std::string& text)
    {
        const fs::path file = dir / "script.txt";
        WriteFile(file, text);
        LoadFile(file);
    }
    void LoadFile(const fs::path& file)
    {
        front.openFileName = file.string();
        const int shown = front.reportsShown;
        ASSERT_TRUE(link->PostCommand(LoadVokParams));
        ASSERT_TRUE(WaitUntil([&] { return front.reportsShown == shown + 1; }, std::chrono::seconds(120)));
    }

    TempDir temp;
    fs::path dir = temp.Path();
};

TEST_F(ParamCommandTest, DumpWithTheGateClosedIsTheExpectedFileFrom28Reads)
{
    StageSmallImage(*sim, 10699);
    Dump(dir / "dump.txt");
    EXPECT_TRUE(front.errors.empty());
    EXPECT_EQ(ReadFile(dir / "dump.txt"), ReadFile(DataFile("dump_gate_closed.txt")));

    std::vector<std::vector<std::uint8_t>> expected = {Read(2000, 2), Read(2022, 12), Read(53008, 10),
                                                       Read(53026, 7)};
    for (int p = 0; p < 2; ++p) {
        expected.push_back(Read(p == 0 ? 53300 : 53600, 30));
        for (int s = 0; s < 10; ++s)
            expected.push_back(Read(static_cast<std::uint16_t>((p == 0 ? 54000 : 55000) + 30 * s), 30));
    }
    expected.push_back(Read(56000, 17));
    expected.push_back(Read(53020, 1));
    EXPECT_EQ(sim->Requests(), expected);
    EXPECT_EQ(front.progress, (std::vector<int>{0, 150, 300, 450, 600, 750, 900, 1050}));
}

TEST_F(ParamCommandTest, DumpWithTheGateOpenAddsBothPointSetsFrom30Reads)
{
    StageSmallImage(*sim, 10700);
    Dump(dir / "dump.txt");
    EXPECT_TRUE(front.errors.empty());
    EXPECT_EQ(ReadFile(dir / "dump.txt"),
              ReadFile(DataFile("dump_gate_closed.txt")) + ReadFile(DataFile("dump_point_sets.txt")));
    const auto requests = sim->Requests();
    ASSERT_EQ(requests.size(), 30u);
    EXPECT_EQ(requests[28], Read(57000, 114));
    EXPECT_EQ(requests[29], Read(57300, 114));
}

TEST_F(ParamCommandTest, PointSetCountsOfZeroAndAboveTwenty)
{
    StageSmallImage(*sim, 10712);
    sim->SetReg(57000, 0);
    sim->SetReg(57033, 0);
    sim->SetReg(57333, 25);
    Dump(dir / "dump.txt");
    const std::string text = ReadFile(dir / "dump.txt");
    EXPECT_NE(text.find("57034 ushort 0\t\t# PCount\r\n\r\n# Point set, phase: 1"), std::string::npos);
    EXPECT_NE(text.find("57334 ushort 20\t\t# PCount\r\n"), std::string::npos);
    EXPECT_NE(text.find("57413 float  -1.900000e+01\t\t# W[19]\r\n"), std::string::npos);
    EXPECT_EQ(text.find("W[20]"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(ParamCommandTest, FailedReadWritesNoFileAndKeepsAnOldOne)
{
    sim->SetExceptionRange(53026, 53032, 2);
    Dump(dir / "new.txt");
    EXPECT_EQ(front.errors, std::vector<std::string>{"Запрошен неверный адрес регистра"});
    EXPECT_FALSE(fs::exists(dir / "new.txt"));

    WriteFile(dir / "old.txt", "old contents\r\n");
    Dump(dir / "old.txt");
    EXPECT_EQ(ReadFile(dir / "old.txt"), "old contents\r\n");
    EXPECT_EQ(front.progressCloses, 2);
    // Nothing else was left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(ParamCommandTest, UnwritableFileIsReportedAndTheThreadGoesOn)
{
    const fs::path target = dir / "missing-folder" / "dump.txt";
    Dump(target);
    ASSERT_EQ(front.errors.size(), 1u);
    EXPECT_EQ(front.errors[0].rfind("Не удалось записать файл " + target.string() + ": ", 0), 0u) << front.errors[0];
    ASSERT_TRUE(RunPoll());
}

TEST_F(ParamCommandTest, AFailingFrontStepEndsTheCommandWithItsMessage)
{
    front.saveFileFailure = "disk gone";
    sim->ClearRequests();
    Dump(dir / "dump.txt");
    EXPECT_EQ(front.errors, std::vector<std::string>{"Команда не выполнена: disk gone"});
    EXPECT_EQ(sim->RequestCount(), 0u);
    EXPECT_FALSE(fs::exists(dir / "dump.txt"));
    // The thread serves the next command, and steps are in step again.
    front.saveFileFailure.clear();
    ASSERT_TRUE(RunPoll());
    Dump(dir / "dump.txt");
    EXPECT_TRUE(fs::exists(dir / "dump.txt"));
    EXPECT_EQ(front.errors.size(), 1u);
}

TEST_F(ParamCommandTest, ValidationErrorsAreReportedInLineOrderAndNothingIsSent)
{
    sim->ClearRequests();
    Load("2001 float 1.5\r\n# comment\r\n0 ushort 1\r\n53011 ushort 65536\r\n53027 sshort 32768\r\n"
         "sleep(5001)\r\nhello\r\nsleep(99999999999)\r\n2001 float 1,5\r\n");
    EXPECT_EQ(front.report, (std::vector<std::string>{
                                "Строка #3, Неверное значение адреса.",
                                "Строка #4, Неверное значение для данного типа регистра.",
                                "Строка #5, Неверное значение для данного типа регистра.",
                                "Строка #6, Слишком большая задержка.",
                                "Строка #7, Синтаксическая ошибка.",
                                "Строка #8, Неверный параметр комманды.",
                                "Строка #9, Неверное значение для данного типа регистра.",
                            }));
    EXPECT_EQ(sim->RequestCount(), 0u);
    EXPECT_EQ(front.progressCloses, 1);
}

TEST_F(ParamCommandTest, ExecutionWritesEachLineThenAppliesTheConfiguration)
{
    sim->ClearRequests();
    Load("53011 ushort 65535\n53027 sshort -1\n# 2001 float 1.5\n");
    const auto one = std::bit_cast<std::uint32_t>(1.5f);
    EXPECT_EQ(sim->Requests(), (std::vector<std::vector<std::uint8_t>>{
                                   Pdu({0x06, 0xCF, 0x12, 0xFF, 0xFF}),
                                   Pdu({0x06, 0xCF, 0x22, 0xFF, 0xFF}),
                                   Pdu({0x10, 0x07, 0xD0, 0x00, 0x02, 0x04, int(one >> 8 & 0xFF), int(one & 0xFF),
                                        int(one >> 24), int(one >> 16 & 0xFF)}),
                                   Pdu({0x06, 0xEA, 0xA0, 0x00, 0x0A}),
                               }));
    EXPECT_EQ(front.report, (std::vector<std::string>{
                                "Запись по адресу 53011 выполнена.",
                                "Запись по адресу 53027 выполнена.",
                                "Запись по адресу 2001 выполнена.",
                                "Применена команда загрузки конфигурации (без записи в NVRAM).",
                            }));
    EXPECT_EQ(front.progress, (std::vector<int>{0, 333, 666, 999}));
    EXPECT_EQ(sim->Float(2000), 1.5f);
    EXPECT_EQ(sim->GetCounters().applies, 1);
    EXPECT_TRUE(front.errors.empty());
}

TEST_F(ParamCommandTest, RejectedWriteIsReportedAndTheRunGoesOnWithoutAdvancing)
{
    sim->SetExceptionRange(2000, 2001, 2);
    Load("2001 float 1\nsleep(250)\n2023 f 2\n");
    EXPECT_EQ(front.report, (std::vector<std::string>{
                                "Ошибка записи по адресу 2001 (запрос отвергнут).",
                                "Запись по адресу 2023 выполнена.",
                                "Применена команда загрузки конфигурации (без записи в NVRAM).",
                            }));
    // Weight 4 (two writes, two pause ticks), step 250; the rejected write
    // does not move the bar, each tick shows the position before its step.
    EXPECT_EQ(front.progress, (std::vector<int>{0, 0, 250, 750}));
}

TEST_F(ParamCommandTest, CommentsOnlySendsTheFinalCommandAlone)
{
    sim->ClearRequests();
    Load("# nothing but comments\n\n   \n\t# more\nsleep(99)\n");
    EXPECT_EQ(front.report, std::vector<std::string>{"Применена команда загрузки конфигурации (без записи в NVRAM)."});
    EXPECT_EQ(sim->Requests(), std::vector<std::vector<std::uint8_t>>{Pdu({0x06, 0xEA, 0xA0, 0x00, 0x0A})});
    EXPECT_EQ(front.progress, std::vector<int>{0});
}

TEST_F(ParamCommandTest, FinalCommandRejectedHasItsOwnLine)
{
    sim->SetExceptionRange(60064, 60064, 2);
    Load("\n");
    EXPECT_EQ(front.report, std::vector<std::string>{"Команда загрузки конфигурации отвергнута (код 2)."});
}

TEST_F(ParamCommandTest, UnreadableFileSendsNothingAndSaysSo)
{
    sim->ClearRequests();
    LoadFile(dir / "no-such-file.txt");
    ASSERT_EQ(front.report.size(), 1u);
    EXPECT_EQ(front.report[0].rfind("Не удалось прочитать файл " + (dir / "no-such-file.txt").string() + ": ", 0), 0u);
    EXPECT_EQ(sim->RequestCount(), 0u);
    EXPECT_EQ(front.progressCloses, 1);
    ASSERT_TRUE(RunPoll());
}

TEST_F(ParamCommandTest, DumpLoadedIntoAnotherMeterDumpsIdentically)
{
    // By silence, and with fast framing: the round trip is the same.
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "by length" : "by silence");
        link->SetFastFraming(fast);
        const fs::path first = dir / (fast ? "first-fast.txt" : "first.txt");
        const fs::path second = dir / (fast ? "second-fast.txt" : "second.txt");
        Dump(first);
        ASSERT_TRUE(front.errors.empty());

        MeterSim other;
        ASSERT_TRUE(other.Start());
        other.SetFrozen(true);
        other.SetImage(FactoryImage());
        link->CloseLink();
        ASSERT_TRUE(link->OpenLink(other.PortPath(), 115200, kTimeoutMs, 1));
        LoadFile(first);
        for (const std::string& line : front.report)
            ASSERT_EQ(line.find("Ошибка"), std::string::npos) << line;
        Dump(second);
        EXPECT_EQ(ReadFile(second), ReadFile(first));
        EXPECT_TRUE(front.errors.empty());
        link->CloseLink();
        ASSERT_TRUE(link->OpenLink(sim->PortPath(), 115200, kTimeoutMs, 1));
    }
}
