// The [Line] section: reading it leniently, writing it only once it matters.
#include "line_settings.h"

#include "ini_file.h"
#include "value_text.h"

#include <string>

namespace {

constexpr const char* kSection = "Line";
constexpr const char* kRs485 = "Rs485";
constexpr const char* kBefore = "DelayBeforeMs";
constexpr const char* kAfter = "DelayAfterMs";
constexpr const char* kDtr = "Dtr";
constexpr const char* kRts = "Rts";
constexpr const char* kUnset = "";

std::uint32_t Delay(const IniFile& file, const char* key)
{
    const auto ms = ParseInt32(file.Read(kSection, key, "0"));
    if (!ms || *ms < 0 || static_cast<std::uint32_t>(*ms) > kMaxRs485DelayMs)
        return 0;
    return static_cast<std::uint32_t>(*ms);
}

LineHold Hold(const IniFile& file, const char* key)
{
    return ParseLineHold(file.Read(kSection, key, "keep")).value_or(LineHold::Keep);
}

} // namespace

LineOptions LoadLineOptions(const std::string& iniPath)
{
    const IniFile file = IniFile::Load(iniPath);
    LineOptions line;
    line.rs485 = file.Read(kSection, kRs485, "0") == "1";
    line.delayBeforeMs = Delay(file, kBefore);
    line.delayAfterMs = Delay(file, kAfter);
    line.dtr = Hold(file, kDtr);
    line.rts = Hold(file, kRts);
    return line;
}

std::optional<std::string> SaveLineOptions(const std::string& iniPath, const LineOptions& line)
{
    IniFile file = IniFile::Load(iniPath);
    if (line == LineOptions{}) {
        bool anyKey = false;
        for (const char* key : {kRs485, kBefore, kAfter, kDtr, kRts})
            anyKey = anyKey || file.Read(kSection, key, kUnset) != kUnset;
        if (!anyKey)
            return std::nullopt;
    }
    file.Write(kSection, kRs485, line.rs485 ? "1" : "0");
    file.Write(kSection, kBefore, std::to_string(line.delayBeforeMs));
    file.Write(kSection, kAfter, std::to_string(line.delayAfterMs));
    file.Write(kSection, kDtr, LineHoldWord(line.dtr));
    file.Write(kSection, kRts, LineHoldWord(line.rts));
    return file.Save(iniPath);
}
