#include "program_version.h"

const char* ToolVersion() { return VOK_VERSION; }

std::string VersionLine(const std::string& program)
{
    return program + " (VOK Tarnel V2) " + ToolVersion() + "\n";
}
