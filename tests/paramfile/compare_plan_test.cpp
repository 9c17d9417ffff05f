#include "compare_plan.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace {

std::vector<ParamAssignment> Values(const std::vector<std::wstring>& lines)
{
    const ScriptValidation script = ValidateScript(lines, ScriptPatterns());
    EXPECT_TRUE(script.messages.empty());
    return EffectiveAssignments(script.steps);
}

// The meter's words for each value, as a load would leave them.
MeterWords Loaded(const std::vector<ParamAssignment>& values)
{
    MeterWords words;
    for (const ParamAssignment& v : values) {
        const auto w = AssignmentWords(v);
        for (std::size_t i = 0; i < w.size(); ++i)
            words[static_cast<std::uint32_t>(v.registerNumber - 1 + i)] = w[i];
    }
    return words;
}

} // namespace

TEST(CompareParamFiles, EffectiveValuesAndTheirReads)
{
    // Last write wins; a float whose second register a later line writes is
    // left to that line; pauses and comments count for nothing.
    const auto values = Values({L"2001 float 1.5", L"# c", L"2001 f 2.5", L"sleep(100)", L"2003 float 7",
                                L"2004 ushort 9", L"2005 sshort -1", L"40020 d 4", L"65536 ushort 1"});
    ASSERT_EQ(values.size(), 5u);
    EXPECT_EQ(values[0].registerNumber, 2001);
    EXPECT_EQ(values[0].bits, std::bit_cast<std::uint32_t>(2.5f));
    EXPECT_EQ(values[1].registerNumber, 2004);
    EXPECT_EQ(values[2].bits, 0xFFFFu);
    EXPECT_EQ(AssignmentWords(values[0]), (std::vector<std::uint16_t>{0x0000, 0x4020})); // 2.5 = 40 20 00 00

    const struct {
        std::vector<ParamAssignment> values;
        std::uint16_t maxCount;
        std::vector<std::pair<int, int>> runs;
    } cases[] = {
        {values, 125, {{2000, 2}, {2003, 2}, {40019, 1}, {65535, 1}}},
        {values, 1, {{2000, 1}, {2001, 1}, {2003, 1}, {2004, 1}, {40019, 1}, {65535, 1}}},
        // A float at the last register number has no second register to read.
        {{{65536, ScriptValueType::Float, 0, {}}}, 125, {{65535, 1}}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<int, int>> runs;
        for (const ReadRun& r : PlanReads(c.values, c.maxCount))
            runs.emplace_back(r.start, r.count);
        EXPECT_EQ(runs, c.runs);
    }
    // 300 registers in a row: runs of 125, 125 and 50.
    std::vector<std::wstring> block;
    for (int r = 54001; r <= 54300; ++r)
        block.push_back(std::to_wstring(r) + L" ushort 1");
    const auto runs = PlanReads(Values(block));
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].start, 54125);
    EXPECT_EQ(runs[2].count, 50);
}

TEST(CompareParamFiles, MeterComparisonIsBitForBit)
{
    const auto values = Values({L"2001 float 0", L"2003 float 1.5", L"2005 float 0.1", L"53027 sshort -2", L"53011 ushort 7"});
    MeterWords meter = Loaded(values);
    EXPECT_TRUE(CompareWithMeter(values, meter).empty());

    meter[2000] = 0x0000; // -0.0: equal as a float, not by its bits
    meter[2001] = 0x8000;
    meter[2002] = 0x0001; // a NaN pattern, 7FC0 0001
    meter[2003] = 0x7FC0;
    meter[2004] = static_cast<std::uint16_t>(meter[2004] + 1); // one unit in the last place
    meter[53026] = 0xFFFE; // the same -2: no line
    meter.erase(53010); // not answered
    EXPECT_EQ(CompareWithMeter(values, meter),
              (std::vector<std::string>{"2001 float: в файле 0, в приборе -0",
                                        "2003 float: в файле 1.5, в приборе NAN (0x7FC00001)",
                                        "2005 float: в файле 0.1, в приборе 0.10000001",
                                        "53011 ushort: в файле 7, в приборе нет ответа"}));
}

TEST(CompareParamFiles, DiffIgnoresOrderCommentsAndPauses)
{
    const auto a = Values({L"# meter A", L"2001 float 1.5", L"53011 ushort 7", L"sleep(200)", L"53027 sshort -1"});
    const auto same = Values({L"53027 s -1 # moved", L"", L"\"x\" 53011 d 7", L"2001 f 1.50000"});
    EXPECT_TRUE(DiffAssignments(a, same).empty());
    const auto b = Values({L"2001 float 1.25", L"53011 sshort 7", L"2023 float -0"});
    EXPECT_EQ(DiffAssignments(a, b), (std::vector<std::string>{"2001 float: в A 1.5, в B 1.25",
                                                                "2023 float: в A нет, в B -0",
                                                                "53011: в A ushort 7, в B sshort 7",
                                                                "53027 sshort: в A -1, в B нет"}));
}

TEST(CompareParamFiles, ADumpsTextAgreesWithTheValueItWasWrittenFor)
{
    // A float agrees when its text is what the dump writes for the meter's
    // value ("%f" or "%e"), or when the patterns are equal.
    const float meter = -0.103568904f;
    const struct {
        const wchar_t* line;
        float value;
        bool agrees;
    } cases[] = {
        {L"2001 float -0.103569", meter, true},
        {L"2001 float -1.035689e-01", meter, true},
        {L"2001 float -0.103569", std::nextafter(meter, 0.0f), true}, // rounds to the same text
        {L"2001 float -0.103568904", meter, true},                     // the same pattern
        {L"2001 float -0.103569", -0.1035695f, false},
        {L"2001 float -0.10357", meter, false}, // not the dump's rounding
        {L"2001 float 0.000000", -1e-9f, false}, // the dump writes -0.000000
        {L"2001 float -0.000000", -1e-9f, true},
    };
    for (const auto& c : cases) {
        const auto values = Values({c.line});
        const ParamAssignment held{2001, ScriptValueType::Float, std::bit_cast<std::uint32_t>(c.value), {}};
        EXPECT_EQ(CompareWithMeter(values, Loaded({held})).empty(), c.agrees) << c.line << " / " << c.value;
        // diff agrees when either file's text stands for the other's value.
        const std::vector<ParamAssignment> other{held};
        EXPECT_EQ(DiffAssignments(values, other).empty(), c.agrees) << c.line;
        EXPECT_EQ(DiffAssignments(other, values).empty(), c.agrees) << c.line;
    }
}
