#pragma once
// Reading parameter files as lists of wide-character lines.

#include <string>
#include <string_view>
#include <vector>

// Decodes a whole file into one text. A UTF-8 mark (EF BB BF) selects UTF-8, FF FE UTF-16
// little-endian, FE FF UTF-16 big-endian; the mark is dropped. Without a mark
// the bytes are decoded in the character set of the C library's current
// LC_CTYPE locale (mbrtowc): the application sets it from the environment at
// start-up; under the plain "C" locale only ASCII decodes. Bytes or units that
// do not decode (invalid sequences, lone surrogates, a truncated last unit)
// become U+FFFD, one per byte or unit, and decoding goes on. A NUL character
// ends the text.
std::wstring DecodeText(std::string_view bytes);

// The lines of a decoded text, one at a time and without copies: lines end
// at CR LF, LF or a lone CR; a line end at the very end adds no empty line.
class TextLineReader {
public:
    explicit TextLineReader(std::wstring_view text) : text_(text) {}
    // The next line; false after the last one.
    bool Next(std::wstring_view& line);

private:
    std::wstring_view text_;
    std::size_t position_ = 0;
};

// The lines of a whole file's bytes, as DecodeText and TextLineReader give them.
std::vector<std::wstring> DecodeTextLines(std::string_view bytes);

// Reads the file with ReadWholeFile's rules (no blocking, regular files of
// at most kMaxReadFileSize bytes) and decodes it; false with `error` = the
// reason (UTF-8 text) when it cannot be read.
bool ReadTextFile(const std::string& path, std::wstring& text, std::string& error);

// UTF-8 form of a wide text (invalid code points become U+FFFD).
std::string WideToUtf8(std::wstring_view text);
