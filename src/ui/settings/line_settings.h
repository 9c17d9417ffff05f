#pragma once
// The line's RS-485 mode and held lines, kept in an INI section of their
// own for the window and vokctl:
//
//     [Line]
//     Rs485=0            (1: RTS drives the transmitter while sending)
//     DelayBeforeMs=0    (0 to 100)
//     DelayAfterMs=0     (0 to 100)
//     Dtr=keep           (keep, on or off)
//     Rts=keep
//
// A missing key, or a value it does not know, keeps that option's default.

#include "line_options.h"

#include <optional>
#include <string>

LineOptions LoadLineOptions(const std::string& iniPath);
// Writes the section; nothing is written while every option is the default
// and the file has none of the section's keys. An error text when the file
// cannot be written.
std::optional<std::string> SaveLineOptions(const std::string& iniPath, const LineOptions& line);
