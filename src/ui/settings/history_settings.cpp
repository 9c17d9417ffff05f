#include "history_settings.h"

#include "ini_file.h"

namespace {
constexpr const char* kHistorySection = "History";
constexpr const char* kAsFoundKey = "AsFound";
constexpr const char* kReportSection = "Report";
constexpr const char* kEngineerKey = "Engineer";
constexpr const char* kPlaceKey = "Place";
} // namespace

bool LoadAsFoundSnapshots(const std::string& iniPath)
{
    return IniFile::Load(iniPath).Read(kHistorySection, kAsFoundKey, "1") != "0";
}

std::optional<std::string> SaveAsFoundSnapshots(const std::string& iniPath, bool on)
{
    IniFile file = IniFile::Load(iniPath);
    if (on && file.Read(kHistorySection, kAsFoundKey, "") == "")
        return std::nullopt;
    file.Write(kHistorySection, kAsFoundKey, on ? "1" : "0");
    return file.Save(iniPath);
}

ReportPeopleSettings LoadReportPeople(const std::string& iniPath)
{
    const IniFile file = IniFile::Load(iniPath);
    return {file.Read(kReportSection, kEngineerKey, ""), file.Read(kReportSection, kPlaceKey, "")};
}

std::optional<std::string> SaveReportPeople(const std::string& iniPath, const ReportPeopleSettings& people)
{
    IniFile file = IniFile::Load(iniPath);
    file.Write(kReportSection, kEngineerKey, people.engineer);
    file.Write(kReportSection, kPlaceKey, people.place);
    return file.Save(iniPath);
}
