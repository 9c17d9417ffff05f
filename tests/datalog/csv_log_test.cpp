#include "csv_log.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using std::chrono::system_clock;

// 2024-05-17 11:03:07.250 UTC
const system_clock::time_point kInstant{std::chrono::milliseconds(1715943787250LL)};

class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard()
    {
        if (old_.empty())
            unsetenv("TZ");
        else
            setenv("TZ", old_.c_str(), 1);
        tzset();
    }

private:
    std::string old_;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start) + "<unterminated>");
    return lines;
}

} // namespace

TEST(LogTimeStamp, LocalTimeWithMillisecondsAndTheOffsetInTheCaption)
{
    const struct {
        const char* zone;
        const char* text;
        const char* caption;
    } cases[] = {
        {"UTC0", "2024-05-17 11:03:07.250", "Время (UTC+00:00)"},
        {"<+03>-3", "2024-05-17 14:03:07.250", "Время (UTC+03:00)"},
        {"<+0530>-5:30", "2024-05-17 16:33:07.250", "Время (UTC+05:30)"},
        {"<-0330>3:30", "2024-05-17 07:33:07.250", "Время (UTC-03:30)"},
    };
    for (const auto& c : cases) {
        ZoneGuard zone(c.zone);
        EXPECT_EQ(LogTimeStamp(kInstant), c.text) << c.zone;
        EXPECT_EQ(LogTimeCaption(kInstant), c.caption) << c.zone;
    }
    ZoneGuard zone("UTC0");
    EXPECT_EQ(LogTimeStamp(system_clock::time_point{std::chrono::milliseconds(-1)}), "1969-12-31 23:59:59.999");
}

TEST(CsvLine, QuotesWhatTheSeparatorNeedsAndPutsTheDecimalSeparator)
{
    const std::vector<std::string> fields = {"Обводненность (trunc.), %", "say \"hi\"", "a;b", "1.5", "two\nlines",
                                             "lone\rCR"};
    EXPECT_EQ(CsvLine(fields, LogSeparator::Comma),
              "\"Обводненность (trunc.), %\",\"say \"\"hi\"\"\",a;b,1.5,\"two\nlines\",\"lone\rCR\"\r\n");
    EXPECT_EQ(CsvLine(fields, LogSeparator::Semicolon),
              "Обводненность (trunc.), %;\"say \"\"hi\"\"\";\"a;b\";1.5;\"two\nlines\";\"lone\rCR\"\r\n");
    EXPECT_EQ(LogNumber("-12.375000", LogSeparator::Semicolon), "-12,375000");
    EXPECT_EQ(LogNumber("-12.375000", LogSeparator::Comma), "-12.375000");
    EXPECT_EQ(LogNumber("1.234567885e+10", LogSeparator::Semicolon), "1,234567885e+10");
    EXPECT_EQ(ParseLogSeparator(";"), LogSeparator::Semicolon);
    EXPECT_FALSE(ParseLogSeparator("\t"));
}

TEST(DataLogWriter, HeaderAndRecordsInBothStylesAndNoReplaceByDefault)
{
    ZoneGuard zone("UTC0");
    TempDir dir;
    for (const LogSeparator style : {LogSeparator::Comma, LogSeparator::Semicolon}) {
        const std::string path = dir.File(style == LogSeparator::Comma ? "comma.csv" : "semicolon.csv");
        std::string error;
        {
            auto writer = DataLogWriter::Open(path, style, false, error);
            ASSERT_TRUE(writer) << error;
            ASSERT_TRUE(writer->WriteHeader({"Температура среды, С°", "Режим работы"}, error, kInstant));
            ASSERT_TRUE(writer->WriteRecord(kInstant, {"24.500000", "4"}, error));
            ASSERT_TRUE(writer->WriteRecord(kInstant + std::chrono::seconds(3), {"NAN", "5"}, error));
        }
        const std::string expected =
            style == LogSeparator::Comma
                ? "\xEF\xBB\xBFВремя (UTC+00:00),\"Температура среды, С°\",Режим работы\r\n"
                  "2024-05-17 11:03:07.250,24.500000,4\r\n2024-05-17 11:03:10.250,NAN,5\r\n"
                : "\xEF\xBB\xBFВремя (UTC+00:00);Температура среды, С°;Режим работы\r\n"
                  "2024-05-17 11:03:07.250;24,500000;4\r\n2024-05-17 11:03:10.250;NAN;5\r\n";
        EXPECT_EQ(ReadText(path), expected);
        EXPECT_FALSE(DataLogWriter::Open(path, style, false, error));
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(DataLogWriter::Open(path, style, true, error));
        EXPECT_EQ(ReadText(path), "");
    }
}

TEST(DataLogWriter, AFullDeviceFailsTheRecordWithTheReason)
{
    std::string error;
    auto writer = DataLogWriter::Open("/dev/full", LogSeparator::Comma, true, error);
    ASSERT_TRUE(writer) << error;
    EXPECT_FALSE(writer->WriteRecord(kInstant, {"1.0"}, error));
    EXPECT_NE(error.find("space"), std::string::npos) << error;
}

TEST(DataLogWriter, AWriterKilledMidRunLeavesWholeRecords)
{
    TempDir dir;
    const std::string path = dir.File("killed.csv");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string error;
        auto writer = DataLogWriter::Open(path, LogSeparator::Semicolon, false, error);
        if (!writer || !writer->WriteHeader({"a", "b", "c"}, error))
            _exit(1);
        for (long i = 0;; ++i)
            if (!writer->WriteRecord(system_clock::now(), {std::to_string(i) + ".5", "NAN", "-1.25"}, error))
                _exit(1);
    }
    // Kill it once a few hundred records are there, at a moment of its own.
    for (int i = 0; i < 3000 && Lines(ReadText(path)).size() < 300; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::vector<std::string> lines = Lines(ReadText(path));
    ASSERT_GE(lines.size(), 300u);
    EXPECT_EQ(lines[0].rfind("\xEF\xBB\xBFВремя (UTC", 0), 0u) << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].size() - 7), ");a;b;c");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::istringstream fields(lines[i]);
        std::vector<std::string> f;
        for (std::string field; std::getline(fields, field, ';');)
            f.push_back(field);
        ASSERT_EQ(f.size(), 4u) << "line " << i << ": " << lines[i];
        EXPECT_EQ(f[1], std::to_string(i - 1) + ",5");
        EXPECT_EQ(f[3], "-1,25");
    }
}
