#pragma once
// The system's text code page, for files without a byte-order mark: UTF-8 on
// Linux, the ANSI code page on Windows (1251 on a Russian system). The tool
// works in UTF-8 inside.

#include <string>
#include <string_view>

// Text in the system's code page to UTF-8; unchanged where that is UTF-8.
std::string SystemTextToUtf8(std::string_view text);
// UTF-8 to the system's code page; a character the page lacks becomes '?'.
std::string Utf8ToSystemText(std::string_view text);
// True where the system's code page is UTF-8 itself.
bool SystemTextIsUtf8();
