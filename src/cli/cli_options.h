#pragma once
// The command line of vokctl.

#include "echo_mode.h"

#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    std::optional<std::string> port, speed, timeout, address;
    std::string command;              // ports, poll, ..., scan, history, snapshot, show, report, restore
    std::vector<std::string> arguments;
    int count = 1;                    // poll, stats and log --count
    bool countGiven = false;
    bool force = false;               // dump and log --force
    double intervalSeconds = 1.0;     // log --interval
    std::optional<double> durationSeconds; // log --duration
    bool reconnect = false;           // log and stats --reconnect: wait for a lost port
    std::optional<double> giveUpSeconds; // --give-up-after: how long to wait for it
    std::string separator;            // log --separator: "," or ";"; empty: from the locale
    bool trace = false;               // --trace: the link's traffic on stderr
    bool stats = false;               // --stats: the link's counters on stderr at the end
    std::optional<std::string> speeds, addresses; // scan --speeds, --addresses
    bool all = false;                 // scan --all
    bool fastFraming = false;         // --fast-framing
    EchoMode echo = EchoMode::Auto;   // --echo
    std::optional<std::string> note;  // snapshot --note
    bool yes = false;                 // restore --yes
    std::optional<std::string> output; // report -o
    std::optional<std::string> engineer, place; // report --engineer, --place
};

struct CliParse {
    std::optional<CliOptions> options; // empty on a usage error
    std::string error;                 // why, when empty
    bool help = false;
    bool version = false;
};

CliParse ParseCommandLine(const std::vector<std::string>& arguments);

extern const char* const kCliUsage;
