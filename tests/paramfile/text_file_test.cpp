#include "text_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using Lines = std::vector<std::wstring>;

struct LineCase {
    std::string bytes;
    Lines lines;
};

TEST(DecodeTextLines, LineEnds)
{
    const LineCase cases[] = {
        {"", {}},
        {"a", {L"a"}},
        {"a\r\n", {L"a"}},
        {"a\n", {L"a"}},
        {"a\r", {L"a"}},
        {"\r\n", {L""}},
        {"\n\n", {L"", L""}},
        {"a\r\nb\nc\rd", {L"a", L"b", L"c", L"d"}},
        {"a\n\rb", {L"a", L"", L"b"}},
        {"a\r\r\nb", {L"a", L"", L"b"}},
        {"a\r\n\r\n", {L"a", L""}},
        {"  \t x  ", {L"  \t x  "}},
        {std::string("a\nb\0c\nd", 7), {L"a", L"b"}},
        {std::string("\0abc", 4), {}},
        {std::string("a\r\0\n", 4), {L"a"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeTextLines(c.bytes), c.lines) << '"' << c.bytes << '"';
}

TEST(DecodeTextLines, Utf8Mark)
{
    EXPECT_EQ(DecodeTextLines("\xEF\xBB\xBF"
                              "2001 f 1\r\n# \xD0\xA1\xC2\xB0\n"),
              (Lines{L"2001 f 1", L"# \u0421\u00B0"}));
    // Invalid sequences become U+FFFD one byte at a time; decoding goes on.
    EXPECT_EQ(DecodeTextLines("\xEF\xBB\xBF"
                              "a\xFF\xC0\xAF"
                              "b\xE2\x82"),
              (Lines{L"a\uFFFD\uFFFD\uFFFDb\uFFFD\uFFFD"}));
    // A surrogate encoded in UTF-8 is not a character.
    EXPECT_EQ(DecodeTextLines("\xEF\xBB\xBF\xED\xA0\x80x"), (Lines{L"\uFFFD\uFFFD\uFFFDx"}));
    // Beyond U+FFFF: one wide character, or a surrogate pair where they hold 16 bits.
    EXPECT_EQ(DecodeTextLines("\xEF\xBB\xBF\xF0\x9F\x98\x80"), (Lines{L"\U0001F600"}));
    EXPECT_EQ(DecodeTextLines("\xEF\xBB\xBF"), Lines{});
}

std::string Utf16(const std::u16string& text, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t u : text) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

TEST(DecodeTextLines, Utf16Marks)
{
    const std::u16string text = u"2001 f 1\r\n\u0421\u00B0 \U0001F600\rsleep(1)\n";
    const Lines expected{L"2001 f 1", L"\u0421\u00B0 \U0001F600", L"sleep(1)"};
    EXPECT_EQ(DecodeTextLines(Utf16(text, false)), expected);
    EXPECT_EQ(DecodeTextLines(Utf16(text, true)), expected);
    // A NUL unit ends the text; a lone surrogate and an odd last byte become U+FFFD.
    EXPECT_EQ(DecodeTextLines(Utf16(std::u16string(u"ab\0cd", 5), false)), (Lines{L"ab"}));
    EXPECT_EQ(DecodeTextLines(Utf16(std::u16string(1, char16_t(0xD800)) + u"x", true)), (Lines{L"\uFFFDx"}));
    EXPECT_EQ(DecodeTextLines(Utf16(u"x", false) + "y"), (Lines{L"x\uFFFD"}));
}

TEST(DecodeTextLines, LocaleCharacterSet)
{
    // Without a mark the bytes are read in the current character set: UTF-8
    // on Linux, the ANSI code page on Windows (each system knows its own name).
    struct Case {
        const char* locale;
        const char* bytes;
        Lines lines;
    };
    const Case cases[] = {
        {"C.UTF-8", "# \xD0\xA1\n\xFFok", {L"# \u0421", L"\uFFFDok"}},
        {"Russian_Russia.1251", "# \xD1\n\xB0ok", {L"# \u0421", L"\u00B0ok"}},
    };
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    int known = 0;
    for (const Case& c : cases) {
        if (!std::setlocale(LC_CTYPE, c.locale))
            continue;
        ++known;
        EXPECT_EQ(DecodeTextLines(c.bytes), c.lines) << c.locale;
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    EXPECT_EQ(known, 1);
}

class TempFile {
public:
    explicit TempFile(const std::string& content)
    {
        char name[] = "/tmp/paramfile_testXXXXXX";
        const int fd = mkstemp(name);
        path = name;
        if (fd >= 0) {
            [[maybe_unused]] auto n = write(fd, content.data(), content.size());
            close(fd);
        }
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::string path;
};

TEST(ReadTextFile, ReadsAndDecodesAFile)
{
    TempFile file("\xFF\xFE" + std::string("a\0\r\0\n\0b\0", 8));
    std::wstring text = L"stale";
    std::string error = "stale";
    ASSERT_TRUE(ReadTextFile(file.path, text, error));
    EXPECT_EQ(text, L"a\r\nb");
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(ReadTextFile("/dev/zero", text, error));
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(error, "не обычный файл");
}

TEST(WideToUtf8, EncodesAndReplaces)
{
    const std::wstring lone{wchar_t(0xD800)}, lowFirst{wchar_t(0xDC00), wchar_t(0xD800)};
    EXPECT_EQ(WideToUtf8(L"a\u0421\u00B0"), "a\xD0\xA1\xC2\xB0");
    EXPECT_EQ(WideToUtf8(L"\U0001F600!"), "\xF0\x9F\x98\x80!");
    EXPECT_EQ(WideToUtf8(lone + L"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(WideToUtf8(lowFirst), "\xEF\xBF\xBD\xEF\xBF\xBD");
    if constexpr (sizeof(wchar_t) == 4) {
        EXPECT_EQ(WideToUtf8(std::wstring(1, wchar_t(0x110000))), "\xEF\xBF\xBD");
    }
}

} // namespace
