#include "framing_settings.h"

#include "ini_file.h"

namespace {
constexpr const char* kSection = "Framing";
constexpr const char* kKey = "Fast";
constexpr const char* kUnset = "";
} // namespace

bool LoadFastFraming(const std::string& iniPath)
{
    return IniFile::Load(iniPath).Read(kSection, kKey, "0") == "1";
}

std::optional<std::string> SaveFastFraming(const std::string& iniPath, bool on)
{
    IniFile file = IniFile::Load(iniPath);
    if (!on && file.Read(kSection, kKey, kUnset) == kUnset)
        return std::nullopt;
    file.Write(kSection, kKey, on ? "1" : "0");
    return file.Save(iniPath);
}
