#include "text_code.h"

#include "wide_text.h"

#include <windows.h>

// Files without a byte-order mark are in the system's ANSI code page (1251
// on a Russian Windows), as the tool has always read and written them there.

std::string SystemTextToUtf8(std::string_view text)
{
    if (SystemTextIsUtf8())
        return std::string(text);
    return Narrow(FromCodePage(text, ::GetACP()));
}

std::string Utf8ToSystemText(std::string_view text)
{
    if (SystemTextIsUtf8())
        return std::string(text);
    return ToCodePage(Widen(text), ::GetACP());
}

bool SystemTextIsUtf8() { return ::GetACP() == CP_UTF8; }
