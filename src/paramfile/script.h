#pragma once
// Classification and validation of parameter-file lines.

#include <boost/regex.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The three line patterns, compiled once. They are imbued with the classic
// "C" locale, so that matching does not depend on the user's locale: \s is
// one of space, TAB, LF, VT, FF and CR, \d one of the ASCII digits 0-9, and
// "." matches any character.
class ScriptPatterns {
public:
    ScriptPatterns();

    boost::wregex ValuePattern;   // groups: 1 register number, 2 type word, 3 value text
    boost::wregex CommentPattern;
    boost::wregex PausePattern;   // group 1: milliseconds
};

enum class ScriptValueType { Float, UShort, SShort };

struct ScriptStep {
    enum class Kind { Write, Pause } kind = Kind::Write;
    int registerNumber = 0;     // as written in the file, 1..65536
    ScriptValueType type = ScriptValueType::Float;
    float floatValue = 0;
    std::string floatText;      // the float's text as the file writes it
    std::int32_t intValue = 0;  // ushort 0..65535, sshort -32768..32767
    std::int32_t pauseMs = 0;   // as written, 0..5000
    int lineNumber = 0;         // counted from 1
};

struct ScriptValidation {
    std::vector<std::string> messages; // UTF-8, in line order
    std::int32_t weight = 0;
    std::vector<ScriptStep> steps;     // value and pause lines in file order, when valid
};

// The classification of one line and the texts of its groups.
struct LineMatch {
    enum class Kind { Value, Comment, Pause, SyntaxError } kind = Kind::SyntaxError;
    std::wstring registerText; // value line: group 1
    std::wstring typeWord;     // value line: group 2
    std::wstring valueText;    // value line: group 3; pause line: the milliseconds
};

// Tries the value, comment and pause patterns in this order on the whole
// line. A match that exceeds the regex engine's complexity bound counts as a
// syntax error.
LineMatch ClassifyLine(std::wstring_view line, const ScriptPatterns& patterns);

// Every run of three or more white-space characters (as \s counts them)
// shortened to its first two. Each pattern element that takes white space
// needs at most two characters of a run and repeats freely, so the shortened
// line matches exactly when the original does, with the same groups; the
// matcher then needs no more than linear work on long runs of blanks.
std::wstring SqueezeSpaceRuns(std::wstring_view line);
bool IsPatternSpace(wchar_t c);

// The validation pass: one message per faulty line, the weight (1 per valid
// value line plus n / 100 per valid pause of n ms, kept at most INT32_MAX),
// and, when there is no message, the steps to execute.
ScriptValidation ValidateScript(const std::vector<std::wstring>& lines, const ScriptPatterns& patterns);
// The same for the lines of a decoded text (TextLineReader), which are
// examined where they lie in the text.
ScriptValidation ValidateScriptText(std::wstring_view text, const ScriptPatterns& patterns);

// Reads the file (ReadTextFile) and validates it. False with the reason in
// `error` when the file cannot be read.
bool ValidateScriptFile(const std::string& path, const ScriptPatterns& patterns, ScriptValidation& result,
                        std::string& error);
