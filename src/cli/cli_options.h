#pragma once
// The command line of vokctl.

#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    std::optional<std::string> port, speed, timeout, address;
    std::string command;              // ports, poll, write, nvram, dump, load, check, log, verify, diff
    std::vector<std::string> arguments;
    int count = 1;                    // poll and log --count
    bool countGiven = false;
    bool force = false;               // dump and log --force
    double intervalSeconds = 1.0;     // log --interval
    std::optional<double> durationSeconds; // log --duration
    std::string separator = ",";      // log --separator: "," or ";"
};

struct CliParse {
    std::optional<CliOptions> options; // empty on a usage error
    std::string error;                 // why, when empty
    bool help = false;
    bool version = false;
};

CliParse ParseCommandLine(const std::vector<std::string>& arguments);

extern const char* const kCliUsage;
