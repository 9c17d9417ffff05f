#pragma once
// Reading parameter files as lists of wide-character lines.

#include <string>
#include <string_view>
#include <vector>

// Decodes a whole file. A UTF-8 mark (EF BB BF) selects UTF-8, FF FE UTF-16
// little-endian, FE FF UTF-16 big-endian; the mark is dropped. Without a mark
// the bytes are decoded in the character set of the C library's current
// LC_CTYPE locale (mbrtowc): the application sets it from the environment at
// start-up; under the plain "C" locale only ASCII decodes. Bytes or units that
// do not decode (invalid sequences, lone surrogates, a truncated last unit)
// become U+FFFD, one per byte or unit, and decoding goes on.
// Lines end at CR LF, LF or a lone CR; a NUL character ends the text; a line
// end at the very end adds no empty line.
std::vector<std::wstring> DecodeTextLines(std::string_view bytes);

// Reads the file; false with `error` = the system's reason (UTF-8 text) when
// it cannot be opened or read.
bool ReadTextFileLines(const std::string& path, std::vector<std::wstring>& lines, std::string& error);

// UTF-8 form of a wide text (invalid code points become U+FFFD).
std::string WideToUtf8(std::wstring_view text);
