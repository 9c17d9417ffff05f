#include "cli_options.h"

#include <gtest/gtest.h>

TEST(CliOptions, CommandsWithTheirArgumentsAndOptions)
{
    const CliParse p = ParseCommandLine({"--port", "/dev/pts/3", "--speed", "9600", "--timeout", "50",
                                         "--address", "7", "dump", "a.txt", "--force"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(*p.options->port, "/dev/pts/3");
    EXPECT_EQ(*p.options->speed, "9600");
    EXPECT_EQ(*p.options->timeout, "50");
    EXPECT_EQ(*p.options->address, "7");
    EXPECT_EQ(p.options->command, "dump");
    EXPECT_EQ(p.options->arguments, std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(p.options->force);
    EXPECT_FALSE(p.options->fastFraming);
    for (const auto& args : {std::vector<std::string>{"--fast-framing", "poll"}, {"poll", "--fast-framing"}}) {
        const CliParse fast = ParseCommandLine(args);
        ASSERT_TRUE(fast.options) << fast.error;
        EXPECT_TRUE(fast.options->fastFraming);
    }
    EXPECT_EQ(p.options->echo, EchoMode::Auto);
    for (const auto& [word, mode] : {std::pair{"off", EchoMode::Off}, {"on", EchoMode::On}, {"auto", EchoMode::Auto}}) {
        const CliParse echo = ParseCommandLine({"--echo", word, "poll"});
        ASSERT_TRUE(echo.options) << echo.error;
        EXPECT_EQ(echo.options->echo, mode) << word;
    }

    const CliParse poll = ParseCommandLine({"poll", "--count", "3"});
    ASSERT_TRUE(poll.options);
    EXPECT_EQ(poll.options->count, 3);
    EXPECT_FALSE(poll.options->port);
    // A value may begin with a dash: a negative number to write.
    const CliParse write = ParseCommandLine({"write", "2021", "-1.5"});
    ASSERT_TRUE(write.options) << write.error;
    EXPECT_EQ(write.options->arguments, (std::vector<std::string>{"2021", "-1.5"}));
}

TEST(CliOptions, UsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"fly"},
        {"--port"},
        {"--bogus", "poll"},
        {"--echo", "maybe", "poll"},
        {"poll", "--echo"},
        {"write", "2021"},
        {"dump"},
        {"check", "a", "b"},
        {"poll", "--count", "0"},
        {"poll", "--count", "x"},
        {"nvram", "--count", "2"},
        {"load", "a.txt", "--force"},
        {"poll", "--all"},
        {"dump", "a.txt", "--speeds", "9600"},
        {"scan", "--speeds", "9600,x"},
        {"scan", "--addresses", "1-248"},
        {"scan", "--addresses"},
        {"check", "a.txt", "--trace"},
        {"stats", "extra"},
        {"poll", "--reconnect"},
        {"stats", "--give-up-after", "5"},
        {"stats", "--reconnect", "--give-up-after", "0"},
    };
    for (const auto& args : bad) {
        const CliParse p = ParseCommandLine(args);
        EXPECT_FALSE(p.options) << (args.empty() ? "(nothing)" : args[0]);
        EXPECT_FALSE(p.error.empty());
    }
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);

    const CliParse scan = ParseCommandLine({"--trace", "scan", "--speeds", "19200,9600", "--addresses", "30-40", "--all"});
    ASSERT_TRUE(scan.options) << scan.error;
    EXPECT_EQ(*scan.options->speeds, "19200,9600");
    EXPECT_EQ(*scan.options->addresses, "30-40");
    EXPECT_TRUE(scan.options->all);
    EXPECT_TRUE(scan.options->trace);
    const CliParse stats = ParseCommandLine({"stats", "--count", "2", "--stats", "--reconnect", "--give-up-after", "90"});
    ASSERT_TRUE(stats.options) << stats.error;
    EXPECT_EQ(stats.options->count, 2);
    EXPECT_TRUE(stats.options->reconnect);
    EXPECT_EQ(stats.options->giveUpSeconds, 90.0);
}
