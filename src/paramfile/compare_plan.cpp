#include "compare_plan.h"

#include "codecs.h"
#include "layout_writer.h"
#include "text_file.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

std::uint32_t FirstAddress(const ParamAssignment& v) { return static_cast<std::uint32_t>(v.registerNumber - 1); }

std::uint32_t RegisterCount(ScriptValueType type) { return type == ScriptValueType::Float ? 2 : 1; }

ParamAssignment FromStep(const ScriptStep& step)
{
    ParamAssignment v;
    v.registerNumber = step.registerNumber;
    v.type = step.type;
    v.bits = step.type == ScriptValueType::Float ? std::bit_cast<std::uint32_t>(step.floatValue)
                                                 : static_cast<std::uint16_t>(step.intValue);
    v.text = step.floatText;
    return v;
}

std::string FloatText(float value)
{
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    if (std::isnan(value)) {
        char text[32];
        std::snprintf(text, sizeof text, "NAN (0x%08X)", static_cast<unsigned>(bits));
        return text;
    }
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// The value a file line says, with its type word where the two sides' types differ.
std::string SideText(const ParamAssignment* v, bool withType)
{
    if (!v)
        return "нет";
    const std::string value = ParamValueText(v->type, v->bits);
    return withType ? std::string(ParamTypeWord(v->type)) + " " + value : value;
}

} // namespace

bool FileValueStandsFor(const ParamAssignment& fileValue, std::uint32_t bits)
{
    if (fileValue.bits == bits)
        return true;
    if (fileValue.type != ScriptValueType::Float || fileValue.text.empty())
        return false;
    const float value = std::bit_cast<float>(bits);
    return fileValue.text == FormatCFixed(value) || fileValue.text == FormatCExp(value);
}

std::vector<ParamAssignment> EffectiveAssignments(const std::vector<ScriptStep>& steps)
{
    // Walk the writes from the last: a value survives when none of its
    // registers is taken by a value written after it.
    std::map<std::uint32_t, bool> taken;
    std::vector<ParamAssignment> kept;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (step->kind != ScriptStep::Kind::Write)
            continue;
        const ParamAssignment v = FromStep(*step);
        const std::uint32_t first = FirstAddress(v);
        const std::uint32_t count = RegisterCount(v.type);
        bool free = true;
        for (std::uint32_t a = first; a < first + count; ++a)
            free = free && !taken.count(a);
        for (std::uint32_t a = first; a < first + count; ++a)
            taken[a] = true;
        if (free)
            kept.push_back(v);
    }
    std::sort(kept.begin(), kept.end(),
              [](const ParamAssignment& x, const ParamAssignment& y) { return x.registerNumber < y.registerNumber; });
    return kept;
}

ParamFileValues ReadParamFileValues(const std::string& path)
{
    ParamFileValues file;
    ScriptValidation script;
    std::string error;
    if (!ValidateScriptFile(path, ScriptPatterns(), script, error)) {
        file.outcome = ParamFileValues::Outcome::Unreadable;
        file.messages.push_back("Не удалось прочитать файл " + path + ": " + error);
        return file;
    }
    if (!script.messages.empty()) {
        file.outcome = ParamFileValues::Outcome::Invalid;
        file.messages = std::move(script.messages);
        return file;
    }
    file.values = EffectiveAssignments(script.steps);
    return file;
}

std::vector<ReadRun> PlanReads(const std::vector<ParamAssignment>& values, std::uint16_t maxCount)
{
    std::vector<std::uint32_t> addresses;
    for (const ParamAssignment& v : values)
        for (std::uint32_t a = FirstAddress(v); a < FirstAddress(v) + RegisterCount(v.type); ++a)
            if (a <= 0xFFFF)
                addresses.push_back(a);
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());

    std::vector<ReadRun> runs;
    for (const std::uint32_t a : addresses) {
        if (!runs.empty() && runs.back().start + runs.back().count == a && runs.back().count < maxCount)
            ++runs.back().count;
        else
            runs.push_back({static_cast<std::uint16_t>(a), 1});
    }
    return runs;
}

std::vector<std::uint16_t> AssignmentWords(const ParamAssignment& value)
{
    if (value.type != ScriptValueType::Float)
        return {static_cast<std::uint16_t>(value.bits)};
    // The meter's own order of a float's bytes, from the codec the writes use.
    std::uint8_t wire[4];
    std::int32_t position = 0;
    ModBusFloatReg(std::bit_cast<float>(value.bits)).Encode(wire, position);
    return {static_cast<std::uint16_t>(wire[0] << 8 | wire[1]), static_cast<std::uint16_t>(wire[2] << 8 | wire[3])};
}

const char* ParamTypeWord(ScriptValueType type)
{
    switch (type) {
    case ScriptValueType::Float:
        return "float";
    case ScriptValueType::UShort:
        return "ushort";
    case ScriptValueType::SShort:
        return "sshort";
    }
    return "";
}

std::string ParamValueText(ScriptValueType type, std::uint32_t bits)
{
    switch (type) {
    case ScriptValueType::Float:
        return FloatText(std::bit_cast<float>(bits));
    case ScriptValueType::UShort:
        return std::to_string(static_cast<std::uint16_t>(bits));
    case ScriptValueType::SShort:
        return std::to_string(static_cast<std::int16_t>(static_cast<std::uint16_t>(bits)));
    }
    return "";
}

std::vector<std::string> CompareWithMeter(const std::vector<ParamAssignment>& values, const MeterWords& meter)
{
    std::vector<std::string> lines;
    for (const ParamAssignment& v : values) {
        const std::size_t count = RegisterCount(v.type);
        std::vector<std::uint16_t> held;
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto found = meter.find(FirstAddress(v) + i);
            if (found != meter.end())
                held.push_back(found->second);
        }
        std::string meterText = "нет ответа";
        if (held.size() == count) {
            ParamAssignment read = v;
            if (v.type == ScriptValueType::Float) {
                const std::uint8_t wire[4] = {static_cast<std::uint8_t>(held[0] >> 8), static_cast<std::uint8_t>(held[0]),
                                              static_cast<std::uint8_t>(held[1] >> 8), static_cast<std::uint8_t>(held[1])};
                ModBusFloatReg decoded;
                std::int32_t position = 0;
                decoded.Decode(wire, position);
                read.bits = std::bit_cast<std::uint32_t>(decoded.Get());
            } else {
                read.bits = held[0];
            }
            if (FileValueStandsFor(v, read.bits))
                continue;
            meterText = ParamValueText(read.type, read.bits);
        }
        lines.push_back(std::to_string(v.registerNumber) + " " + ParamTypeWord(v.type) + ": в файле " +
                        ParamValueText(v.type, v.bits) + ", в приборе " + meterText);
    }
    return lines;
}

std::vector<AssignmentPair> PairDifferences(const std::vector<ParamAssignment>& a,
                                            const std::vector<ParamAssignment>& b)
{
    std::map<int, std::pair<const ParamAssignment*, const ParamAssignment*>> byRegister;
    for (const ParamAssignment& v : a)
        byRegister[v.registerNumber].first = &v;
    for (const ParamAssignment& v : b)
        byRegister[v.registerNumber].second = &v;
    std::vector<AssignmentPair> pairs;
    for (const auto& [number, sides] : byRegister) {
        const auto [x, y] = sides;
        if (x && y && x->type == y->type && (FileValueStandsFor(*x, y->bits) || FileValueStandsFor(*y, x->bits)))
            continue;
        pairs.push_back({number, x, y});
    }
    return pairs;
}

std::vector<std::string> DiffAssignments(const std::vector<ParamAssignment>& a, const std::vector<ParamAssignment>& b)
{
    std::vector<std::string> lines;
    for (const AssignmentPair& pair : PairDifferences(a, b)) {
        const ParamAssignment* x = pair.a;
        const ParamAssignment* y = pair.b;
        const bool sameType = !x || !y || x->type == y->type;
        const ParamAssignment* typed = x ? x : y;
        std::string line = std::to_string(pair.registerNumber);
        if (sameType)
            line += std::string(" ") + ParamTypeWord(typed->type);
        line += ": в A " + SideText(x, !sameType) + ", в B " + SideText(y, !sameType);
        lines.push_back(std::move(line));
    }
    return lines;
}
