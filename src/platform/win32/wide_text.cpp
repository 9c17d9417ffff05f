#include "wide_text.h"

#include <windows.h>

#include <climits>

namespace {

std::wstring ToWide(std::string_view text, unsigned codePage)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(codePage, 0, text.data(), size, out.data(), n);
    return out;
}

std::string FromWide(std::wstring_view text, unsigned codePage)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    // UTF-8 takes no default character; other pages put '?' for what they
    // lack, not a look-alike ('a' for 'ä').
    const bool utf8 = codePage == CP_UTF8;
    const char* fallback = utf8 ? nullptr : "?";
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n = ::WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, fallback, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), n, fallback, nullptr);
    return out;
}

} // namespace

std::wstring Widen(std::string_view utf8) { return ToWide(utf8, CP_UTF8); }

std::string Narrow(std::wstring_view utf16) { return FromWide(utf16, CP_UTF8); }

std::wstring FromCodePage(std::string_view text, unsigned codePage) { return ToWide(text, codePage); }

std::string ToCodePage(std::wstring_view text, unsigned codePage) { return FromWide(text, codePage); }
