#pragma once
// The tool's version, set once in CMake's project(), and the line every
// program prints for --version.

#include <string>

// "2.0"
const char* ToolVersion();

// "vokctl (VOK Tarnel V2) 2.0" and a line end.
std::string VersionLine(const std::string& program);
