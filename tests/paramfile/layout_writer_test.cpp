#include "layout_writer.h"
#include "script.h"
#include "text_file.h"
#include "value_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <sstream>

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

TEST(FormatC, FixedAndExponentLikePrintf)
{
    struct Case {
        float v;
        const char* fixed;
        const char* exp;
    } cases[] = {
        {0.0f, "0.000000", "0.000000e+00"},
        {-0.0f, "-0.000000", "-0.000000e+00"},
        {123.0f, "123.000000", "1.230000e+02"},
        {0.00125f, "0.001250", "1.250000e-03"},
        {-3.5e7f, "-35000000.000000", "-3.500000e+07"},
        {0.1f, "0.100000", "1.000000e-01"},
        {1e-7f, "0.000000", "1.000000e-07"},
        {12345.678f, "12345.677734", "1.234568e+04"},
        {1e38f, "99999996802856924650656260769173209088.000000", "1.000000e+38"},
        {std::numeric_limits<float>::denorm_min(), "0.000000", "1.401298e-45"},
        {kInf, "+INF", "+INF"},
        {-kInf, "-INF", "-INF"},
        {kNaN, "+NAN", "+NAN"},
        {-kNaN, "-NAN", "-NAN"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatCFixed(c.v), c.fixed) << c.v;
        EXPECT_EQ(FormatCExp(c.v), c.exp) << c.v;
    }
}

float SaltValue(int p, int s)
{
    if (p == 0) {
        switch (s) {
        case 0: return 99.5f;
        case 1: return 100.0f;
        case 2: return 150.0f;
        case 3: return kNaN;
        default: return 100.0f + static_cast<float>(s);
        }
    }
    return s == 0 ? 99.99f : s == 5 ? 0.0f : 200.0f;
}

// The configuration that data/layout_expected.txt describes.
MeterConfig SampleConfig()
{
    MeterConfig c;
    c.Serial = 123.0f;
    c.OilAdjust = 1.5f;
    c.WaterAdjust = -2.25f;
    c.OilIndex = 0.1f;
    c.WaterIndex = 12345.678f;
    c.PDFreq = 50.5f;
    c.PDThres = 65535;
    c.NSStart = 0.001f;
    c.NSEnd = 1e-7f;
    c.ModAnalyzer = 4;
    c.NShift = -123;
    c.DacP0 = 0.00125f;
    c.DacP1 = -3.5e7f;
    for (int p = 0; p < 2; ++p) {
        PhaseConfig& ph = c.Phase[p];
        ph.SG1CrossN = static_cast<std::uint16_t>(10 + p);
        ph.SG1Start = 1.25f;
        ph.SG1End = 2.5f;
        ph.SG2CrossN = 7;
        ph.SG2Win = 0.5f;
        for (int s = 0; s < 10; ++s) {
            SaltTableConfig& t = ph.Salt[s];
            t.Salt = SaltValue(p, s);
            t.XMean = 0.5f + static_cast<float>(s);
            t.XStd = -0.03125f;
            t.YMean = 1e-5f;
            t.YStd = 1e20f;
            for (int i = 0; i < 10; ++i)
                t.P[i] = static_cast<float>(i) * 0.25f - 1.0f;
        }
    }
    c.DensityEnable = 1;
    c.RoCurr = 850.5f;
    c.RoMin = 800.0f;
    c.RoMax = 900.0f;
    c.DensityP1 = 1e-3f;
    c.DensityP2 = -2e-4f;
    c.DensityP3 = 3.0f;
    c.DensityMean = 0.1f;
    c.DensityStd = 0.01f;
    c.FirmwareVersion = kPointSetFirmware;
    const std::uint16_t modes[2] = {0, 1}, counts[2] = {0, 25};
    for (int p = 0; p < 2; ++p) {
        PointSetConfig& ps = c.PointSet[p];
        ps.Mode = modes[p];
        ps.PCount = counts[p];
        ps.T0 = 20.0f;
        ps.Salt = 35.5f;
        ps.XMean = 1.0f;
        ps.XStd = 2.0f;
        ps.YMean = 3.0f;
        ps.YStd = 4.0f;
        for (int i = 0; i < 10; ++i)
            ps.P[i] = -static_cast<float>(i);
        for (int i = 0; i < 20; ++i) {
            ps.PairP[i] = static_cast<float>(i) + 0.5f;
            ps.PairW[i] = -static_cast<float>(i) * 0.125f;
        }
    }
    return c;
}

std::string ReadExpected()
{
    std::ifstream in(PARAMFILE_TEST_DATA "/layout_expected.txt", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ParamFileText, MatchesTheExpectedFileWithTheGateOpen)
{
    const auto config = std::make_unique<MeterConfig>(SampleConfig());
    const std::string expected = ReadExpected();
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(ParamFileText(*config), expected);
}

TEST(ParamFileText, GateClosedEndsWithTheDensityStdLine)
{
    auto config = std::make_unique<MeterConfig>(SampleConfig());
    const std::string expected = ReadExpected();
    const std::string lastLine = "56016 float  1.000000e-02\t\t# Std\r\n";
    const auto end = expected.find(lastLine);
    ASSERT_NE(end, std::string::npos);
    for (std::uint16_t version : {std::uint16_t{0}, std::uint16_t{10699}}) {
        config->FirmwareVersion = version;
        EXPECT_EQ(ParamFileText(*config), expected.substr(0, end + lastLine.size())) << version;
    }
    config->FirmwareVersion = 65535;
    EXPECT_EQ(ParamFileText(*config), expected);
}

TEST(ParamFileLines, SaltGate)
{
    auto config = std::make_unique<MeterConfig>(SampleConfig());
    auto linesFor = [&](float salt) {
        config->Phase[1].Salt[3].Salt = salt;
        const auto lines = ParamFileLines(*config);
        // From "# Salt: 3 " of phase 1 up to the next "# Salt" head.
        std::size_t first = 0, count = 0;
        int phaseHeads = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].starts_with("# Phase: "))
                ++phaseHeads;
            if (phaseHeads == 2 && lines[i] == "# Salt: 3 ")
                first = i;
        }
        for (std::size_t i = first; i < lines.size() && lines[i] != "# Salt: 4 "; ++i)
            ++count;
        return count;
    };
    // Lines from this table's head up to the next head: head, blank, Salt
    // line, the fourteen lines behind the gate, and the blank that opens the
    // next table.
    EXPECT_EQ(linesFor(99.5f), 18u);
    EXPECT_EQ(linesFor(99.99999f), 18u);
    EXPECT_EQ(linesFor(-kInf), 18u);
    EXPECT_EQ(linesFor(100.0f), 4u);
    EXPECT_EQ(linesFor(150.0f), 4u);
    EXPECT_EQ(linesFor(kNaN), 4u);
    EXPECT_EQ(linesFor(kInf), 4u);
}

TEST(ParamFileLines, PointSetModesAndCounts)
{
    auto config = std::make_unique<MeterConfig>(SampleConfig());
    config->PointSet[0].Mode = 7;
    config->PointSet[1].PCount = 21;
    const auto lines = ParamFileLines(*config);
    std::size_t head0 = 0, head1 = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with("# Point set, phase: 0 "))
            head0 = i;
        if (lines[i].starts_with("# Point set, phase: 1 "))
            head1 = i;
    }
    ASSERT_GT(head0, 0u);
    ASSERT_EQ(head1, head0 + 4); // head, blank, the Mode line with 9999, blank of phase 1
    EXPECT_EQ(lines[head0 + 2], "57001 ushort 9999\t\t# Mode");
    EXPECT_EQ(lines[head1 + 2], "57301 ushort 1\t\t# Mode");
    EXPECT_EQ(lines[head1 + 19], "57334 ushort 20\t\t# PCount");
    EXPECT_EQ(lines.size(), head1 + 20 + 40);
    EXPECT_EQ(lines.back(), "57413 float  -2.375000e+00\t\t# W[19]");

    config->PointSet[1].Mode = 2;
    config->PointSet[0].Mode = 1;
    config->PointSet[0].PCount = 1;
    const auto lines2 = ParamFileLines(*config);
    EXPECT_EQ(lines2.back(), "57301 ushort 9999\t\t# Mode");
    EXPECT_EQ(lines2[lines2.size() - 7], "57034 ushort 1\t\t# PCount");
    EXPECT_EQ(lines2[lines2.size() - 6], "57035 float  5.000000e-01\t\t# P[0]");
    EXPECT_EQ(lines2[lines2.size() - 5], "57037 float  -0.000000e+00\t\t# W[0]");
}

TEST(ParamFileLines, EveryLineIsAsciiAndTheWriterTextEndsEachWithCrLf)
{
    const auto config = std::make_unique<MeterConfig>(SampleConfig());
    const auto lines = ParamFileLines(*config);
    std::string joined;
    for (const auto& line : lines) {
        for (const char c : line)
            EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80 && c != '\r' && c != '\n');
        joined += line + "\r\n";
    }
    EXPECT_EQ(ParamFileText(*config), joined);
}

// Random finite values of every field.
class RandomConfig {
public:
    explicit RandomConfig(std::uint32_t seed) : rng_(seed) {}

    float Float()
    {
        switch (std::uniform_int_distribution<int>(0, 5)(rng_)) {
        case 0: { // any finite bit pattern
            for (;;) {
                const float f = std::bit_cast<float>(static_cast<std::uint32_t>(rng_()));
                if (std::isfinite(f))
                    return f;
            }
        }
        case 1: return std::uniform_real_distribution<float>(-1e3f, 1e3f)(rng_);
        case 2: return std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng_);
        case 3: return static_cast<float>(std::uniform_int_distribution<int>(-100000, 100000)(rng_));
        case 4: return std::uniform_real_distribution<float>(0.0f, 200.0f)(rng_);
        default: return std::ldexp(1.0f, std::uniform_int_distribution<int>(-149, 127)(rng_));
        }
    }
    std::uint16_t UShort() { return static_cast<std::uint16_t>(rng_()); }
    std::uint16_t Small(int max) { return static_cast<std::uint16_t>(std::uniform_int_distribution<int>(0, max)(rng_)); }

    MeterConfig Make()
    {
        MeterConfig c;
        for (float* f : {&c.Serial, &c.OilAdjust, &c.WaterAdjust, &c.OilIndex, &c.WaterIndex, &c.PDFreq, &c.NSStart,
                         &c.NSEnd, &c.DacP0, &c.DacP1, &c.RoCurr, &c.RoMin, &c.RoMax, &c.DensityP1, &c.DensityP2,
                         &c.DensityP3, &c.DensityMean, &c.DensityStd})
            *f = Float();
        c.PDThres = UShort();
        c.ModAnalyzer = UShort();
        c.NShift = static_cast<std::int16_t>(UShort());
        c.DensityEnable = UShort();
        c.FirmwareVersion = Small(1) ? UShort() : kPointSetFirmware;
        for (auto& ph : c.Phase) {
            ph.SG1CrossN = UShort();
            ph.SG2CrossN = UShort();
            ph.SG1Start = Float();
            ph.SG1End = Float();
            ph.SG2Win = Float();
            for (auto& t : ph.Salt) {
                t.Salt = Float();
                for (float* f : {&t.XMean, &t.XStd, &t.YMean, &t.YStd})
                    *f = Float();
                for (float& f : t.P)
                    f = Float();
            }
        }
        for (auto& ps : c.PointSet) {
            ps.Mode = Small(3) <= 2 ? Small(1) : UShort();
            ps.PCount = Small(3) == 0 ? UShort() : Small(22);
            for (float* f : {&ps.T0, &ps.Salt, &ps.XMean, &ps.XStd, &ps.YMean, &ps.YStd})
                *f = Float();
            for (float& f : ps.P)
                f = Float();
            for (int i = 0; i < 20; ++i) {
                ps.PairP[i] = Float();
                ps.PairW[i] = Float();
            }
        }
        return c;
    }

private:
    std::mt19937 rng_;
};

// What the writer put on a value line, taken apart independently of the
// patterns: register number, type word and value text.
struct WrittenValue {
    int number;
    std::string type;
    std::string text;
};

std::vector<WrittenValue> WrittenValues(const std::vector<std::string>& lines)
{
    std::vector<WrittenValue> out;
    for (const auto& line : lines) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream in(line);
        WrittenValue v;
        in >> v.number >> v.type >> v.text;
        out.push_back(v);
    }
    return out;
}

TEST(ParamFileProperty, WrittenFilesValidateAndCarryTheirValues)
{
    RandomConfig random(20240611);
    const ScriptPatterns patterns;
    for (int run = 0; run < 300; ++run) {
        const auto config = std::make_unique<MeterConfig>(random.Make());
        const std::string text = ParamFileText(*config);
        const auto lines = DecodeTextLines(text);
        const auto written = WrittenValues(ParamFileLines(*config));
        const ScriptValidation v = ValidateScript(lines, patterns);
        ASSERT_TRUE(v.messages.empty()) << "run " << run << ": " << v.messages.front();
        ASSERT_EQ(v.steps.size(), written.size()) << run;
        EXPECT_EQ(v.weight, static_cast<std::int32_t>(written.size()));
        for (std::size_t i = 0; i < written.size(); ++i) {
            const ScriptStep& step = v.steps[i];
            const WrittenValue& w = written[i];
            ASSERT_EQ(step.kind, ScriptStep::Kind::Write);
            EXPECT_EQ(step.registerNumber, w.number);
            if (w.type == "float") {
                ASSERT_EQ(step.type, ScriptValueType::Float);
                // The reader's float is the single nearest to the printed
                // text: printing it again gives the same text.
                const bool exp = w.text.find('e') != std::string::npos;
                EXPECT_EQ(exp ? FormatCExp(step.floatValue) : FormatCFixed(step.floatValue), w.text)
                    << run << " line " << step.lineNumber;
            } else {
                EXPECT_EQ(step.type, w.type == "ushort" ? ScriptValueType::UShort : ScriptValueType::SShort);
                EXPECT_EQ(std::to_string(step.intValue), w.text);
            }
        }
        // Spot checks against the configuration itself.
        EXPECT_EQ(v.steps[0].registerNumber, 2001);
        if (std::fabs(config->Serial) >= 32.0f) { // "%f" carries every bit from here on
            EXPECT_EQ(std::bit_cast<std::uint32_t>(v.steps[0].floatValue), std::bit_cast<std::uint32_t>(config->Serial));
        }
        const auto nshift = std::find_if(v.steps.begin(), v.steps.end(),
                                         [](const ScriptStep& s) { return s.registerNumber == 53027; });
        ASSERT_NE(nshift, v.steps.end());
        EXPECT_EQ(nshift->type, ScriptValueType::SShort);
        EXPECT_EQ(nshift->intValue, config->NShift);
    }
}

} // namespace
