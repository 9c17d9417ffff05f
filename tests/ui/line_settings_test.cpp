// The [Line] section: what a file says, what a bad value falls back to, and
// that saving writes nothing until an option leaves its default.
#include "line_settings.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(LineSettingsFile, ReadsTheSectionAndFallsBackKeyByKey)
{
    TempDir dir;
    const std::string ini = (dir.Path() / "vok.ini").string();
    const struct {
        const char* text;
        LineOptions expected;
    } cases[] = {
        {"", {}},
        {"[Line]\nRs485=1\nDelayBeforeMs=5\nDelayAfterMs=100\nDtr=on\nRts=off\n",
         {true, 5, 100, LineHold::On, LineHold::Off}},
        {"[line]\r\nrs485 = 1\r\nDTR=off\r\n", {true, 0, 0, LineHold::Off, LineHold::Keep}},
        // Bad values keep the default of their own key only.
        {"[Line]\nRs485=yes\nDelayBeforeMs=101\nDelayAfterMs=7\nDtr=high\nRts=on\n",
         {false, 0, 7, LineHold::Keep, LineHold::On}},
        {"[Line]\nRs485=1\nDelayBeforeMs=-1\nDelayAfterMs=x\nDtr=\nRts=keep\n", {true, 0, 0, LineHold::Keep, LineHold::Keep}},
        // Keys of another section are not the line's.
        {"[Link1]\nRs485=1\nDtr=on\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        WriteText(ini, c.text);
        EXPECT_EQ(LoadLineOptions(ini), c.expected);
    }
}

TEST(LineSettingsFile, SavesOnlyOnceAnOptionLeavesItsDefaultAndReadsBackWhatItSaved)
{
    TempDir dir;
    const std::string ini = (dir.Path() / "vok.ini").string();
    const std::string other = "[Link1]\nPort=/dev/ttyUSB0\n";
    WriteText(ini, other);
    ASSERT_FALSE(SaveLineOptions(ini, LineOptions{}));
    EXPECT_EQ(ReadText(ini), other);

    const LineOptions chosen{true, 3, 20, LineHold::Off, LineHold::On};
    ASSERT_FALSE(SaveLineOptions(ini, chosen));
    EXPECT_EQ(ReadText(ini), other + "[Line]\nRs485=1\nDelayBeforeMs=3\nDelayAfterMs=20\nDtr=off\nRts=on\n");
    EXPECT_EQ(LoadLineOptions(ini), chosen);
    // Back to the defaults: the section exists now, so they are written.
    ASSERT_FALSE(SaveLineOptions(ini, LineOptions{}));
    EXPECT_EQ(LoadLineOptions(ini), LineOptions{});
    EXPECT_NE(ReadText(ini).find("Rs485=0\n"), std::string::npos);
}
