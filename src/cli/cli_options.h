#pragma once
// The command line of vokctl.

#include "echo_mode.h"
#include "line_options.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The line options given on the command line; each one given replaces the
// one of the [Line] section.
struct LineFlags {
    std::optional<bool> rs485;                        // --rs485[=BEFORE,AFTER], --rs485=off
    std::optional<std::uint32_t> delayBeforeMs, delayAfterMs; // --rs485=BEFORE,AFTER
    std::optional<LineHold> dtr, rts;                 // --dtr, --rts

    LineOptions Over(LineOptions saved) const;
};

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
    LineFlags line;                   // --rs485, --dtr, --rts
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
