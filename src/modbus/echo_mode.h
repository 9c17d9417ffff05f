#pragma once
// Local echo: many 2-wire RS-485 adapters hand the master its own request
// back before the meter's answer. Off: the line never echoes. On: the bytes
// equal to the request that come back first are its echo. Auto: the first
// exchange of an open period tells (a read request's echo cannot be an
// answer), and that holds until the link closes.

#include <optional>
#include <string_view>

enum class EchoMode { Off, On, Auto };

// "off", "on", "auto": the words of `vokctl --echo` and of the INI file.
std::optional<EchoMode> ParseEchoMode(std::string_view word);
const char* EchoModeWord(EchoMode mode);
