#include "ini_file.h"

#include "file_access.h"
#include "file_read.h"

namespace {

std::string Trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// The name of a "[name]" line, or nothing for any other line.
std::optional<std::string> SectionName(const std::string& line)
{
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const auto close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

bool IsComment(const std::string& trimmed)
{
    return trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#';
}

// Key and raw value of a "key=value" line.
std::optional<std::pair<std::string, std::string>> Entry(const std::string& line)
{
    const std::string t = Trim(line);
    if (IsComment(t))
        return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return std::make_pair(Trim(t.substr(0, eq)), t.substr(eq + 1));
}

std::string Unquote(std::string value)
{
    value = Trim(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

IniFile IniFile::Load(const std::string& path)
{
    IniFile file;
    // A file that is missing or cannot be read (a folder, no permission)
    // gives the defaults.
    std::string text, error;
    if (!ReadWholeFile(path, text, error) || text.empty())
        return file;
    if (text.find("\r\n") != std::string::npos)
        file.eol_ = "\r\n";
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        file.lines_.push_back(std::move(line));
        if (nl == std::string::npos) {
            file.finalEol_ = false;
            break;
        }
        pos = nl + 1;
    }
    return file;
}

std::optional<IniFile::SectionRange> IniFile::FindSection(const std::string& section) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(lines_[i]);
        if (!name || !SameName(*name, section))
            continue;
        std::size_t end = i + 1;
        while (end < lines_.size() && !SectionName(lines_[end]))
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::FindKey(const SectionRange& range, const std::string& key) const
{
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const auto entry = Entry(lines_[i]);
        if (entry && SameName(entry->first, key))
            return i;
    }
    return std::nullopt;
}

std::string IniFile::Read(const std::string& section, const std::string& key,
                          const std::string& fallback) const
{
    const auto range = FindSection(section);
    if (!range)
        return fallback;
    const auto index = FindKey(*range, key);
    if (!index)
        return fallback;
    return Unquote(Entry(lines_[*index])->second);
}

void IniFile::Write(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string line = key + "=" + value;
    const auto range = FindSection(section);
    if (!range) {
        lines_.push_back("[" + section + "]");
        lines_.push_back(line);
        return;
    }
    if (const auto index = FindKey(*range, key)) {
        lines_[*index] = line;
        return;
    }
    // After the last non-blank line of the section, so that a blank line
    // that separates it from the next section stays where it is.
    std::size_t at = range->end;
    while (at > range->header + 1 && Trim(lines_[at - 1]).empty())
        --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), line);
}

std::string IniFile::Text() const
{
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i];
        if (i + 1 < lines_.size() || finalEol_)
            text += eol_;
    }
    return text;
}

std::optional<std::string> IniFile::Save(const std::string& path) const
{
    const auto failure = [&path](int error) {
        return "Не удалось записать файл настроек " + path + ": " + SystemErrorText(error);
    };
    // Not blocking: a FIFO in the file's place fails at once instead of
    // waiting for a reader. Written in place, not replaced: a symlinked or
    // specially owned INI file stays what it is.
    OutputFile file;
    if (const int error = file.Open(path, OutputFile::Create::Truncate, true))
        return failure(error);
    if (const int error = file.Write(Text()))
        return failure(error);
    if (const int error = file.Close())
        return failure(error);
    return std::nullopt;
}
