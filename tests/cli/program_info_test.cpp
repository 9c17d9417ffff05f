// --version and --help of the three programs, run as programs: the version
// is the project's, and the window answers both without a display.

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>

namespace {

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

ProgramRun RunProgram(const TempDir& dir, const std::string& command)
{
    const std::string out = dir.File("out"), err = dir.File("err");
    const int rc = std::system((command + " >" + out + " 2>" + err + " </dev/null").c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadText(out), ReadText(err)};
}

} // namespace

TEST(ProgramInfo, EveryProgramAnswersVersionAndHelp)
{
    const std::pair<const char*, const char*> programs[] = {
        {"vok-tarnel", VOK_TARNEL_PATH},
        {"vokctl", VOKCTL_PATH},
        {"vok-meter-sim", VOK_METER_SIM_PATH},
    };
    TempDir dir;
    for (const auto& [name, path] : programs) {
        // No display and no platform plugin chosen: the window must not need one.
        const std::string run = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") + path;
        const ProgramRun version = RunProgram(dir, run + " --version");
        EXPECT_EQ(version.status, 0) << name;
        EXPECT_EQ(version.out, std::string(name) + " (VOK Tarnel V2) " + PROJECT_VERSION + "\n");
        EXPECT_EQ(version.err, "") << name;

        const ProgramRun help = RunProgram(dir, run + " --help");
        EXPECT_EQ(help.status, 0) << name;
        EXPECT_NE(help.out.find(name), std::string::npos) << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
        EXPECT_EQ(help.err, "") << name;
    }
}
