// libFuzzer target: arbitrary bytes through the parameter-file reader, the
// line validation and the number conversions. Built by scripts/fuzz.

#include "script.h"
#include "text_file.h"
#include "value_text.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

const ScriptPatterns& Patterns()
{
    static const ScriptPatterns patterns;
    return patterns;
}

// Matches the three patterns on the line as it is, without shortening runs
// of white space; false when the engine gives up.
bool ClassifyUnsqueezed(const std::wstring& line, LineMatch& result)
{
    const ScriptPatterns& p = Patterns();
    result = LineMatch{};
    try {
        boost::wsmatch m;
        if (boost::regex_match(line, m, p.ValuePattern)) {
            result.kind = LineMatch::Kind::Value;
            result.registerText = m.str(1);
            result.typeWord = m.str(2);
            result.valueText = m.str(3);
        } else if (boost::regex_match(line, p.CommentPattern)) {
            result.kind = LineMatch::Kind::Comment;
        } else if (boost::regex_match(line, m, p.PausePattern)) {
            result.kind = LineMatch::Kind::Pause;
            result.valueText = m.str(1);
        }
    } catch (const std::runtime_error&) {
        return false;
    }
    return true;
}

void CheckFloat(std::string_view text)
{
    const auto f = ParseFloat(text);
    if (!f)
        return;
    // Whatever converts must be a number that strtof reads completely and
    // to the same single (the process runs in the "C" numeric locale).
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const float ref = std::strtof(s.c_str(), &end);
    std::size_t rest = static_cast<std::size_t>(end - s.c_str());
    while (rest < s.size() && (s[rest] == ' ' || s[rest] == '\t'))
        ++rest;
    if (rest != s.size() || std::isinf(*f) || std::isnan(*f))
        std::abort();
    if (std::memcmp(&ref, &*f, sizeof ref) != 0)
        std::abort();
}

void CheckInt(std::string_view text)
{
    const auto v = ParseInt32(text);
    const auto d = ParseDecimalInt32(text);
    if (d && (!v || *v != *d))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Exercise the multibyte path of the locale decoding; the number
    // conversions stay in the "C" numeric locale.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto lines = DecodeTextLines(bytes);
    for (const auto& line : lines) {
        if (line.find(L'\0') != std::wstring::npos || line.find(L'\n') != std::wstring::npos ||
            line.find(L'\r') != std::wstring::npos)
            std::abort();
        if (line.size() <= 256) {
            LineMatch plain;
            if (ClassifyUnsqueezed(line, plain)) {
                const LineMatch fast = ClassifyLine(line, Patterns());
                if (fast.kind != plain.kind || fast.registerText != plain.registerText ||
                    fast.typeWord != plain.typeWord || fast.valueText != plain.valueText)
                    std::abort();
            }
        }
    }
    const ScriptValidation v = ValidateScript(lines, Patterns());
    if (v.weight < 0 || v.messages.size() > lines.size() || (!v.messages.empty() && !v.steps.empty()))
        std::abort();
    // The text is validated where its lines lie exactly as the copied lines.
    const ScriptValidation inPlace = ValidateScriptText(DecodeText(bytes), Patterns());
    if (inPlace.messages != v.messages || inPlace.weight != v.weight || inPlace.steps.size() != v.steps.size())
        std::abort();

    CheckFloat(bytes);
    CheckInt(bytes);
    if (size >= 4) {
        float f;
        std::memcpy(&f, data, 4);
        const std::string text = FormatListFloat(f);
        if (std::isfinite(f) && std::fabs(f) < 1e10f && text.size() < 8)
            std::abort();
    }
    return 0;
}
