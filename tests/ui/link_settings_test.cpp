#include "ini_file.h"
#include "link_settings.h"
#include "settings_place.h"
#include "temp_dir.h"
#include "unprivileged.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

TEST(IniPath, ReplacesTheExtensionOfTheExecutable)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/opt/vok/vok-tarnel", "/opt/vok/vok-tarnel.ini"},
        {"/opt/vok/vok-tarnel.exe", "/opt/vok/vok-tarnel.ini"},
        {"/opt/v1.2/vok-tarnel", "/opt/v1.2/vok-tarnel.ini"},
        {"/opt/vok/.hidden", "/opt/vok/.hidden.ini"},
        {"vok.bin", "vok.ini"},
    };
    for (const auto& [exe, ini] : cases)
        EXPECT_EQ(IniPathFor(exe), ini) << exe;
}

TEST(LinkSettingsFile, DefaultsWithoutAFile)
{
    TempDir dir;
    const LinkSettingsTexts texts = LoadLinkSettings(dir.File("missing.ini"));
    EXPECT_EQ(texts.port, "COM1");
    EXPECT_EQ(texts.speed, "115200");
    EXPECT_EQ(texts.timeout, "200");
    EXPECT_EQ(texts.address, "1");
}

TEST(LinkSettingsFile, ValuesAreReadUnchangedAndMissingKeysDefault)
{
    TempDir dir;
    const std::string ini = dir.File("a.ini");
    WriteText(ini, "; settings\r\n[Other]\r\nPort=COM9\r\n[link1]\r\n port = /dev/pts/7 \r\nSPEED=4800\r\n"
                   "Timeout=\"abc\"\r\n");
    const LinkSettingsTexts texts = LoadLinkSettings(ini);
    EXPECT_EQ(texts.port, "/dev/pts/7");
    EXPECT_EQ(texts.speed, "4800");
    EXPECT_EQ(texts.timeout, "abc");
    EXPECT_EQ(texts.address, "1");
}

TEST(LinkSettingsFile, WritesTheFourKeysInOrderIntoANewFile)
{
    TempDir dir;
    const std::string ini = dir.File("new.ini");
    const LinkSettingsTexts texts{"", "abc", "19", "0"};
    ASSERT_FALSE(SaveLinkSettings(ini, texts));
    EXPECT_EQ(ReadText(ini), "[Link1]\nPort=\nSpeed=abc\nTimeout=19\nAddress=0\n");
    EXPECT_EQ(LoadLinkSettings(ini), texts);
}

TEST(LinkSettingsFile, KeepsOtherSectionsKeysCommentsAndLineEnds)
{
    TempDir dir;
    const std::string ini = dir.File("keep.ini");
    WriteText(ini, "; top comment\r\n[Window]\r\nLeft=10\r\n\r\n[Link1]\r\nExtra=x\r\nSpeed=9600\r\n"
                   "# note\r\n\r\n[Tail]\r\nPort=keep\r\n");
    ASSERT_FALSE(SaveLinkSettings(ini, {"/dev/ttyUSB0", "19200", "300", "7"}));
    EXPECT_EQ(ReadText(ini), "; top comment\r\n[Window]\r\nLeft=10\r\n\r\n[Link1]\r\nExtra=x\r\nSpeed=19200\r\n"
                             "# note\r\nPort=/dev/ttyUSB0\r\nTimeout=300\r\nAddress=7\r\n\r\n[Tail]\r\nPort=keep\r\n");
}

TEST(LinkSettingsFile, ReplacesKeysInPlaceAndAddsTheSectionAtTheEnd)
{
    TempDir dir;
    const std::string inPlace = dir.File("inplace.ini");
    WriteText(inPlace, "[Link1]\nAddress=3\nTimeout=50\nSpeed=1\nPort=A");
    ASSERT_FALSE(SaveLinkSettings(inPlace, {"B", "2", "60", "4"}));
    EXPECT_EQ(ReadText(inPlace), "[Link1]\nAddress=4\nTimeout=60\nSpeed=2\nPort=B");

    const std::string appended = dir.File("appended.ini");
    WriteText(appended, "[Other]\nk=v\n");
    ASSERT_FALSE(SaveLinkSettings(appended, {"P", "S", "T", "A"}));
    EXPECT_EQ(ReadText(appended), "[Other]\nk=v\n[Link1]\nPort=P\nSpeed=S\nTimeout=T\nAddress=A\n");
}

TEST(LinkSettingsFile, WriteFailureReturnsTheMessage)
{
    TempDir dir;
    const std::string notAFolder = dir.File("plain");
    WriteText(notAFolder, "x");
    const std::string cases[] = {notAFolder + "/vok-tarnel.ini", dir.File("")};
    for (const std::string& path : cases) {
        const auto error = SaveLinkSettings(path, {});
        ASSERT_TRUE(error) << path;
        EXPECT_EQ(error->rfind("Не удалось записать файл настроек " + path + ": ", 0), 0u) << *error;
        EXPECT_GT(error->size(), ("Не удалось записать файл настроек " + path + ": ").size());
    }
}

TEST(LinkSettingsFile, AFifoInPlaceOfTheFileBlocksNeitherReadingNorWriting)
{
    TempDir dir;
    const std::string ini = dir.File("fifo.ini");
    ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
    // Each waits 20 s at most; then the other end is opened, so that the
    // test can end.
    auto load = std::async(std::launch::async, [&] { return LoadLinkSettings(ini); });
    const bool loaded = load.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!loaded)
        ::close(::open(ini.c_str(), O_WRONLY | O_NONBLOCK));
    ASSERT_TRUE(loaded) << "reading waited for a writer";
    auto save = std::async(std::launch::async, [&] { return SaveLinkSettings(ini, LinkSettingsTexts{}); });
    const bool saved = save.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!saved) {
        const int reader = ::open(ini.c_str(), O_RDONLY | O_NONBLOCK);
        save.wait();
        ::close(reader);
    }
    ASSERT_TRUE(saved) << "writing waited for a reader";
    EXPECT_EQ(load.get(), LinkSettingsTexts{});
    const auto error = save.get();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->rfind("Не удалось записать файл настроек " + ini + ": ", 0), 0u) << *error;
}

TEST(IniFile, ReadsTheFirstOccurrenceAndStripsQuotes)
{
    TempDir dir;
    const std::string ini = dir.File("q.ini");
    WriteText(ini, "[S]\nk='one'\nk=two\n[s]\nk=three\n;k=four\n");
    const IniFile file = IniFile::Load(ini);
    EXPECT_EQ(file.Read("S", "k", "d"), "one");
    EXPECT_EQ(file.Read("S", "K", "d"), "one");
    EXPECT_EQ(file.Read("S", "missing", "d"), "d");
    EXPECT_EQ(file.Read("T", "k", "d"), "d");
}

namespace {

struct CheckCase {
    LinkSettingsTexts texts;
    const char* message; // nullptr: accepted
};

const char* const kPort = "Неверное значение имени порта";
const char* const kSpeed = "Неверное значение скорости порта";
const char* const kTimeout = "Неверное значение таймаута (от 20 до 500 миллисекунд)";
const char* const kAddress = "Неверное значение адреса (от 1 до 255)";

} // namespace

TEST(LinkSettingsChecks, ReportTheFirstFailureInOrder)
{
    const CheckCase cases[] = {
        {{"", "", "x", "x"}, kPort},
        {{"COM1", "", "x", "x"}, kSpeed},
        {{" ", "abc", "19", "0"}, kTimeout},
        {{"COM1", "9600", "501", "1"}, kTimeout},
        {{"COM1", "9600", "", "1"}, kTimeout},
        {{"COM1", "9600", "2.5", "1"}, kTimeout},
        {{"COM1", "9600", "20", "0"}, kAddress},
        {{"COM1", "9600", "500", "256"}, kAddress},
        {{"COM1", "9600", "200", "abc"}, kAddress},
        {{"COM1", "9600", "200", "-1"}, kAddress},
        {{"COM1", "9600", "20", "1"}, nullptr},
        {{"COM1", "9600", "500", "255"}, nullptr},
        {{" ", "4800", "0x14", "$FF"}, nullptr},
    };
    for (const CheckCase& c : cases) {
        const LinkCheck check = CheckLinkSettings(c.texts);
        const std::string label = c.texts.port + "|" + c.texts.speed + "|" + c.texts.timeout + "|" + c.texts.address;
        if (c.message) {
            EXPECT_EQ(check.outcome, LinkCheck::Outcome::Refused) << label;
            EXPECT_EQ(check.message, c.message) << label;
        } else {
            EXPECT_EQ(check.outcome, LinkCheck::Outcome::Accepted) << label << ": " << check.message;
        }
    }
}

TEST(LinkSettingsChecks, AcceptedSettingsAreConverted)
{
    const LinkCheck check = CheckLinkSettings({" ", "4800", "0x14", "$FF"});
    ASSERT_EQ(check.outcome, LinkCheck::Outcome::Accepted);
    EXPECT_EQ(check.parameters.port, " ");
    EXPECT_EQ(check.parameters.baud, 4800u);
    EXPECT_EQ(check.parameters.timeoutMs, 20u);
    EXPECT_EQ(check.parameters.address, 255);
}

TEST(LinkSettingsChecks, SpeedThatDoesNotConvertIsAConversionErrorAfterTheOtherChecks)
{
    LinkCheck check = CheckLinkSettings({"COM1", "abc", "200", "1"});
    EXPECT_EQ(check.outcome, LinkCheck::Outcome::ConversionError);
    EXPECT_EQ(check.message, "'abc' is not a valid integer value");

    check = CheckLinkSettings({"COM1", "96 00", "200", "1"});
    EXPECT_EQ(check.outcome, LinkCheck::Outcome::ConversionError);
    EXPECT_EQ(check.message, "'96 00' is not a valid integer value");

    // A bad address is reported before the speed's conversion.
    check = CheckLinkSettings({"COM1", "abc", "200", "0"});
    EXPECT_EQ(check.outcome, LinkCheck::Outcome::Refused);
    EXPECT_EQ(check.message, kAddress);
}

TEST(SettingsPlace, SavingMakesTheFolderForTheUserOnly)
{
    TempDir dir;
    const std::string ini = dir.File("config/vok-tarnel/vok-tarnel.ini");
    ASSERT_FALSE(SaveLinkSettings(ini, {"ttyUSB0", "9600", "100", "2"}));
    EXPECT_EQ(LoadLinkSettings(ini), (LinkSettingsTexts{"ttyUSB0", "9600", "100", "2"}));
    const auto perms = std::filesystem::status(dir.File("config/vok-tarnel")).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms::owner_all);
}
