#pragma once
// The window's choice of fast framing, kept in an INI section of its own:
//
//     [Framing]
//     Fast=1
//
// Off when the key is missing or not 1.

#include <optional>
#include <string>

bool LoadFastFraming(const std::string& iniPath);

// Writes the key when it is on, or when the file has it already, so that
// the file of a user who never chose it stays as it was. Returns the INI
// layer's message when the file cannot be written.
std::optional<std::string> SaveFastFraming(const std::string& iniPath, bool on);
