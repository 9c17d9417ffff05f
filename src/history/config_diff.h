#pragma once
// The differences of two configurations in the meter's own terms: the
// section of the parameter file, the register number, the caption the
// register list gives it (or the file's own name), and old → new. The
// values are compared as the comparison of parameter files compares them,
// bit for bit.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ConfigChange {
    std::string section;  // "Set-1", "Phase: 0, Salt: 3", ... ("Общие" before the first heading)
    int registerNumber = 0;
    std::string typeWord; // "float", "ushort", "sshort"; both sides' where they differ
    std::string caption;  // the register list's caption, else the name the file gives the line
    std::string oldValue; // "нет" when that side does not assign the register
    std::string newValue;
};

struct ConfigDiff {
    bool valid = true;
    std::vector<std::string> messages; // why a side is not a valid parameter file
    std::vector<ConfigChange> changes; // in register order
};

// `oldBytes` and `newBytes` are parameter file texts as stored or read
// from a file (decoded as parameter files are).
ConfigDiff DiffConfigurations(std::string_view oldBytes, std::string_view newBytes);

// One tab-separated line: section, register number, caption, type word,
// "old → new" (the listing of `vokctl diff` between snapshots).
std::string ConfigChangeLine(const ConfigChange& change);
