#include "text_code.h"

// Linux systems of today work in UTF-8, and so do the tool's files there.

std::string SystemTextToUtf8(std::string_view text) { return std::string(text); }

std::string Utf8ToSystemText(std::string_view text) { return std::string(text); }

bool SystemTextIsUtf8() { return true; }
