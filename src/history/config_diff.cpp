#include "config_diff.h"

#include "compare_plan.h"
#include "register_map.h"
#include "script.h"
#include "text_file.h"

#include <map>

namespace {

// Where each register of a text stands: the heading above it and the name
// after its '#'.
struct LinePlace {
    std::string section;
    std::string name;
};

std::string Trim(std::string_view s, std::string_view drop = " \t-")
{
    const auto first = s.find_first_not_of(drop);
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(drop);
    return std::string(s.substr(first, last - first + 1));
}

std::map<int, LinePlace> PlacesOf(const std::wstring& text)
{
    std::map<int, LinePlace> places;
    // The lines above the first heading: the serial number and the adjustments.
    std::string heading = "Общие", sub;
    TextLineReader reader(text);
    std::wstring_view wide;
    while (reader.Next(wide)) {
        const std::string line = WideToUtf8(wide);
        const auto hash = line.find('#');
        if (hash == std::string::npos)
            continue;
        const std::string head = Trim(std::string_view(line).substr(0, hash));
        const std::string comment = Trim(std::string_view(line).substr(hash + 1));
        if (head.empty()) {
            // A heading: a salt table is a part of its phase.
            if (comment.rfind("Salt:", 0) == 0) {
                sub = comment;
            } else {
                heading = comment;
                sub.clear();
            }
            continue;
        }
        const int number = std::atoi(head.c_str());
        if (number > 0)
            places[number] = {sub.empty() ? heading : heading + ", " + sub, comment};
    }
    return places;
}

std::map<int, std::string> ListCaptions()
{
    MeterRegisters registers;
    std::map<int, std::string> captions;
    for (const RegRow& row : RegRows(registers))
        captions[row.registerNumber] = row.caption;
    return captions;
}

struct Side {
    std::wstring text;
    ScriptValidation script;
    std::vector<ParamAssignment> values;
    std::map<int, LinePlace> places;
};

bool Read(std::string_view bytes, const ScriptPatterns& patterns, Side& side, const char* which,
          std::vector<std::string>& messages)
{
    side.text = DecodeText(bytes);
    side.script = ValidateScriptText(side.text, patterns);
    for (const std::string& m : side.script.messages)
        messages.push_back(std::string(which) + ": " + m);
    if (!side.script.messages.empty())
        return false;
    side.values = EffectiveAssignments(side.script.steps);
    side.places = PlacesOf(side.text);
    return true;
}

} // namespace

ConfigDiff DiffConfigurations(std::string_view oldBytes, std::string_view newBytes)
{
    static const std::map<int, std::string> captions = ListCaptions();
    const ScriptPatterns patterns;
    ConfigDiff diff;
    Side before, after;
    const bool oldValid = Read(oldBytes, patterns, before, "было", diff.messages);
    const bool newValid = Read(newBytes, patterns, after, "стало", diff.messages);
    if (!oldValid || !newValid) {
        diff.valid = false;
        return diff;
    }
    for (const AssignmentPair& pair : PairDifferences(before.values, after.values)) {
        ConfigChange change;
        change.registerNumber = pair.registerNumber;
        const auto placeIn = [&](const Side& side) -> const LinePlace* {
            const auto found = side.places.find(pair.registerNumber);
            return found == side.places.end() ? nullptr : &found->second;
        };
        const LinePlace* place = placeIn(after);
        if (!place)
            place = placeIn(before);
        if (place)
            change.section = place->section;
        const auto caption = captions.find(pair.registerNumber);
        change.caption = caption != captions.end() ? caption->second : place ? place->name : std::string();
        if (pair.a && pair.b && pair.a->type != pair.b->type)
            change.typeWord = std::string(ParamTypeWord(pair.a->type)) + "/" + ParamTypeWord(pair.b->type);
        else
            change.typeWord = ParamTypeWord((pair.a ? pair.a : pair.b)->type);
        change.oldValue = pair.a ? ParamValueText(pair.a->type, pair.a->bits) : "нет";
        change.newValue = pair.b ? ParamValueText(pair.b->type, pair.b->bits) : "нет";
        diff.changes.push_back(std::move(change));
    }
    return diff;
}

std::string ConfigChangeLine(const ConfigChange& c)
{
    return c.section + "\t" + std::to_string(c.registerNumber) + "\t" + c.caption + "\t" + c.typeWord + "\t" +
           c.oldValue + " → " + c.newValue;
}
