#pragma once
// The window's choice of the line's local echo, kept in an INI section of
// its own:
//
//     [Echo]
//     Mode=auto        (off, on or auto)
//
// A file without the section, or with a word it does not know, means auto.

#include "echo_mode.h"

#include <optional>
#include <string>

EchoMode LoadEchoMode(const std::string& iniPath);
// Writes the section; nothing is written while the choice is auto and the
// file has no such section. An error text when the file cannot be written.
std::optional<std::string> SaveEchoMode(const std::string& iniPath, EchoMode mode);
