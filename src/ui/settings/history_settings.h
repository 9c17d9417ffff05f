#pragma once
// The window's history settings, each in an INI section of its own:
//
//     [History]
//     AsFound=0        ; no snapshot by itself at the first poll (on when missing)
//
//     [Report]
//     Engineer=Иванов И. И.
//     Place=Куст 12, скв. 345
//
// vokctl reads the same file for the report's engineer and place.

#include <optional>
#include <string>

bool LoadAsFoundSnapshots(const std::string& iniPath);
// Writes the key only when it is off or already there, so that the file of
// a user who never chose stays as it was. The INI layer's message on failure.
std::optional<std::string> SaveAsFoundSnapshots(const std::string& iniPath, bool on);

struct ReportPeopleSettings {
    std::string engineer;
    std::string place;
};
ReportPeopleSettings LoadReportPeople(const std::string& iniPath);
std::optional<std::string> SaveReportPeople(const std::string& iniPath, const ReportPeopleSettings& people);
