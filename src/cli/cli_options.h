#pragma once
// The command line of vokctl.

#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    std::optional<std::string> port, speed, timeout, address;
    std::string command;              // ports, poll, write, nvram, dump, load, check
    std::vector<std::string> arguments;
    int count = 1;                    // poll --count
    bool force = false;               // dump --force
};

struct CliParse {
    std::optional<CliOptions> options; // empty on a usage error
    std::string error;                 // why, when empty
    bool help = false;
};

CliParse ParseCommandLine(const std::vector<std::string>& arguments);

extern const char* const kCliUsage;
