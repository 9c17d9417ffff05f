// The words of the line holds.
#include "line_options.h"

std::optional<LineHold> ParseLineHold(std::string_view word)
{
    if (word == "keep")
        return LineHold::Keep;
    if (word == "on")
        return LineHold::On;
    if (word == "off")
        return LineHold::Off;
    return std::nullopt;
}

const char* LineHoldWord(LineHold hold)
{
    switch (hold) {
    case LineHold::On:
        return "on";
    case LineHold::Off:
        return "off";
    case LineHold::Keep:
        break;
    }
    return "keep";
}
