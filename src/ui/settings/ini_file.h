#pragma once
// A small INI file editor that keeps the file as the user wrote it: lines,
// comments, order of sections and keys, and line endings all stay as they
// were; a key that is set is replaced in place or added at the end of its
// section. Section and key names compare without regard to ASCII case.

#include <optional>
#include <string>
#include <vector>

class IniFile {
public:
    // Reads `path` (ReadWholeFile's rules); a file that is missing or cannot
    // be read, a FIFO or device included, gives an empty file.
    static IniFile Load(const std::string& path);

    // Value of `key` in `section` (blanks around it and one pair of
    // enclosing quotes removed), or `fallback` when there is none.
    std::string Read(const std::string& section, const std::string& key,
                     const std::string& fallback) const;

    // Replaces the first line of `key` in `section`, or adds the key after
    // the last entry of the section, or adds the section at the end.
    void Write(const std::string& section, const std::string& key, const std::string& value);

    // Writes the whole file to `path`; on failure returns the message.
    std::optional<std::string> Save(const std::string& path) const;

    std::string Text() const;

private:
    struct SectionRange {
        std::size_t header; // index of the "[...]" line
        std::size_t end;    // one past the last line of the section
    };
    std::optional<SectionRange> FindSection(const std::string& section) const;
    std::optional<std::size_t> FindKey(const SectionRange& range, const std::string& key) const;

    std::vector<std::string> lines_;
    std::string eol_ = "\n";
    bool finalEol_ = true;
};
