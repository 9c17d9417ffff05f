#include "script.h"

#include "text_file.h"
#include "value_text.h"

#include <algorithm>
#include <limits>
#include <locale>

namespace {

// The file's white space and digits are ASCII (white space as
// IsPatternSpace says). Boost's \s and \d follow the C++ library's wide
// character classes, which under Windows also take U+00A0 or U+0661: they
// become explicit ASCII classes. Other escapes stay as they are.
std::wstring AsciiClasses(std::wstring_view pattern)
{
    std::wstring out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != L'\\' || i + 1 == pattern.size()) {
            out += pattern[i];
            continue;
        }
        const wchar_t escaped = pattern[++i];
        if (escaped == L's')
            out += LR"([ \x09-\x0D])";
        else if (escaped == L'd')
            out += L"[0-9]";
        else
            out.append({L'\\', escaped});
    }
    return out;
}

boost::wregex Compile(const wchar_t* pattern)
{
    boost::wregex re;
    re.imbue(std::locale::classic());
    re.assign(AsciiClasses(pattern), boost::regex::perl);
    return re;
}

// The ASCII form of a field; nothing for a field with any other character,
// which then cannot convert.
std::optional<std::string> Ascii(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        if (static_cast<std::uint32_t>(c) > 0x7F) // wchar_t is signed on Linux, 16 bits on Windows
            return std::nullopt;
        out += static_cast<char>(c);
    }
    return out;
}

std::optional<std::int32_t> DecimalField(const std::wstring& text)
{
    const auto ascii = Ascii(text);
    return ascii ? ParseDecimalInt32(*ascii) : std::nullopt;
}

std::optional<float> FloatField(const std::wstring& text)
{
    const auto ascii = Ascii(text);
    return ascii ? ParseFloat(*ascii) : std::nullopt;
}

std::string LineMessage(int line, const char* text)
{
    return "Строка #" + std::to_string(line) + ", " + text;
}

const char kAddressMessage[] = "Неверное значение адреса.";
const char kTypeMessage[] = "Неверное значение для данного типа регистра.";
const char kDelayMessage[] = "Слишком большая задержка.";
const char kParameterMessage[] = "Неверный параметр комманды.";
const char kSyntaxMessage[] = "Синтаксическая ошибка.";

constexpr std::int32_t kMaxPauseMs = 5000;

} // namespace

ScriptPatterns::ScriptPatterns()
    : ValuePattern(Compile(
          LR"(\s*(?:"?[^"]+"?\s+)?(\d+)\s+(f|float|d|ushort|s|sshort)\s+([-+0-9.,eE]*)(?:\s+#.*)?)")),
      CommentPattern(Compile(LR"(\s*(#.*)?)")),
      PausePattern(Compile(LR"(\s*sleep\(\s*(\d+)\s*\)\s*)"))
{
}

bool IsPatternSpace(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

std::wstring SqueezeSpaceRuns(std::wstring_view line)
{
    std::wstring out;
    out.reserve(line.size());
    std::size_t run = 0;
    for (const wchar_t c : line) {
        run = IsPatternSpace(c) ? run + 1 : 0;
        if (run <= 2)
            out += c;
    }
    return out;
}

LineMatch ClassifyLine(std::wstring_view line, const ScriptPatterns& patterns)
{
    LineMatch result;
    // White space only: a comment line, and no line of any other kind.
    if (std::all_of(line.begin(), line.end(), IsPatternSpace)) {
        result.kind = LineMatch::Kind::Comment;
        return result;
    }
    try {
        const std::wstring squeezed = SqueezeSpaceRuns(line);
        boost::wsmatch m;
        if (boost::regex_match(squeezed, m, patterns.ValuePattern)) {
            result.kind = LineMatch::Kind::Value;
            result.registerText = m.str(1);
            result.typeWord = m.str(2);
            result.valueText = m.str(3);
        } else if (boost::regex_match(squeezed, patterns.CommentPattern)) {
            result.kind = LineMatch::Kind::Comment;
        } else if (boost::regex_match(squeezed, m, patterns.PausePattern)) {
            result.kind = LineMatch::Kind::Pause;
            result.valueText = m.str(1);
        }
    } catch (const std::runtime_error&) {
        // The engine gave up on an ambiguous match: the line is not usable.
        result = LineMatch{};
    }
    return result;
}

namespace {

// The validation pass, fed one line at a time.
class ScriptValidator {
public:
    explicit ScriptValidator(const ScriptPatterns& patterns) : patterns_(patterns) {}

    void Add(std::wstring_view line);
    ScriptValidation Finish();

private:
    const ScriptPatterns& patterns_;
    ScriptValidation v_;
    std::int64_t weight_ = 0;
    int lineNumber_ = 0;
};

void ScriptValidator::Add(std::wstring_view line)
{
    const int k = ++lineNumber_;
    ScriptValidation& v = v_;
    const LineMatch m = ClassifyLine(line, patterns_);
    switch (m.kind) {
    case LineMatch::Kind::Value: {
        const auto reg = DecimalField(m.registerText);
        if (!reg || *reg < 1 || *reg > 65536) {
            v.messages.push_back(LineMessage(k, kAddressMessage));
            break;
        }
        ScriptStep step;
        step.kind = ScriptStep::Kind::Write;
        step.registerNumber = *reg;
        step.lineNumber = k;
        bool ok = false;
        if (m.typeWord == L"f" || m.typeWord == L"float") {
            step.type = ScriptValueType::Float;
            const auto f = FloatField(m.valueText);
            ok = f.has_value();
            if (ok) {
                step.floatValue = *f;
                step.floatText = Ascii(m.valueText).value_or(std::string());
            }
        } else {
            const bool isUShort = m.typeWord == L"d" || m.typeWord == L"ushort";
            step.type = isUShort ? ScriptValueType::UShort : ScriptValueType::SShort;
            const auto n = DecimalField(m.valueText);
            ok = n.has_value() && (isUShort ? *n >= 0 && *n <= 65535 : *n >= -32768 && *n <= 32767);
            if (ok)
                step.intValue = *n;
        }
        if (!ok) {
            v.messages.push_back(LineMessage(k, kTypeMessage));
            break;
        }
        weight_ += 1;
        // Once a message is there, no step will ever be run.
        if (v.messages.empty())
            v.steps.push_back(step);
        break;
    }
    case LineMatch::Kind::Comment:
        break;
    case LineMatch::Kind::Pause: {
        const auto ms = DecimalField(m.valueText);
        if (!ms) {
            v.messages.push_back(LineMessage(k, kParameterMessage));
        } else if (*ms > kMaxPauseMs) {
            v.messages.push_back(LineMessage(k, kDelayMessage));
        } else {
            weight_ += *ms / 100;
            ScriptStep step;
            step.kind = ScriptStep::Kind::Pause;
            step.pauseMs = *ms;
            step.lineNumber = k;
            if (v.messages.empty())
                v.steps.push_back(step);
        }
        break;
    }
    case LineMatch::Kind::SyntaxError:
        v.messages.push_back(LineMessage(k, kSyntaxMessage));
        break;
    }
    if (!v.messages.empty() && !v.steps.empty())
        std::vector<ScriptStep>().swap(v.steps);
}

ScriptValidation ScriptValidator::Finish()
{
    v_.weight = static_cast<std::int32_t>(std::min<std::int64_t>(weight_, std::numeric_limits<std::int32_t>::max()));
    return std::move(v_);
}

} // namespace

ScriptValidation ValidateScript(const std::vector<std::wstring>& lines, const ScriptPatterns& patterns)
{
    ScriptValidator validator(patterns);
    for (const std::wstring& line : lines)
        validator.Add(line);
    return validator.Finish();
}

ScriptValidation ValidateScriptText(std::wstring_view text, const ScriptPatterns& patterns)
{
    ScriptValidator validator(patterns);
    TextLineReader reader(text);
    for (std::wstring_view line; reader.Next(line);)
        validator.Add(line);
    return validator.Finish();
}

bool ValidateScriptFile(const std::string& path, const ScriptPatterns& patterns, ScriptValidation& result,
                        std::string& error)
{
    std::wstring text;
    if (!ReadTextFile(path, text, error))
        return false;
    result = ValidateScriptText(text, patterns);
    return true;
}
