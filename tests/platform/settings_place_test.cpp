// Where the tool keeps its files, by the rules of this system's side.

#include "settings_place.h"
#include "temp_dir.h"
#include "unprivileged.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(SettingsPlace, BesideAWritableFolderElseInTheUsersConfiguration)
{
    TempDir dir;
    const std::string own = dir.File("own"), locked = dir.File("locked");
    std::filesystem::create_directories(own);
    std::filesystem::create_directories(locked);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const std::string home = dir.File("home");
    ScopedEnv homeEnv("HOME", home.c_str());

    struct Case {
        std::string executable;
        const char* xdg; // XDG_CONFIG_HOME, nullptr: not set
        std::string expected;
    };
    const Case cases[] = {
        {own + "/vok-tarnel", "/cfg", own + "/vok-tarnel.ini"},
        {own + "/vok-tarnel.exe", "/cfg", own + "/vok-tarnel.ini"},
        {locked + "/vok-tarnel", "/cfg", "/cfg/vok-tarnel/vok-tarnel.ini"},
        {locked + "/vok-tarnel", nullptr, home + "/.config/vok-tarnel/vok-tarnel.ini"},
        {locked + "/vok-tarnel", "", home + "/.config/vok-tarnel/vok-tarnel.ini"},
        {locked + "/vok-tarnel", "relative/cfg", home + "/.config/vok-tarnel/vok-tarnel.ini"},
        // /usr stays read-only while programs run, also for root.
        {"/usr/bin/vok-tarnel", "/cfg", "/cfg/vok-tarnel/vok-tarnel.ini"},
        {"/usr/local/bin/vok-tarnel", "/cfg", "/cfg/vok-tarnel/vok-tarnel.ini"},
    };
    UnprivilegedFileAccess asUser;
    for (const Case& c : cases) {
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        EXPECT_EQ(LinkSettingsPath(c.executable), c.expected) << c.executable << " " << (c.xdg ? c.xdg : "-");
    }
}

TEST(SettingsPlace, UserDataFolderFollowsXdgDataHome)
{
    ScopedEnv home("HOME", "/home/engineer");
    struct Case {
        const char* xdg; // XDG_DATA_HOME, nullptr: not set
        const char* expected;
    };
    const Case cases[] = {
        {"/data", "/data/vok-tarnel"},
        {nullptr, "/home/engineer/.local/share/vok-tarnel"},
        {"", "/home/engineer/.local/share/vok-tarnel"},
        {"relative", "/home/engineer/.local/share/vok-tarnel"},
    };
    for (const Case& c : cases) {
        ScopedEnv xdg("XDG_DATA_HOME", c.xdg);
        EXPECT_EQ(UserDataFolder(), c.expected) << (c.xdg ? c.xdg : "-");
    }
}

TEST(SettingsPlace, MakeFoldersMakesEveryMissingFolderOrSaysWhy)
{
    TempDir dir;
    const std::string nested = dir.File("a/b/c");
    EXPECT_EQ(MakeFolders(nested), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    EXPECT_EQ(MakeFolders(nested), std::nullopt); // there already

    WriteText(dir.File("file"), "x");
    const auto blocked = MakeFolders(dir.File("file/d"));
    ASSERT_TRUE(blocked.has_value());
    EXPECT_FALSE(blocked->empty());
    EXPECT_FALSE(std::filesystem::exists(dir.File("file/d")));
    EXPECT_EQ(ExecutablePath().substr(ExecutablePath().rfind('/') + 1), "platform_posix_tests");
}
