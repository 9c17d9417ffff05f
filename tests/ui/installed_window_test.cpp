// The window as an installed program meets it: a folder of its own that it
// may not write, and serial ports that the user may not open.

#include "link_messages.h"
#include "link_value_list.h"
#include "settings_place.h"
#include "tarnel_forms.h"
#include "temp_dir.h"
#include "unprivileged.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(InstalledWindow, ReadOnlyFolderKeepsTheSettingsInTheUsersConfiguration)
{
    TempDir dir;
    const fs::path bin = dir.Path() / "bin";
    fs::create_directories(bin);
    fs::permissions(bin, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.File("config").c_str());
    UnprivilegedFileAccess asUser;

    const std::string ini = LinkSettingsPath((bin / "vok-tarnel").string());
    ASSERT_EQ(ini, dir.File("config/vok-tarnel/vok-tarnel.ini"));
    const LinkSettingsTexts chosen{"ttyUSB0", "19200", "300", "7"};
    {
        TarnelForms forms(ini, {{"ttyS0"}});
        forms.MainForm->show();
        ASSERT_EQ(forms.MainForm->GetLinkSettingsTexts(), LinkSettingsTexts{});
        forms.MainForm->SetLinkSettingsTexts(chosen);
        forms.MainForm->close();
        ASSERT_FALSE(forms.MainForm->isVisible());
    }
    EXPECT_EQ(ReadText(ini), "[Link1]\nPort=ttyUSB0\nSpeed=19200\nTimeout=300\nAddress=7\n");
    EXPECT_TRUE(fs::is_empty(bin));

    TarnelForms again(ini, {{"ttyS0"}});
    EXPECT_EQ(again.MainForm->GetLinkSettingsTexts(), chosen);
}

TEST(InstalledWindow, APortTheUserMayNotOpenIsShownAsSuch)
{
    TempDir dir;
    const std::string allowed = dir.File("allowed"), denied = dir.File("denied");
    WriteText(allowed, "");
    WriteText(denied, "");
    fs::permissions(allowed, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(denied, fs::perms::none);
    UnprivilegedFileAccess asUser;

    TLinkValueList list;
    list.SetPortChoices({{allowed}, {denied}});
    QComboBox* box = list.PortBox();
    const int a = box->findText(QString::fromStdString(allowed));
    const int d = box->findText(QString::fromStdString(denied));
    ASSERT_GE(a, 0);
    ASSERT_GE(d, 0);
    EXPECT_FALSE(box->itemData(a, Qt::ToolTipRole).isValid());
    EXPECT_FALSE(box->itemData(a, Qt::ForegroundRole).isValid());
    EXPECT_EQ(box->itemData(d, Qt::ToolTipRole).toString().toStdString(), PortAccessMessage(denied));
    EXPECT_TRUE(box->itemData(d, Qt::ForegroundRole).isValid());
    // Still choosable: the permission may have come meanwhile.
    box->setCurrentIndex(d);
    EXPECT_EQ(list.Texts().port, denied);
}

// A USB adapter is listed under its stable name with its device as the tip,
// so that the INI file keeps a name that finds it again after a replug;
// other ports keep their names and what the system says of them.
TEST(InstalledWindow, AUsbAdapterIsListedByItsStableName)
{
    TempDir dir;
    const std::string device = dir.File("ttyUSB3");
    WriteText(device, "");
    fs::create_directories(dir.File("by-id"));
    const std::string stable = dir.File("by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    fs::create_symlink(device, stable);

    std::vector<PortListEntry> ports(3);
    ports[0].name = "ttyS0";
    ports[0].device = "/dev/ttyS0";
    ports[1].name = "ttyUSB3";
    ports[1].device = device;
    ports[1].tip = ports[1].stableName = stable;
    ports[2].name = "COM7";
    ports[2].device = "\\\\.\\COM7";
    ports[2].tip = "USB Serial Port (COM7)";
    const std::vector<PortChoice> choices = TLinkValueList::ChoicesOf(ports);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"ttyS0", ""}, {stable, device}, {"COM7", "USB Serial Port (COM7)"}};
    ASSERT_EQ(choices.size(), expected.size());
    for (std::size_t i = 0; i < choices.size(); ++i) {
        EXPECT_EQ(choices[i].name, expected[i].first);
        EXPECT_EQ(choices[i].tip, expected[i].second);
    }

    TLinkValueList list;
    list.SetPortChoices(choices);
    QComboBox* box = list.PortBox();
    EXPECT_LT(box->findText(QString::fromStdString(device)), 0) << "the device is not listed apart";
    const int index = box->findText(QString::fromStdString(stable));
    ASSERT_GE(index, 0);
    EXPECT_EQ(box->itemData(index, Qt::ToolTipRole).toString().toStdString(), device);
    EXPECT_FALSE(box->itemData(box->findText("ttyS0"), Qt::ToolTipRole).isValid());
    box->setCurrentIndex(index);
    EXPECT_EQ(list.Texts().port, stable);
}
