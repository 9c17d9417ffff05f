#include "value_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

struct FloatText {
    float value;
    const char* text;
};

TEST(FormatListFloat, FixedWithSixDecimalsAfterTenSignificantDigits)
{
    const FloatText cases[] = {
        {0.0f, "0.000000"},
        {12.5f, "12.500000"},
        {-0.1f, "-0.100000"},
        {123456.7890625f, "123456.789100"},
        {1234.5f, "1234.500000"},
        {1.0f / 3.0f, "0.333333"},
        {2.0f / 3.0f, "0.666667"},
        {-2.0f / 3.0f, "-0.666667"},
        {16777216.0f, "16777216.000000"},
        {0.0000005f, "0.000000"}, // the single lies just below 5e-7
        {0.0000006f, "0.000001"},
        {-0.0000004f, "0.000000"},
        {-0.0f, "0.000000"},
        {9999998976.0f, "9999998976.000000"},
        {1234567.875f, "1234567.875000"},
        {12345678.0f, "12345678.000000"},
        {123456789.0f, "123456792.000000"},
        {1e-30f, "0.000000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatListFloat(c.value), c.text) << c.value;
}

TEST(FormatListFloat, DigitsBeyondTheTenthPrintAsZero)
{
    EXPECT_EQ(FormatListFloat(1073741824.0f), "1073741824.000000");
    EXPECT_EQ(FormatListFloat(-1234567.125f), "-1234567.125000");
    // 98765.4296875 (exact float) rounds at the tenth digit to 98765.42969.
    EXPECT_EQ(FormatListFloat(98765.4296875f), "98765.429690");
}

TEST(FormatListFloat, RoundsOnceFromTheExactValueWithTiesToEven)
{
    const FloatText cases[] = {
        {25.9430274963f, "25.943027"},   // exactly 25.94302749633789...: no rounding at the tenth digit first
        {0.0078125f, "0.007812"},        // a tie at the sixth decimal, to even
        {0.0234375f, "0.023438"},
        {-0.0234375f, "-0.023438"},
        {10000.015625f, "10000.015620"}, // ties at the tenth significant digit, to even
        {10000.046875f, "10000.046880"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatListFloat(c.value), c.text) << c.value;
}

TEST(FormatListFloat, BelowTenToTheFourthItIsTheParameterFilesText)
{
    // Singles spread over the whole range below 1e4, both signs: the list
    // shows what the dump's "%f" writes (but for the sign of a zero).
    const auto limit = std::bit_cast<std::uint32_t>(1e4f);
    for (std::uint32_t bits = 0; bits < limit; bits += 9973) {
        for (const float f : {std::bit_cast<float>(bits), -std::bit_cast<float>(bits)}) {
            char printed[64];
            std::snprintf(printed, sizeof printed, "%f", static_cast<double>(f));
            const std::string expected = std::string(printed) == "-0.000000" ? "0.000000" : printed;
            ASSERT_EQ(FormatListFloat(f), expected) << bits;
        }
    }
}

TEST(FormatListFloat, GeneralFormFromTenToTheTenth)
{
    EXPECT_EQ(FormatListFloat(1e10f), "1e+10");
    EXPECT_EQ(FormatListFloat(12345678901.0f), "1.234567885e+10");
    EXPECT_EQ(FormatListFloat(-12345678901.0f), "-1.234567885e+10");
    EXPECT_EQ(FormatListFloat(std::numeric_limits<float>::max()), "3.402823466e+38");
}

TEST(FormatListFloat, NonFinite)
{
    EXPECT_EQ(FormatListFloat(std::numeric_limits<float>::quiet_NaN()), "NAN");
    EXPECT_EQ(FormatListFloat(-std::numeric_limits<float>::quiet_NaN()), "NAN");
    EXPECT_EQ(FormatListFloat(std::numeric_limits<float>::infinity()), "INF");
    EXPECT_EQ(FormatListFloat(-std::numeric_limits<float>::infinity()), "-INF");
}

struct IntCase {
    const char* text;
    std::optional<std::int32_t> value;
};

TEST(ParseInt32, DecimalHexSignsAndRange)
{
    const IntCase cases[] = {
        {"0", 0},
        {"70000", 70000},
        {"-1", -1},
        {"+17", 17},
        {"  42", 42},
        {"\t-3", -3},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"4294967295", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"$10", 16},
        {"x1F", 31},
        {"X1f", 31},
        {"0x7FFFFFFF", 2147483647},
        {"0x80000000", std::nullopt},
        {"-0x80000000", std::numeric_limits<std::int32_t>::min()},
        {"-$10", -16},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"12 ", std::nullopt},
        {"12a", std::nullopt},
        {"abc", std::nullopt},
        {"1.0", std::nullopt},
        {"1e3", std::nullopt},
        {"--1", std::nullopt},
        {"0x1g", std::nullopt},
        {"00012", 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseInt32(c.text), c.value) << '"' << c.text << '"';
}

TEST(ParseDecimalInt32, DigitsAndSignOnly)
{
    const IntCase cases[] = {
        {"65535", 65535}, {"-32768", -32768}, {"+5", 5},          {"", std::nullopt},
        {" 5", std::nullopt}, {"$10", std::nullopt}, {"1.0", std::nullopt}, {"1e3", std::nullopt},
        {"99999999999", std::nullopt}, {"-", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseDecimalInt32(c.text), c.value) << '"' << c.text << '"';
}

struct FloatParse {
    const char* text;
    std::optional<float> value;
};

TEST(ParseFloat, AcceptedForms)
{
    const FloatParse cases[] = {
        {"1.5", 1.5f},
        {"-0.1", -0.1f},
        {"+2", 2.0f},
        {"  3.25  ", 3.25f},
        {"1.", 1.0f},
        {".5", 0.5f},
        {"1e3", 1000.0f},
        {"1E-3", 0.001f},
        {"2.5e+2", 250.0f},
        {"123.000000", 123.0f},
        {"1.250000e-03", 0.00125f},
        {"3.4028235e38", std::numeric_limits<float>::max()},
        {"1e-45", std::numeric_limits<float>::denorm_min()},
        {"0.000000", 0.0f},
    };
    for (const auto& c : cases) {
        const auto v = ParseFloat(c.text);
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(*v), std::bit_cast<std::uint32_t>(*c.value)) << c.text;
    }
}

TEST(ParseFloat, RejectedForms)
{
    const char* cases[] = {"",    " ",     "abc",  "1,5",     "1 000", "1.5.2", "e5",   ".",   "-",
                           "1e",  "1e+",   "inf",  "-INF",    "nan",   "0x1p3", "1.5x", "+-1", "1e40",
                           "-1e39", "3.5e38", "1e999999999999"};
    for (const char* text : cases)
        EXPECT_FALSE(ParseFloat(text).has_value()) << '"' << text << '"';
}

TEST(ParseFloat, TooSmallBecomesSignedZero)
{
    const auto pos = ParseFloat("1e-60");
    const auto neg = ParseFloat("-1e-999999");
    ASSERT_TRUE(pos && neg);
    EXPECT_EQ(*pos, 0.0f);
    EXPECT_FALSE(std::signbit(*pos));
    EXPECT_EQ(*neg, 0.0f);
    EXPECT_TRUE(std::signbit(*neg));
}

} // namespace
