#pragma once
// The four link settings as texts, their INI file beside the executable, and
// the checks that "Открыть" makes before it opens the link.

#include "settings_place.h"

#include <cstdint>
#include <optional>
#include <string>

struct LinkSettingsTexts {
    std::string port = "COM1";
    std::string speed = "115200";
    std::string timeout = "200";
    std::string address = "1";

    bool operator==(const LinkSettingsTexts&) const = default;
};

// Keys of section Link1; the defaults above for a missing file or key.
LinkSettingsTexts LoadLinkSettings(const std::string& iniPath);

// Writes Port, Speed, Timeout and Address of section Link1 in this order and
// keeps everything else of the file. Returns the INI layer's message when
// the file cannot be written.
std::optional<std::string> SaveLinkSettings(const std::string& iniPath, const LinkSettingsTexts& texts);

struct LinkParameters {
    std::string port;
    std::uint32_t baud = 0;
    std::uint32_t timeoutMs = 0;
    std::int32_t address = 0;
};

struct LinkCheck {
    enum class Outcome {
        Accepted,        // `parameters` holds the converted settings
        Refused,         // `message` is the first failed check's message
        ConversionError, // the speed does not convert; `message` is the conversion report
    };
    Outcome outcome = Outcome::Refused;
    std::string message;
    LinkParameters parameters;
};

// The checks of "Открыть", in order: port, speed, timeout (20..500),
// address (1..255), then the conversion of the speed.
LinkCheck CheckLinkSettings(const LinkSettingsTexts& texts);
