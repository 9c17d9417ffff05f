// vokctl run as a program against a simulated meter.

#include "meter_sim.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct CtlRun {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

class VokctlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MeterSimOptions options;
        options.frozen = true;
        options.nvramClearReads = 0;
        sim = std::make_unique<MeterSim>(options);
        ASSERT_TRUE(sim->Start());
    }
    void TearDown() override
    {
        sim.reset();
    }

    // Runs vokctl with every link option given, so no saved settings apply.
    CtlRun Ctl(const std::vector<std::string>& args, const std::string& timeout = "200")
    {
        std::string command = std::string(VOKCTL_PATH) + " --port " + Quote(sim->PortPath()) +
                              " --speed 115200 --timeout " + timeout + " --address 1";
        for (const auto& a : args)
            command += " " + Quote(a);
        return Raw(command);
    }
    CtlRun Raw(const std::string& command)
    {
        const fs::path out = dir / "out.txt", err = dir / "err.txt";
        const int rc = std::system((command + " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null").c_str());
        CtlRun r;
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }

    TempDir temp;
    fs::path dir = temp.Path();
    std::unique_ptr<MeterSim> sim;
};

TEST_F(VokctlTest, PollPrintsTheSixteenRowsAndTheParameterValue)
{
    sim->SetFloat(2000, 4242.0f);
    const CtlRun r = Ctl({"poll"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 17u);
    EXPECT_EQ(rows[0], "Серийный номер\t2001\tfloat\t4242.000000\t");
    EXPECT_EQ(rows[4].rfind("Соленость, %\t2021\tfloat\t", 0), 0u);
    EXPECT_EQ(rows[4].back(), '+');
    EXPECT_EQ(rows[14].rfind("Маска кодов ошибок\t53019\tlong\t", 0), 0u);
    EXPECT_EQ(rows[16].rfind("Значение параметра:\t", 0), 0u);
    EXPECT_EQ(sim->RequestCount(), 5u);
}

TEST_F(VokctlTest, WriteNamesAWritableRowByItsRegisterNumber)
{
    EXPECT_EQ(Ctl({"write", "2021", "-3.5"}).status, 0);
    EXPECT_EQ(sim->Float(2020), -3.5f);
    const CtlRun bad = Ctl({"write", "2021", "3,5"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("Неверный формат числа"), std::string::npos);
    EXPECT_EQ(Ctl({"write", "2001", "5"}).status, 2); // read-only row
    sim->SetExceptionRange(42100, 42100, 2);
    const CtlRun rejected = Ctl({"write", "42101", "9"});
    EXPECT_EQ(rejected.status, 1);
    EXPECT_NE(rejected.err.find("Запрошен неверный адрес регистра"), std::string::npos);
}

TEST_F(VokctlTest, NvramCommitsAndDumpLoadRoundTrip)
{
    EXPECT_EQ(Ctl({"nvram"}).status, 0);
    EXPECT_EQ(sim->GetCounters().nvramCommits, 1);

    const std::string file = (dir / "meter.txt").string();
    ASSERT_EQ(Ctl({"dump", file}).status, 0);
    EXPECT_EQ(Ctl({"dump", file}).status, 2); // exists, no --force
    ASSERT_EQ(Ctl({"dump", file, "--force"}).status, 0);
    EXPECT_EQ(Ctl({"check", file}).status, 0);

    sim->SetFloat(2022, 77.0f);
    const CtlRun load = Ctl({"load", file});
    ASSERT_EQ(load.status, 0) << load.err;
    EXPECT_NE(load.out.find("Запись по адресу 2023 выполнена."), std::string::npos);
    EXPECT_NE(load.out.find("Применена команда загрузки конфигурации (без записи в NVRAM)."), std::string::npos);
    EXPECT_NE(sim->Float(2022), 77.0f);
}

TEST_F(VokctlTest, ExitStatusesOfFilesThatFail)
{
    const fs::path bad = dir / "bad.txt";
    std::ofstream(bad) << "2001 float 1\n0 ushort 1\nhello\n";
    const CtlRun check = Raw(std::string(VOKCTL_PATH) + " check " + Quote(bad.string()));
    EXPECT_EQ(check.status, 3);
    EXPECT_EQ(check.out, "Строка #2, Неверное значение адреса.\nСтрока #3, Синтаксическая ошибка.\n");
    EXPECT_EQ(Ctl({"load", bad.string()}).status, 3);
    EXPECT_EQ(sim->RequestCount(), 0u);
    EXPECT_EQ(Raw(std::string(VOKCTL_PATH) + " check " + Quote((dir / "none.txt").string())).status, 2);
    EXPECT_EQ(Ctl({"load", (dir / "none.txt").string()}).status, 2);

    const fs::path rejected = dir / "rejected.txt";
    std::ofstream(rejected) << "2001 float 1\n";
    sim->SetExceptionRange(2000, 2001, 2);
    const CtlRun load = Ctl({"load", rejected.string()});
    EXPECT_EQ(load.status, 3);
    EXPECT_NE(load.out.find("Ошибка записи по адресу 2001 (запрос отвергнут)."), std::string::npos);
}

TEST_F(VokctlTest, ExitStatusesOfTheLink)
{
    EXPECT_EQ(Ctl({"poll"}, "19").status, 2);
    const CtlRun refused = Ctl({"poll"}, "abc");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("Неверное значение таймаута (от 20 до 500 миллисекунд)"), std::string::npos);
    const CtlRun missing = Raw(std::string(VOKCTL_PATH) + " --port /dev/no-such-port --timeout 200 --address 1 poll");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Не удалось открыть порт"), std::string::npos);
    sim->SetSilent(true);
    const CtlRun silent = Ctl({"poll"}, "20");
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.err.find("Ошибка связи с влагомером"), std::string::npos);
    EXPECT_EQ(Raw(std::string(VOKCTL_PATH) + " ports").status, 0);
}

TEST_F(VokctlTest, APortThatVanishesOrRefusesEndsTheRunWithItsReason)
{
    sim->SetVanishAfter(7);
    const auto start = std::chrono::steady_clock::now();
    const CtlRun lost = Ctl({"poll", "--count", "5"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)); // not 5 polls of a dead port
    EXPECT_EQ(lost.status, 1);
    EXPECT_EQ(lost.err, "Порт " + sim->PortPath() + " потерян (устройство отключено). Связь закрыта.\n");

    const CtlRun speed = Raw(std::string(VOKCTL_PATH) + " --port /dev/ptmx --speed 12345 --timeout 200 poll");
    EXPECT_EQ(speed.status, 2);
    EXPECT_EQ(speed.err, "Не удалось открыть порт\nПорт /dev/ptmx не поддерживает скорость 12345\n");
    const CtlRun missing = Raw(std::string(VOKCTL_PATH) + " --port /dev/no-such-port --timeout 200 poll");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Не удалось открыть порт\nПорт /dev/no-such-port не найден\n");
}

TEST_F(VokctlTest, ASecondRunFindsNothingOfTheFirstOnTheLine)
{
    // Registers that name their addresses, so that a mix-up shows.
    for (int a : {2000, 2001, 42100, 42101})
        sim->SetReg(static_cast<std::uint16_t>(a), static_cast<std::uint16_t>(a));
    const std::string reference = (dir / "reference.txt").string(), second = (dir / "second.txt").string();
    ASSERT_EQ(Ctl({"dump", reference}).status, 0);
    // A meter slower than the first run's time-out: its answers to the
    // repeats of the poll's last read (two registers) trail the run, and the
    // dump begins with a read of two registers.
    sim->SetAnswerDelay(150);
    EXPECT_EQ(Ctl({"poll"}, "20").status, 0);
    sim->SetAnswerDelay(0);
    ASSERT_EQ(Ctl({"dump", second}).status, 0);
    EXPECT_EQ(Slurp(second), Slurp(reference));
}
