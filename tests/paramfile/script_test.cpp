#include "script.h"

#include <gtest/gtest.h>

#include "text_file.h"

#include <chrono>
#include <string>

namespace {

using Kind = LineMatch::Kind;

const ScriptPatterns& Patterns()
{
    static const ScriptPatterns patterns;
    return patterns;
}

struct ClassCase {
    const wchar_t* line;
    Kind kind;
    const wchar_t* reg = L"";
    const wchar_t* type = L"";
    const wchar_t* value = L"";
};

TEST(ClassifyLine, Examples)
{
    const ClassCase cases[] = {
        {L"2001 float  123.000000\t\t # Serial", Kind::Value, L"2001", L"float", L"123.000000"},
        {L"", Kind::Comment},
        {L" \t  ", Kind::Comment},
        {L"   # text", Kind::Comment},
        {L"# Set-1 -----------------------------------------------------------", Kind::Comment},
        {L"# Salt: 3 ", Kind::Comment},
        {L"# 2001 float 1.5", Kind::Value, L"2001", L"float", L"1.5"},
        {L"#2001 float 1.5", Kind::Comment},
        {L"2001 float 1.5 ", Kind::SyntaxError},
        {L"2001 float 1.5 #x", Kind::Value, L"2001", L"float", L"1.5"},
        {L"2001 float 1.5#x", Kind::SyntaxError},
        {L"2001 float", Kind::SyntaxError},
        {L"2001 float ", Kind::Value, L"2001", L"float", L""},
        {L"2001 float1.5", Kind::SyntaxError},
        {L"2001 Float 1.5", Kind::SyntaxError},
        {L"\"Oil Adjust\" 2023 f 1.0", Kind::Value, L"2023", L"f", L"1.0"},
        {L"Oil Adjust 2023 f 1.0", Kind::Value, L"2023", L"f", L"1.0"},
        {L"2023 f 1.0", Kind::Value, L"2023", L"f", L"1.0"},
        {L"1 2023 f 1.0", Kind::Value, L"2023", L"f", L"1.0"},
        {L"2023 f 1 2 f 3", Kind::Value, L"2", L"f", L"3"},
        {L"2001 f 1.5 # was 2001 f 1.4", Kind::Value, L"2001", L"f", L"1.4"},
        {L"  2001\tushort\t7  \t# c", Kind::Value, L"2001", L"ushort", L"7"},
        {L"53027 s -1", Kind::Value, L"53027", L"s", L"-1"},
        {L"53027 sshort -1", Kind::Value, L"53027", L"sshort", L"-1"},
        {L"53011 d 1,5", Kind::Value, L"53011", L"d", L"1,5"},
        {L"2001 float +INF", Kind::SyntaxError},
        {L"2001 float -NAN", Kind::SyntaxError},
        {L"\"a\"b\" 2001 f 1", Kind::SyntaxError},
        {L"sleep(100)", Kind::Pause, L"", L"", L"100"},
        {L"  sleep( 100 )  ", Kind::Pause, L"", L"", L"100"},
        {L"sleep(0)", Kind::Pause, L"", L"", L"0"},
        {L"Sleep(100)", Kind::SyntaxError},
        {L"sleep(-5)", Kind::SyntaxError},
        {L"sleep(100) # wait", Kind::SyntaxError},
        {L"sleep()", Kind::SyntaxError},
        {L"hello", Kind::SyntaxError},
        // Only ASCII white space and digits count for \s and \d.
        {L"2001\u00A0f 1", Kind::SyntaxError},
        {L"\u3000# x", Kind::SyntaxError},
        {L"\u0661 f 1", Kind::SyntaxError},
        {L"\v\f# x", Kind::Comment},
    };
    for (const auto& c : cases) {
        const LineMatch m = ClassifyLine(c.line, Patterns());
        EXPECT_EQ(m.kind, c.kind) << '"' << WideToUtf8(c.line) << '"';
        EXPECT_EQ(m.registerText, c.reg) << WideToUtf8(c.line);
        EXPECT_EQ(m.typeWord, c.type) << WideToUtf8(c.line);
        EXPECT_EQ(m.valueText, c.value) << WideToUtf8(c.line);
    }
}

// The patterns' white space is IsPatternSpace's and their digits are ASCII,
// whatever the C++ library's wide character classes say (under Windows its
// \s takes U+00A0 and its \d U+0661).
TEST(ClassifyLine, PatternSpaceAndDigitsAreAscii)
{
    for (wchar_t c = 1; c < 0x3100; ++c) {
        const std::wstring one(1, c);
        if (c != L'#') {
            EXPECT_EQ(IsPatternSpace(c), boost::regex_match(one + L"# x", Patterns().CommentPattern)) << int(c);
        }
        EXPECT_EQ(c >= L'0' && c <= L'9', boost::regex_match(L"sleep(" + one + L")", Patterns().PausePattern))
            << int(c);
    }
}

TEST(ClassifyLine, ShorteningBlankRunsKeepsTheMatch)
{
    const std::wstring lines[] = {
        L"   2001    f     1.5      #   x  ", L"\t\t\t\"a  b\"   \t 7 \t\t d   3", L"  1   2  f   3     ",
        L"2001 f       #  c", L"   sleep(    5   )    ", L"a   b    c",
    };
    for (const auto& line : lines) {
        const std::wstring squeezed = SqueezeSpaceRuns(line);
        EXPECT_LT(squeezed.size(), line.size());
        const auto& p = Patterns();
        boost::wsmatch a, b;
        const bool matchedA = boost::regex_match(line, a, p.ValuePattern);
        const bool matchedB = boost::regex_match(squeezed, b, p.ValuePattern);
        EXPECT_EQ(matchedA, matchedB) << WideToUtf8(line);
        if (matchedA && matchedB) {
            for (int g = 1; g <= 3; ++g)
                EXPECT_EQ(a.str(g), b.str(g));
        }
        EXPECT_EQ(boost::regex_match(line, p.CommentPattern), boost::regex_match(squeezed, p.CommentPattern));
        EXPECT_EQ(boost::regex_match(line, p.PausePattern), boost::regex_match(squeezed, p.PausePattern));
    }
    EXPECT_EQ(SqueezeSpaceRuns(L" \t \t\tx  y   "), L" \tx  y  ");
}

TEST(ClassifyLine, LongLinesAreClassified)
{
    // 100 000 characters each; matched as a whole, never given up on.
    const std::size_t n = 100000;
    EXPECT_EQ(ClassifyLine(std::wstring(n, L' '), Patterns()).kind, Kind::Comment);
    EXPECT_EQ(ClassifyLine(std::wstring(n, L'\t') + L"# x", Patterns()).kind, Kind::Comment);
    EXPECT_EQ(ClassifyLine(std::wstring(n, L'7'), Patterns()).kind, Kind::SyntaxError);
    std::wstring ones;
    while (ones.size() < n)
        ones += L"1 ";
    EXPECT_EQ(ClassifyLine(ones, Patterns()).kind, Kind::SyntaxError);
    const LineMatch m = ClassifyLine(ones + L"2 f 3", Patterns());
    EXPECT_EQ(m.kind, Kind::Value);
    EXPECT_EQ(m.registerText, L"2");
    std::wstring values;
    while (values.size() < n)
        values += L"1 f 2 # ";
    EXPECT_EQ(ClassifyLine(values, Patterns()).kind, Kind::Value);
    const LineMatch big = ClassifyLine(L"1 f " + std::wstring(n, L'5'), Patterns());
    EXPECT_EQ(big.kind, Kind::Value);
    EXPECT_EQ(big.valueText.size(), n);
}

std::vector<std::wstring> Script(std::initializer_list<const wchar_t*> lines)
{
    return {lines.begin(), lines.end()};
}

TEST(ValidateScript, MessagesInLineOrder)
{
    const auto v = ValidateScript(Script({L"# head", L"2001 f 1.5", L"0 ushort 1", L"", L"sleep(100)", L"53011 d 7",
                                          L"hello"}),
                                  Patterns());
    ASSERT_EQ(v.messages.size(), 2u);
    EXPECT_EQ(v.messages[0], "Строка #3, Неверное значение адреса.");
    EXPECT_EQ(v.messages[1], "Строка #7, Синтаксическая ошибка.");
    EXPECT_TRUE(v.steps.empty());
}

struct MessageCase {
    const wchar_t* line;
    const char* message; // nullptr: valid
};

TEST(ValidateScript, OneMessagePerFaultyLine)
{
    const MessageCase cases[] = {
        {L"0 ushort 1", "Неверное значение адреса."},
        {L"65536 ushort 1", nullptr},
        {L"65537 ushort 1", "Неверное значение адреса."},
        {L"99999999999 float 1", "Неверное значение адреса."},
        {L"99999999999 float e", "Неверное значение адреса."},
        {L"00001 ushort 1", nullptr},
        {L"53027 sshort -32768", nullptr},
        {L"53027 sshort 32767", nullptr},
        {L"53027 sshort 32768", "Неверное значение для данного типа регистра."},
        {L"53027 sshort -32769", "Неверное значение для данного типа регистра."},
        {L"53011 ushort 65535", nullptr},
        {L"53011 ushort -1", "Неверное значение для данного типа регистра."},
        {L"53011 ushort 65536", "Неверное значение для данного типа регистра."},
        {L"53011 ushort 1.0", "Неверное значение для данного типа регистра."},
        {L"53011 ushort 1e3", "Неверное значение для данного типа регистра."},
        {L"53011 ushort ", "Неверное значение для данного типа регистра."},
        {L"53011 ushort 99999999999", "Неверное значение для данного типа регистра."},
        {L"2001 f 1,5", "Неверное значение для данного типа регистра."},
        {L"2001 f 1.5", nullptr},
        {L"2001 float ", "Неверное значение для данного типа регистра."},
        {L"2001 float 1e39", "Неверное значение для данного типа регистра."},
        {L"2001 float -1e39", "Неверное значение для данного типа регистра."},
        {L"2001 float 1e-60", nullptr},
        {L"2001 float 3.4028235e38", nullptr},
        {L"2001 float +-1", "Неверное значение для данного типа регистра."},
        {L"2001 float e", "Неверное значение для данного типа регистра."},
        {L"sleep(5000)", nullptr},
        {L"sleep(5001)", "Слишком большая задержка."},
        {L"sleep(2147483647)", "Слишком большая задержка."},
        {L"sleep(99999999999)", "Неверный параметр комманды."},
        {L"sleep(99)", nullptr},
        {L"2001 float +INF", "Синтаксическая ошибка."},
        {L"hello", "Синтаксическая ошибка."},
    };
    for (const auto& c : cases) {
        const auto v = ValidateScript(Script({L"# a", L"", L"", c.line}), Patterns());
        if (c.message == nullptr) {
            EXPECT_TRUE(v.messages.empty()) << WideToUtf8(c.line) << ": " << v.messages.front();
        } else {
            ASSERT_EQ(v.messages.size(), 1u) << WideToUtf8(c.line);
            EXPECT_EQ(v.messages[0], std::string("Строка #4, ") + c.message) << WideToUtf8(c.line);
        }
    }
}

TEST(ValidateScript, WeightAndSteps)
{
    const auto v = ValidateScript(Script({L"2001 float  123.000000\t\t # Serial", L"sleep(5000)", L"# c",
                                          L"53011 ushort 65535", L"sleep(250)", L"53027 s -1", L"sleep(99)",
                                          L"\"x\" 65536 d 0 # c"}),
                                  Patterns());
    ASSERT_TRUE(v.messages.empty());
    EXPECT_EQ(v.weight, 4 + 50 + 2 + 0);
    ASSERT_EQ(v.steps.size(), 7u);
    using K = ScriptStep::Kind;
    EXPECT_EQ(v.steps[0].kind, K::Write);
    EXPECT_EQ(v.steps[0].registerNumber, 2001);
    EXPECT_EQ(v.steps[0].type, ScriptValueType::Float);
    EXPECT_EQ(v.steps[0].floatValue, 123.0f);
    EXPECT_EQ(v.steps[0].lineNumber, 1);
    EXPECT_EQ(v.steps[1].kind, K::Pause);
    EXPECT_EQ(v.steps[1].pauseMs, 5000);
    EXPECT_EQ(v.steps[2].type, ScriptValueType::UShort);
    EXPECT_EQ(v.steps[2].intValue, 65535);
    EXPECT_EQ(v.steps[2].lineNumber, 4);
    EXPECT_EQ(v.steps[3].pauseMs, 250);
    EXPECT_EQ(v.steps[4].type, ScriptValueType::SShort);
    EXPECT_EQ(v.steps[4].intValue, -1);
    EXPECT_EQ(v.steps[5].pauseMs, 99);
    EXPECT_EQ(v.steps[6].registerNumber, 65536);
    EXPECT_EQ(v.steps[6].intValue, 0);

    const auto comments = ValidateScript(Script({L"# only", L"", L"  "}), Patterns());
    EXPECT_TRUE(comments.messages.empty());
    EXPECT_EQ(comments.weight, 0);
    EXPECT_TRUE(comments.steps.empty());
    EXPECT_EQ(ValidateScript({}, Patterns()).weight, 0);
}

TEST(ValidateScript, WeightAddsUpOverManyPauses)
{
    std::vector<std::wstring> lines(45000000 / 1000, L"sleep(5000)");
    EXPECT_EQ(ValidateScript(lines, Patterns()).weight, 45000 * 50);
}

} // namespace
