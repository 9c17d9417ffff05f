#include "echo_settings.h"

#include "ini_file.h"

namespace {
constexpr const char* kSection = "Echo";
constexpr const char* kKey = "Mode";
constexpr const char* kUnset = "";
} // namespace

EchoMode LoadEchoMode(const std::string& iniPath)
{
    return ParseEchoMode(IniFile::Load(iniPath).Read(kSection, kKey, "auto")).value_or(EchoMode::Auto);
}

std::optional<std::string> SaveEchoMode(const std::string& iniPath, EchoMode mode)
{
    IniFile file = IniFile::Load(iniPath);
    if (mode == EchoMode::Auto && file.Read(kSection, kKey, kUnset) == kUnset)
        return std::nullopt;
    file.Write(kSection, kKey, EchoModeWord(mode));
    return file.Save(iniPath);
}
