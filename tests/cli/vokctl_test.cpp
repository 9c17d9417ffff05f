// vokctl run as a program against a simulated meter.

#include "loopback.h"
#include "meter_sim.h"
#include "pty_pair.h"
#include "socat_gateway.h"
#include "comma_locale.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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
        MakeSim();
        ASSERT_TRUE(sim->Start());
    }
    // A frozen meter whose NVRAM command clears at once; not started yet.
    void MakeSim()
    {
        MeterSimOptions options;
        options.frozen = true;
        options.nvramClearReads = 0;
        sim = std::make_unique<MeterSim>(options);
    }
    void TearDown() override
    {
        sim.reset();
    }

    // Runs vokctl with every link option given, so no saved settings apply.
    CtlRun Ctl(const std::vector<std::string>& args, const std::string& timeout = "200")
    {
        return Raw(CtlCommand(args, timeout));
    }
    std::string CtlCommand(const std::vector<std::string>& args, const std::string& timeout = "200")
    {
        std::string command = std::string(VOKCTL_PATH) + " --port " + Quote(sim->PortPath()) +
                              " --speed 115200 --timeout " + timeout + " --address 1";
        for (const auto& a : args)
            command += " " + Quote(a);
        return command;
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
    const CtlRun committed = Ctl({"nvram"});
    EXPECT_EQ(committed.status, 0);
    EXPECT_EQ(committed.out, "Изменения сохранены в NVRAM\n");
    EXPECT_EQ(sim->GetCounters().nvramCommits, 1);
    // A meter that never clears the command has not confirmed the commit.
    sim->SetNvramClearReads(MeterSimOptions::kNever);
    const CtlRun unconfirmed = Ctl({"nvram"});
    EXPECT_EQ(unconfirmed.status, 1);
    EXPECT_NE(unconfirmed.err.find("Сохранение в NVRAM не подтверждено влагомером"), std::string::npos);
    EXPECT_EQ(unconfirmed.out, "");
    sim->SetNvramClearReads(0);

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

    // Files that are no regular files are refused at once ("timeout" turns a
    // read that blocks into a failure of its own).
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& hostile : {fifo.string(), std::string("/dev/zero")}) {
        const CtlRun refused = Raw("timeout 20 " + std::string(VOKCTL_PATH) + " check " + Quote(hostile));
        EXPECT_EQ(refused.status, 2) << hostile;
        EXPECT_EQ(refused.err, "Не удалось прочитать файл " + hostile + ": не обычный файл\n");
        EXPECT_EQ(Raw("timeout 20 " + CtlCommand({"load", hostile})).status, 2) << hostile;
    }

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
    // An exception code that has no text of its own still fails the poll.
    sim->SetExceptionRange(42100, 42101, 4);
    const CtlRun rejected = Ctl({"poll"});
    EXPECT_EQ(rejected.status, 1);
    EXPECT_EQ(rejected.out, "");
    EXPECT_EQ(rejected.err, "Опрос не выполнен\n");
    sim->ClearExceptionRange();
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

TEST_F(VokctlTest, LineOptionsThePortRefusesEndTheRunWithOneMessage)
{
    const std::string port = sim->PortPath();
    const std::string rs485 = "Не удалось открыть порт\nПорт " + port +
                              " не поддерживает режим RS-485: Inappropriate ioctl for device\n";
    const std::string lines = "Не удалось открыть порт\nПорт " + port +
                              " не даёт управлять линиями DTR и RTS: Inappropriate ioctl for device\n";
    const struct {
        std::vector<std::string> flags;
        int status;
        std::string err;
    } cases[] = {
        {{"--rs485"}, 1, rs485},
        {{"--rs485=3,7"}, 1, rs485},
        {{"--dtr", "on"}, 1, lines},
        {{"--rts", "off"}, 1, lines},
        {{"--rs485=off", "--dtr", "keep"}, 0, ""},
        {{"--rs485=3"}, 2, "Задержки RS-485 должны быть ДО,ПОСЛЕ в мс от 0 до 100: 3\n"},
        {{"--rs485=0,101"}, 2, "Задержки RS-485 должны быть ДО,ПОСЛЕ в мс от 0 до 100: 0,101\n"},
        {{"--dtr", "high"}, 2, "Параметр --dtr должен быть keep, on или off: high\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags.front());
        std::vector<std::string> args = c.flags;
        args.push_back("poll");
        const CtlRun run = Ctl(args);
        EXPECT_EQ(run.status, c.status);
        // A usage error also prints the usage; the message comes first.
        EXPECT_EQ(run.err.substr(0, c.err.size()), c.err);
        if (c.status == 1) {
            EXPECT_EQ(run.err, c.err);
            EXPECT_EQ(run.out, "");
        }
        // The refused open left the port as it was: a plain run polls.
        EXPECT_EQ(Ctl({"poll"}).status, 0);
    }
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

namespace {

std::vector<std::string> CsvLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the last line is not whole";
    return lines;
}

std::vector<std::string> Split(const std::string& line, char separator)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, separator);)
        fields.push_back(f);
    return fields;
}

} // namespace

TEST_F(VokctlTest, LogWritesAHeaderAndOneRecordPerGoodPoll)
{
    const CtlRun poll = Ctl({"poll"});
    ASSERT_EQ(poll.status, 0);
    std::vector<std::string> polled; // the sixteen value texts, then the parameter value
    std::istringstream rows(poll.out);
    for (std::string row; std::getline(rows, row);) {
        const auto f = Split(row, '\t');
        polled.push_back(f.size() > 3 ? f[3] : f.back());
    }
    ASSERT_EQ(polled.size(), 17u);

    const std::string file = (dir / "log.csv").string();
    const CtlRun log = Ctl({"log", "--count", "3", "--interval", "0.2", file});
    ASSERT_EQ(log.status, 0) << log.err;
    std::vector<std::string> lines = CsvLines(Slurp(file));
    ASSERT_EQ(lines.size(), 4u);
    // A byte-order mark, the UTC offset in the time column's caption, and a
    // local time that spreadsheets read as a date and time.
    EXPECT_EQ(lines[0].rfind("\xEF\xBB\xBFВремя (UTC", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("),Серийный номер,\"Обводненность (trunc.), %\","), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(",Значение параметра"), std::string::npos);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto f = Split(lines[i], ',');
        ASSERT_EQ(f.size(), 18u) << lines[i];
        EXPECT_TRUE(std::regex_match(f[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})"))) << f[0];
        EXPECT_EQ(std::vector<std::string>(f.begin() + 1, f.end()), polled);
    }
    EXPECT_EQ(Ctl({"log", "--count", "1", file}).status, 2); // exists, no --force

    // ';' with ',' as the decimal separator, on stdout (no byte-order mark
    // there): asked for, or by default where the locale's decimal separator
    // is a comma; --separator wins over the locale.
    const CommaLocale comma;
    ASSERT_TRUE(comma.Built());
    const struct {
        std::string environment;
        std::vector<std::string> args;
        char separator;
        const char* serial;
    } styles[] = {
        {"", {"log", "--count", "1", "--separator", ";", "-"}, ';', "20417,000000"},
        {comma.Environment(), {"log", "--count", "1", "-"}, ';', "20417,000000"},
        {comma.Environment(), {"log", "--count", "1", "--separator", ",", "-"}, ',', "20417.000000"},
        {"env -u LC_ALL -u LANG LC_NUMERIC=C", {"log", "--count", "1", "-"}, ',', "20417.000000"},
    };
    for (const auto& style : styles) {
        const CtlRun run = Raw(style.environment + " " + CtlCommand(style.args));
        ASSERT_EQ(run.status, 0) << style.environment << run.err;
        lines = CsvLines(run.out);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].rfind("Время (UTC", 0), 0u) << lines[0];
        const auto f = Split(lines[1], style.separator);
        ASSERT_EQ(f.size(), 18u) << style.environment << lines[1];
        EXPECT_EQ(f[1], style.serial) << style.environment;
    }

    // Failed polls write nothing; a file that cannot be written ends the log.
    sim->SetExceptionRange(53011, 53011, 2);
    const CtlRun failed = Ctl({"log", "--count", "2", "--interval", "0.1", "--force", file});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(CsvLines(Slurp(file)).size(), 1u);
    EXPECT_NE(failed.err.find("Запрошен неверный адрес регистра"), std::string::npos);
    sim->ClearExceptionRange();
    const CtlRun full = Ctl({"log", "--count", "1", "--force", "/dev/full"});
    EXPECT_EQ(full.status, 2);
    EXPECT_NE(full.err.find("Не удалось записать в файл /dev/full"), std::string::npos);
}

TEST_F(VokctlTest, LogEndsCleanlyOnInterrupt)
{
    const std::string file = (dir / "interrupted.csv").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(VOKCTL_PATH, VOKCTL_PATH, "--port", sim->PortPath().c_str(), "--timeout", "200", "--address", "1",
              "log", "--interval", "0.1", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto records = [&] {
        const std::string text = Slurp(file);
        return std::count(text.begin(), text.end(), '\n');
    };
    for (int i = 0; i < 3000 && records() < 4; ++i)
        usleep(5000);
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const auto lines = CsvLines(Slurp(file));
    ASSERT_GE(lines.size(), 4u);
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(Split(lines[i], ',').size(), 18u) << lines[i];
}

// The seconds of the day of a record's local time ("2024-05-17 14:03:07.250").
double RecordSeconds(const std::string& record)
{
    const std::string time = record.substr(11, 12);
    return std::stoi(time.substr(0, 2)) * 3600.0 + std::stoi(time.substr(3, 2)) * 60.0 + std::stod(time.substr(6));
}

TEST_F(VokctlTest, LogWithReconnectWaitsForTheSameAdapterAndTakesNoOther)
{
    using Clock = std::chrono::steady_clock;
    const fs::path byId = dir / "by-id";
    fs::create_directories(byId);
    const fs::path adapter = byId / "usb-Meter_Bridge_42-if00";
    const struct {
        const char* what;
        bool sameName;
    } cases[] = {{"the adapter returns under its name", true}, {"another adapter comes instead", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(adapter);
        fs::create_symlink(sim->PortPath(), adapter);
        const std::string file = (dir / (c.sameName ? "same.csv" : "other.csv")).string();
        const std::string err = (dir / "reconnect-err.txt").string();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (!freopen(err.c_str(), "w", stderr))
                _exit(126);
            execl(VOKCTL_PATH, VOKCTL_PATH, "--port", adapter.c_str(), "--timeout", "200", "--address", "1", "log",
                  "--interval", "0.2", "--reconnect", "--give-up-after", c.sameName ? "60" : "3", file.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto records = [&] {
            const std::string text = Slurp(file);
            return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        };
        const auto waitFor = [&](const std::function<bool()>& done, std::chrono::seconds limit) {
            for (const auto end = Clock::now() + limit; Clock::now() < end; usleep(10000))
                if (done())
                    return true;
            return done();
        };
        ASSERT_TRUE(waitFor([&] { return records() >= 4; }, 15s)) << Slurp(err);

        // The adapter is pulled, and a second later one is put in.
        sim.reset();
        fs::remove(adapter);
        const auto lost = Clock::now();
        const std::size_t before = records();
        usleep(1000000);
        MakeSim();
        ASSERT_TRUE(sim->Start());
        fs::create_symlink(sim->PortPath(), c.sameName ? adapter : byId / "usb-Other_Bridge_7-if00");

        int status = 0;
        if (c.sameName) {
            EXPECT_TRUE(waitFor([&] { return records() >= before + 3; }, 20s)) << Slurp(err);
            kill(child, SIGINT);
            waitpid(child, &status, 0);
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0) << Slurp(err);
            const auto lines = CsvLines(Slurp(file));
            double longest = 0;
            for (std::size_t i = 1; i < lines.size(); ++i) {
                EXPECT_EQ(Split(lines[i], ',').size(), 18u) << lines[i];
                if (i > 1)
                    longest = std::max(longest, RecordSeconds(lines[i]) - RecordSeconds(lines[i - 1]));
            }
            EXPECT_GE(longest, 1.0) << "the time away is a gap in the records";
            EXPECT_NE(Slurp(err).find("Порт " + adapter.string() + " снова открыт"), std::string::npos) << Slurp(err);
        } else {
            const bool ended = waitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 30s);
            if (!ended) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
            }
            ASSERT_TRUE(ended) << "the wait for the port did not give up";
            EXPECT_GE(Clock::now() - lost, 3s) << "gave up before its time";
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 1);
            EXPECT_EQ(records(), before) << "a record from another adapter";
            EXPECT_NE(Slurp(err).find("Порт " + adapter.string() + " не вернулся за 3 с"), std::string::npos)
                << Slurp(err);
        }
        EXPECT_NE(Slurp(err).find("Порт " + adapter.string() + " потерян"), std::string::npos) << Slurp(err);
    }
}

// stats --reconnect waits for the adapter like log does, polls the one that
// returned for the rest of its count, and ends with the counters.
TEST_F(VokctlTest, StatsWithReconnectCountsOnAfterTheAdapterReturns)
{
    using Clock = std::chrono::steady_clock;
    const fs::path byId = dir / "by-id";
    fs::create_directories(byId);
    const fs::path adapter = byId / "usb-Meter_Bridge_42-if00";
    fs::create_symlink(sim->PortPath(), adapter);
    const std::string out = (dir / "stats-out.txt").string(), err = (dir / "stats-err.txt").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr))
            _exit(126);
        execl(VOKCTL_PATH, VOKCTL_PATH, "--port", adapter.c_str(), "--timeout", "200", "--address", "1", "stats",
              "--count", "4", "--reconnect", "--give-up-after", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto waitFor = [](const std::function<bool()>& done, std::chrono::seconds limit) {
        for (const auto end = Clock::now() + limit; Clock::now() < end; usleep(10000))
            if (done())
                return true;
        return done();
    };
    ASSERT_TRUE(waitFor([&] { return sim->RequestCount() >= 5; }, 15s)) << Slurp(err);

    sim.reset();
    fs::remove(adapter);
    usleep(1000000);
    MakeSim();
    ASSERT_TRUE(sim->Start());
    fs::create_symlink(sim->PortPath(), adapter);

    int status = 0;
    const bool ended = waitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 60s);
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    ASSERT_TRUE(ended) << Slurp(err);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << Slurp(err);
    EXPECT_GE(sim->RequestCount(), 5u) << "no poll of the adapter that returned";
    EXPECT_NE(Slurp(err).find("Порт " + adapter.string() + " потерян"), std::string::npos) << Slurp(err);
    EXPECT_NE(Slurp(err).find("Порт " + adapter.string() + " снова открыт"), std::string::npos) << Slurp(err);
    EXPECT_EQ(Slurp(out).rfind("requests\t", 0), 0u) << Slurp(out);
}

TEST_F(VokctlTest, VerifyAndDiffExitStatuses)
{
    const fs::path file = dir / "p.txt";
    std::ofstream(file) << "# salinity and port\n2021 float 2.75\n42102 ushort 5\n";
    ASSERT_EQ(Ctl({"load", file.string()}).status, 0);
    const CtlRun clean = Ctl({"verify", file.string()});
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out, "");

    sim->SetReg(42101, 9);
    const CtlRun differs = Ctl({"verify", file.string()});
    EXPECT_EQ(differs.status, 3);
    EXPECT_EQ(differs.out, "42102 ushort: в файле 5, в приборе 9\n");

    const fs::path bad = dir / "bad.txt";
    std::ofstream(bad) << "hello\n";
    const CtlRun invalid = Ctl({"verify", bad.string()});
    EXPECT_EQ(invalid.status, 2);
    EXPECT_EQ(invalid.out, "Строка #1, Синтаксическая ошибка.\n");
    sim->SetSilent(true);
    EXPECT_EQ(Ctl({"verify", file.string()}, "20").status, 1);

    const fs::path reordered = dir / "q.txt";
    std::ofstream(reordered) << "42102 d 5\nsleep(100)\n2021 f 2.750\n";
    const std::string diff = std::string(VOKCTL_PATH) + " diff ";
    EXPECT_EQ(Raw(diff + Quote(file.string()) + " " + Quote(reordered.string())).status, 0);
    std::ofstream(reordered, std::ios::app) << "53027 sshort -1\n";
    const CtlRun differ = Raw(diff + Quote(file.string()) + " " + Quote(reordered.string()));
    EXPECT_EQ(differ.status, 3);
    EXPECT_EQ(differ.out, "53027 sshort: в A нет, в B -1\n");
    EXPECT_EQ(Raw(diff + Quote(file.string()) + " " + Quote(bad.string())).status, 2);
}

TEST_F(VokctlTest, RunningOutOfMemoryIsAMessageAndStatusOne)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit under an address-space limit";
#endif
    // 2 Mi faulty lines under the read cap: their messages need some hundred
    // MB more than the limit leaves.
    const std::string faulty = (dir / "faulty.txt").string();
    std::string lines;
    for (int i = 0; i < (2 << 20); ++i)
        lines += "x\n";
    std::ofstream(faulty, std::ios::binary) << lines;
    const std::string good = (dir / "good.txt").string();
    std::ofstream(good) << "2001 f 1\n";
    const std::string limit = "ulimit -v 150000; ";
    // The limit leaves room for a run of ordinary size.
    ASSERT_EQ(Raw(limit + VOKCTL_PATH + " check " + Quote(good)).status, 0);
    for (const char* command : {"check", "load"}) {
        const CtlRun r = Raw(limit + CtlCommand({command, faulty}));
        EXPECT_EQ(r.status, 1) << command << ": " << r.err;
        EXPECT_NE(r.err.find("едостаточно памяти"), std::string::npos) << command << ": " << r.err;
    }
    EXPECT_EQ(sim->RequestCount(), 0u);
}

TEST_F(VokctlTest, TraceShowsEveryFrameAndEventAndStatsCountThem)
{
    const CtlRun traced = Ctl({"--trace", "--stats", "poll"});
    ASSERT_EQ(traced.status, 0) << traced.err;
    std::istringstream lines(traced.err);
    std::vector<std::string> trace;
    std::map<std::string, std::string> counters;
    for (std::string line; std::getline(lines, line);) {
        const auto tab = line.find('\t');
        if (tab != std::string::npos)
            counters[line.substr(0, tab)] = line.substr(tab + 1);
        else
            trace.push_back(line);
    }
    ASSERT_GE(trace.size(), 16u); // opened, then a request, its frame and its answer for each of five reads
    EXPECT_EQ(trace[0], "0.000 OPEN port opened, 115200 baud");
    const std::regex request(R"(\d+\.\d{3} TX 01 03 07 D0 00 1E C5 4F read 2000x30)");
    const std::regex frame(R"(\d+\.\d{3} RX 01 03 3C( [0-9A-F]{2}){62} answer: 30 registers)");
    const std::regex taken(R"(\d+\.\d{3} TAKEN answer taken, answer time \d+\.\d{3} ms)");
    EXPECT_TRUE(std::regex_match(trace[1], request)) << trace[1];
    EXPECT_TRUE(std::regex_match(trace[2], frame)) << trace[2];
    EXPECT_TRUE(std::regex_match(trace[3], taken)) << trace[3];
    EXPECT_EQ(counters["requests"], "5");
    EXPECT_EQ(counters["answers"], "5");
    EXPECT_EQ(counters["time-outs"], "0");

    // vokctl stats prints the counters on stdout instead of the list.
    sim->SetBadCrcAnswers(1);
    const CtlRun stats = Ctl({"stats"});
    ASSERT_EQ(stats.status, 0) << stats.err;
    EXPECT_EQ(stats.out.rfind("requests\t6\nanswers\t5\ntime-outs\t0\nCRC errors\t1\n", 0), 0u) << stats.out;
    EXPECT_NE(stats.out.find("\nretries\t1\n"), std::string::npos);
}

TEST_F(VokctlTest, ScanFindsTheMeterOrSaysThereIsNone)
{
    MeterSimOptions options;
    options.address = 37;
    options.speed = 19200;
    options.frozen = true;
    MeterSim meter37(options);
    ASSERT_TRUE(meter37.Start());
    const std::string scan = std::string(VOKCTL_PATH) + " --port " + Quote(meter37.PortPath()) +
                             " --speed 115200 --address 1 scan --speeds 115200,19200 --addresses 30-40";
    const CtlRun found = Raw(scan);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out, "37\t19200\t20417.000000\t10712\n");

    PtyPair empty;
    const CtlRun none = Raw(std::string(VOKCTL_PATH) + " --port " + Quote(empty.SlavePath()) +
                            " scan --speeds 9600 --addresses 1-4");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "Влагомер не найден (проб: 4)\n");

    const CtlRun usage = Raw(std::string(VOKCTL_PATH) + " --port " + Quote(empty.SlavePath()) +
                             " scan --addresses 0-300");
    EXPECT_EQ(usage.status, 2);
}

// Every command through a TCP connection: to the simulator listening on
// 127.0.0.1 or ::1, and through socat joining a loopback port to the
// simulator's pseudo-terminal, as a serial gateway does; by silence and
// with fast framing.
enum class Route { Ipv4, Ipv6, Socat };
struct TcpCase {
    Route route;
    bool fast;
};

class VokctlOverTcp : public VokctlTest, public ::testing::WithParamInterface<TcpCase> {
protected:
    void SetUp() override
    {
        MakeSim();
        switch (GetParam().route) {
        case Route::Ipv6:
            if (!HasIpv6Loopback())
                GTEST_SKIP() << "no ::1 on this machine";
            ASSERT_TRUE(sim->StartTcp("::1"));
            port = sim->PortPath();
            break;
        case Route::Ipv4:
            ASSERT_TRUE(sim->StartTcp("127.0.0.1"));
            port = sim->PortPath();
            break;
        case Route::Socat:
            ASSERT_TRUE(sim->Start());
            gateway = std::make_unique<SocatGateway>(SOCAT_PATH, sim->PortPath());
            port = gateway->Name();
            break;
        }
    }

    // The speed is not one a serial port takes: a TCP port ignores it.
    CtlRun Run(const std::vector<std::string>& args)
    {
        if (gateway) {
            EXPECT_TRUE(gateway->WaitIdle());
        }
        std::string command = std::string(VOKCTL_PATH) + " --port " + Quote(port) + " --speed 12345 --timeout 200";
        if (GetParam().fast)
            command += " --fast-framing";
        for (const auto& a : args)
            command += " " + Quote(a);
        return Raw(command);
    }

    std::unique_ptr<SocatGateway> gateway;
    std::string port;
};

TEST_P(VokctlOverTcp, EveryCommand)
{
    sim->SetFloat(2000, 4242.0f);
    const CtlRun poll = Run({"poll"});
    ASSERT_EQ(poll.status, 0) << poll.err;
    EXPECT_EQ(poll.out.substr(0, poll.out.find('\n')), "Серийный номер\t2001\tfloat\t4242.000000\t");

    EXPECT_EQ(Run({"write", "2021", "-3.5"}).status, 0);
    EXPECT_EQ(sim->Float(2020), -3.5f);
    EXPECT_EQ(Run({"nvram"}).status, 0);
    EXPECT_EQ(sim->GetCounters().nvramCommits, 1);

    const std::string file = (dir / "meter.txt").string();
    ASSERT_EQ(Run({"dump", file}).status, 0);
    EXPECT_NE(Slurp(file).find("2023 float  0.250000"), std::string::npos);
    // A few lines of it are loaded: a full load takes seconds of pauses.
    const std::string part = (dir / "part.txt").string();
    std::ofstream(part) << "2023 float 1.5\n53011 ushort 7\n";
    const CtlRun load = Run({"load", part});
    ASSERT_EQ(load.status, 0) << load.err;
    EXPECT_NE(load.out.find("Запись по адресу 53011 выполнена."), std::string::npos);
    EXPECT_NE(load.out.find("Применена команда загрузки конфигурации (без записи в NVRAM)."), std::string::npos);
    EXPECT_EQ(sim->Float(2022), 1.5f);
    EXPECT_EQ(sim->Reg(53010), 7);
}

INSTANTIATE_TEST_SUITE_P(Routes, VokctlOverTcp,
                         ::testing::Values(TcpCase{Route::Ipv4, false}, TcpCase{Route::Ipv4, true},
                                           TcpCase{Route::Ipv6, false}, TcpCase{Route::Socat, true}),
                         [](const auto& info) {
                             const Route r = info.param.route;
                             return std::string(r == Route::Ipv4   ? "Ipv4"
                                                : r == Route::Ipv6 ? "Ipv6"
                                                                   : "SocatToThePty") +
                                    (info.param.fast ? "ByLength" : "BySilence");
                         });

TEST_F(VokctlTest, AConnectionRefusedOrNeverAcceptedSaysSoWithinItsTimeOut)
{
    LoopbackListener closed;
    const std::string refused = closed.Name();
    closed.Close();
    LoopbackListener full(false, 0);
    full.FillBacklog();
    const struct {
        std::string port;
        std::string reason;
        std::chrono::seconds atLeast; // ten time-outs of 200 ms, at least 2 s
    } cases[] = {
        {refused, "Подключение к " + refused + " отвергнуто: там никто не принимает подключений", 0s},
        {full.Name(), "Нет ответа на подключение к " + full.Name() + ": время ожидания истекло", 2s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        const auto start = std::chrono::steady_clock::now();
        const CtlRun r = Raw(std::string(VOKCTL_PATH) + " --port " + Quote(c.port) + " --timeout 200 poll");
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Не удалось открыть порт\n" + c.reason + "\n");
        EXPECT_GE(took, c.atLeast);
        EXPECT_LT(took, c.atLeast + 5s);
    }
}

// The history commands, on a store of the test's own.
class VokctlHistoryTest : public VokctlTest {
protected:
    void SetUp() override
    {
        VokctlTest::SetUp();
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("XDG_DATA_HOME");
        VokctlTest::TearDown();
    }
    // The ID that `snapshot` prints.
    std::string Snapshot(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args = {"snapshot"};
        args.insert(args.end(), extra.begin(), extra.end());
        const CtlRun r = Ctl(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string id = r.out;
        while (!id.empty() && id.back() == '\n')
            id.pop_back();
        return id;
    }
};

TEST_F(VokctlHistoryTest, ASnapshotIsTheDumpTextByteForByteAndTheDumpIsKeptToo)
{
    sim->SetFloat(2000, 4242.0f);
    const std::string id = Snapshot({"--note", "до ремонта"});
    const std::string file = (dir / "meter.txt").string();
    ASSERT_EQ(Ctl({"dump", file}).status, 0);
    const std::string dumped = Slurp(file);
    ASSERT_FALSE(dumped.empty());
    const CtlRun shown = Ctl({"show", id});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, dumped);

    const CtlRun meters = Ctl({"history"});
    EXPECT_EQ(meters.out.rfind("4242.000000\t10712\t", 0), 0u) << meters.out;
    EXPECT_NE(meters.out.find("\t2\n"), std::string::npos) << meters.out;
    // By the serial number as shown, or as a plain number.
    for (const std::string serial : {"4242.000000", "4242"}) {
        const CtlRun list = Ctl({"history", serial});
        std::istringstream lines(list.out);
        std::vector<std::vector<std::string>> rows;
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> fields;
            std::istringstream cut(line);
            for (std::string f; std::getline(cut, f, '\t');)
                fields.push_back(f);
            rows.push_back(fields);
        }
        ASSERT_EQ(rows.size(), 2u) << serial << "\n" << list.out;
        EXPECT_EQ(rows[0][0], id);
        EXPECT_EQ(rows[0][2], "by-hand");
        EXPECT_EQ(rows[0].back(), "до ремонта");
        EXPECT_EQ(rows[1][2], "dump");
        EXPECT_EQ(Ctl({"show", rows[1][0]}).out, dumped);
    }
}

TEST_F(VokctlHistoryTest, RestoreShowsTheChangesAsksAndBringsTheMeterBack)
{
    const std::string before = Snapshot();
    const float oilAdjust = sim->Float(2022);
    sim->SetFloat(2022, oilAdjust + 1.5f);
    sim->SetFloat(53301, 12.0f);

    // Without --yes and without an answer nothing is loaded.
    const CtlRun asked = Ctl({"restore", before});
    EXPECT_EQ(asked.status, 0) << asked.err;
    EXPECT_NE(asked.out.find("\t2023\tOil Adjust, %\tfloat\t"), std::string::npos) << asked.out;
    EXPECT_NE(asked.out.find("SG1Start"), std::string::npos) << asked.out;
    EXPECT_NE(asked.err.find("Снимок не загружен"), std::string::npos) << asked.err;
    EXPECT_EQ(sim->Float(2022), oilAdjust + 1.5f);

    const CtlRun restored = Ctl({"restore", before, "--yes"});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(sim->Float(2022), oilAdjust);
    const fs::path file = dir / "before.txt";
    std::ofstream(file, std::ios::binary) << Ctl({"show", before}).out;
    const CtlRun verify = Ctl({"verify", file.string()});
    EXPECT_EQ(verify.status, 0) << verify.out;
    const std::string after = Snapshot();
    EXPECT_EQ(Ctl({"diff", before, after}).status, 0);
    EXPECT_EQ(Ctl({"diff", after, file.string()}).status, 0);
}

TEST_F(VokctlHistoryTest, DiffAndReportNameTheChangesInMeterTerms)
{
    const std::string before = Snapshot();
    sim->SetFloat(2000, 31000.0f);
    const std::string after = Snapshot();
    const CtlRun diff = Ctl({"diff", before, after});
    EXPECT_EQ(diff.status, 3);
    EXPECT_EQ(diff.out, "Общие\t2001\tСерийный номер\tfloat\t20417 → 31000\n");

    const std::string html = (dir / "report.html").string();
    const CtlRun report = Ctl({"report", before, after, "-o", html, "--engineer", "Петров"});
    ASSERT_EQ(report.status, 0) << report.err;
    const std::string page = Slurp(html);
    for (const char* text : {"31000", "Серийный номер", "Петров", "<td class=\"num\">2001</td>"})
        EXPECT_NE(page.find(text), std::string::npos) << text;

    struct Refusal {
        std::vector<std::string> args;
        int status;
    };
    const std::vector<Refusal> refusals = {
        {{"show", "999"}, 2},
        {{"diff", before, "999"}, 2},
        {{"report", before, after}, 2},
        {{"report", before, "999", "-o", html}, 2},
        {{"dump", html, "--note", "x"}, 2},
        {{"restore", "999", "--yes"}, 2},
    };
    for (const Refusal& r : refusals)
        EXPECT_EQ(Ctl(r.args).status, r.status) << r.args[0] << " " << r.args[1];
}

TEST_F(VokctlHistoryTest, OnlyAConfirmedCommitOrACleanLoadLeavesAnAsLeftSnapshot)
{
    sim->SetFloat(2000, 5151.0f);
    const std::string file = (dir / "meter.txt").string();
    ASSERT_EQ(Ctl({"dump", file}).status, 0);
    const fs::path rejected = dir / "rejected.txt";
    // The refused register is none the dump reads, so the as-left read itself would work.
    std::ofstream(rejected) << "2023 float 1\n3001 float 1\n";
    const auto asLeft = [&] {
        const std::string list = Ctl({"history", "5151"}).out;
        int count = 0;
        for (std::size_t at = list.find("\tas-left\t"); at != std::string::npos; at = list.find("\tas-left\t", at + 1))
            ++count;
        return count;
    };
    struct Step {
        const char* what;
        std::function<void()> arrange;
        std::vector<std::string> args;
        int status;
        int asLeftAfter;
    };
    const std::vector<Step> steps = {
        {"confirmed commit", [] {}, {"nvram"}, 0, 1},
        {"unconfirmed commit", [&] { sim->SetNvramClearReads(MeterSimOptions::kNever); }, {"nvram"}, 1, 1},
        {"clean load", [&] { sim->SetNvramClearReads(0); }, {"load", file}, 0, 2},
        {"load with a refused line", [&] { sim->SetExceptionRange(3000, 3001, 2); }, {"load", rejected.string()}, 3, 2},
    };
    for (const Step& step : steps) {
        step.arrange();
        const CtlRun run = Ctl(step.args);
        EXPECT_EQ(run.status, step.status) << step.what << "\n" << run.err;
        sim->ClearExceptionRange();
        EXPECT_EQ(asLeft(), step.asLeftAfter) << step.what;
    }
    // The snapshot left by the clean load is the meter's configuration, as a dump reads it.
    const std::string id = Ctl({"history", "5151"}).out;
    std::string lastAsLeft;
    std::istringstream lines(id);
    for (std::string line; std::getline(lines, line);)
        if (line.find("\tas-left\t") != std::string::npos)
            lastAsLeft = line.substr(0, line.find('\t'));
    ASSERT_FALSE(lastAsLeft.empty());
    EXPECT_EQ(Ctl({"show", lastAsLeft}).out, Slurp(file));
}
