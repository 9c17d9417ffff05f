#include "text_file.h"

#include "file_read.h"

#include <cwchar>
#include <type_traits>

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsScalar(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// A code point as wide characters: one where wchar_t holds 32 bits (Linux),
// a surrogate pair above U+FFFF where it holds 16 (Windows).
void AppendCodePoint(std::wstring& out, char32_t c)
{
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(c);
}

void DecodeUtf8(std::string_view s, std::wstring& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        int extra = 0;
        char32_t c = 0, min = 0;
        if ((b & 0xE0) == 0xC0) {
            extra = 1, c = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, c = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, c = b & 0x07, min = 0x10000;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        int k = 1;
        for (; k <= extra && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k)
            c = (c << 6) | (p[i + k] & 0x3F);
        if (k <= extra || c < min || !IsScalar(c)) {
            out += kReplacement; // resynchronise at the next byte
            ++i;
            continue;
        }
        AppendCodePoint(out, c);
        i += static_cast<std::size_t>(extra) + 1;
    }
}

void DecodeUtf16(std::string_view s, bool bigEndian, std::wstring& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t units = s.size() / 2;
    auto unit = [&](std::size_t k) -> char32_t {
        return bigEndian ? (char32_t{p[2 * k]} << 8) | p[2 * k + 1] : (char32_t{p[2 * k + 1]} << 8) | p[2 * k];
    };
    for (std::size_t k = 0; k < units; ++k) {
        const char32_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
            const char32_t v = unit(k + 1);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                AppendCodePoint(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                ++k;
                continue;
            }
        }
        out += (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : static_cast<wchar_t>(u);
    }
    if (s.size() % 2 != 0)
        out += kReplacement;
}

void DecodeLocale(std::string_view s, std::wstring& out)
{
    std::mbstate_t state{};
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80 && std::mbsinit(&state)) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        wchar_t wc = 0;
        const std::size_t r = std::mbrtowc(&wc, s.data() + i, s.size() - i, &state);
        if (r == static_cast<std::size_t>(-1) || r == static_cast<std::size_t>(-2)) {
            // Invalid, or cut off by the end of the file.
            out += kReplacement;
            state = std::mbstate_t{};
            ++i;
        } else if (r == 0) {
            out += L'\0';
            ++i;
        } else {
            out += wc;
            i += r;
        }
    }
}

} // namespace

std::wstring DecodeText(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    if (bytes.starts_with("\xEF\xBB\xBF"))
        DecodeUtf8(bytes.substr(3), text);
    else if (bytes.starts_with("\xFF\xFE"))
        DecodeUtf16(bytes.substr(2), false, text);
    else if (bytes.starts_with("\xFE\xFF"))
        DecodeUtf16(bytes.substr(2), true, text);
    else
        DecodeLocale(bytes, text);

    if (const auto nul = text.find(L'\0'); nul != std::wstring::npos)
        text.resize(nul);
    return text;
}

bool TextLineReader::Next(std::wstring_view& line)
{
    const std::size_t n = text_.size();
    if (position_ >= n)
        return false;
    std::size_t end = position_;
    while (end < n && text_[end] != L'\n' && text_[end] != L'\r')
        ++end;
    line = text_.substr(position_, end - position_);
    position_ = end + 1;
    if (end + 1 < n && text_[end] == L'\r' && text_[end + 1] == L'\n')
        ++position_;
    return true;
}

std::vector<std::wstring> DecodeTextLines(std::string_view bytes)
{
    const std::wstring text = DecodeText(bytes);
    std::vector<std::wstring> lines;
    TextLineReader reader(text);
    for (std::wstring_view line; reader.Next(line);)
        lines.emplace_back(line);
    return lines;
}

bool ReadTextFile(const std::string& path, std::wstring& text, std::string& error)
{
    text.clear();
    std::string bytes;
    if (!ReadWholeFile(path, bytes, error))
        return false;
    text = DecodeText(bytes);
    return true;
}

std::string WideToUtf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Unsigned first: wchar_t is signed on Linux.
        auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        // Where wchar_t holds 16 bits, a surrogate pair is one code point;
        // a lone surrogate is none anywhere.
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const auto low = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i + 1]));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (!IsScalar(c))
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}
