#include "window_options.h"

#include "program_version.h"

#include <cstdio>
#include <string>

namespace {

const char* const kWindowHelp =
    "Usage: vok-tarnel [--help | --version]\n"
    "\n"
    "The window of the VOK Tarnel V2 service tool for the inline water-cut meter,\n"
    "a Modbus RTU slave on a serial line: open the link, watch the live register\n"
    "list, edit a writable register, commit the settings to NVRAM, save the meter's\n"
    "parameters to a file and load one back, plot the live values.\n"
    "\n"
    "The window reads no other argument. Its link settings are kept in\n"
    "vok-tarnel.ini beside the program when that folder is writable, otherwise in\n"
    "$XDG_CONFIG_HOME/vok-tarnel/vok-tarnel.ini (~/.config/vok-tarnel/vok-tarnel.ini).\n"
    "A serial port needs read and write access: membership of the group dialout.\n"
    "\n"
    "  -h, --help     show this text\n"
    "      --version  show the version\n"
    "\n"
    "See vok-tarnel(1), vokctl(1) and vok-meter-sim(1).\n";

} // namespace

std::optional<int> AnswerInfoOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kWindowHelp, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (argument == "--version") {
            std::fputs(VersionLine("vok-tarnel").c_str(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    return std::nullopt;
}
