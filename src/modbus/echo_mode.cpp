#include "echo_mode.h"

std::optional<EchoMode> ParseEchoMode(std::string_view word)
{
    if (word == "off")
        return EchoMode::Off;
    if (word == "on")
        return EchoMode::On;
    if (word == "auto")
        return EchoMode::Auto;
    return std::nullopt;
}

const char* EchoModeWord(EchoMode mode)
{
    switch (mode) {
    case EchoMode::Off:
        return "off";
    case EchoMode::On:
        return "on";
    case EchoMode::Auto:
        break;
    }
    return "auto";
}
