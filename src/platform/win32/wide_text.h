#pragma once
// The Win32 side speaks UTF-16; the tool works in UTF-8 inside.

#include <string>
#include <string_view>

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// Text in code page `codePage` to UTF-16 and back; a character the page
// lacks becomes '?'.
std::wstring FromCodePage(std::string_view text, unsigned codePage);
std::string ToCodePage(std::wstring_view text, unsigned codePage);
