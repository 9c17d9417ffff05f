// The Win32 side of the platform room under Wine: file replacement, where
// the settings live, the registry port list, the ANSI code page and the
// program's arguments.

#include "console.h"
#include "file_access.h"
#include "port_list.h"
#include "settings_place.h"
#include "text_code.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#undef ReplaceFile

namespace fs = std::filesystem;

namespace {

class TempFolder {
public:
    TempFolder()
    {
        path_ = fs::temp_directory_path() /
                ("vok-win-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(next_++));
        fs::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    static inline int next_ = 0;
    fs::path path_;
};

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? fs::path(std::wstring(value, n)).string() : std::string();
}

} // namespace

// Each case: what stands at the target's name before, the outcome, and the
// names in the folder after. A failed replacement leaves the old file and
// no temporary file behind.
TEST(Win32FileReplace, ReplacesWholeOrLeavesAsItWas)
{
    enum class Before { Nothing, File, Folder };
    struct Case {
        const char* what;
        Before before;
        bool succeeds;
    };
    const Case cases[] = {
        {"a new file", Before::Nothing, true},
        {"an old file", Before::File, true},
        {"a folder of that name", Before::Folder, false},
    };
    const std::string contents("line one\r\n\x11\x13\0 binary\xFF", 20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const std::string target = folder.File("target.txt");
        if (c.before == Before::File)
            std::ofstream(target, std::ios::binary) << "old contents that are longer than the new";
        if (c.before == Before::Folder)
            fs::create_directory(target);
        const int code = ReplaceFile(target, contents);
        EXPECT_EQ(code == 0, c.succeeds) << SystemErrorText(code);
        EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"target.txt"});
        if (c.succeeds)
            EXPECT_EQ(Contents(target), contents);
        else
            EXPECT_TRUE(fs::is_directory(target));
    }
}

TEST(Win32FileReplace, MissingFolderFailsWithTheSystemsReason)
{
    TempFolder folder;
    const int code = ReplaceFile(folder.File("no such folder\\target.txt"), "x");
    EXPECT_EQ(code, ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(SystemErrorText(code).empty());
    EXPECT_TRUE(Names(folder.Path()).empty());
}

TEST(Win32FileRead, FolderAndMissingFileAreTold)
{
    TempFolder folder;
    InputFile missing;
    EXPECT_EQ(missing.Open(folder.File("missing.txt")), ERROR_FILE_NOT_FOUND);
    InputFile aFolder;
    EXPECT_NE(aFolder.Open(folder.Path().string()), 0);
    const std::string name = folder.Path().string() + "\\Ваш файл.txt"; // UTF-8 names reach the system whole
    {
        OutputFile out;
        ASSERT_EQ(out.Open(name, OutputFile::Create::OnlyNew), 0);
        ASSERT_EQ(out.Write("12345"), 0);
        ASSERT_EQ(out.Close(), 0);
        EXPECT_EQ(out.Open(name, OutputFile::Create::OnlyNew), ERROR_FILE_EXISTS);
    }
    const std::wstring wide = L"\\\u0412\u0430\u0448 \u0444\u0430\u0439\u043B.txt";
    EXPECT_TRUE(fs::exists(folder.Path().wstring() + wide)) << "the name as the system shows it";
    InputFile file;
    ASSERT_EQ(file.Open(name), 0);
    bool regular = false;
    std::uint64_t size = 0;
    ASSERT_EQ(file.Examine(regular, size), 0);
    EXPECT_TRUE(regular);
    EXPECT_EQ(size, 5u);
}

// Beside the executable while its folder takes a new file; else in the
// user's roaming application data.
TEST(Win32SettingsPlace, BesideTheProgramWhenWritableElseAppData)
{
    TempFolder folder;
    const std::string program = folder.File("vok-tarnel.exe");
    EXPECT_EQ(LinkSettingsPath(program), folder.File("vok-tarnel.ini"));
    EXPECT_TRUE(Names(folder.Path()).empty()) << "the probe stays behind";

    const std::string appData = Environment(L"APPDATA");
    ASSERT_FALSE(appData.empty());
    EXPECT_EQ(LinkSettingsPath(folder.File("no such folder\\vok-tarnel.exe")),
              appData + "\\VOK Tarnel\\vok-tarnel.ini");
    const std::string localAppData = Environment(L"LOCALAPPDATA");
    ASSERT_FALSE(localAppData.empty());
    EXPECT_EQ(UserDataFolder(), localAppData + "\\VOK Tarnel");
}

TEST(Win32SettingsPlace, MakeFoldersMakesEveryMissingPart)
{
    TempFolder folder;
    const std::string deep = folder.File("a\\b\\c");
    EXPECT_EQ(MakeFolders(deep), std::nullopt);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(MakeFolders(deep), std::nullopt) << "a folder that exists is fine";
    std::ofstream(folder.File("file")) << "x";
    EXPECT_NE(MakeFolders(folder.File("file\\d")), std::nullopt);
}

// The port list is the registry key's values in natural order, each with
// its device's friendly name as the tip where the device enumeration has
// one, else the driver's device. The test adds ports of its own (Wine's own
// list is not what a Windows machine has) and looks at where they come.
TEST(Win32PortList, RegistryPortsInNaturalOrderWithFriendlyNames)
{
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                                REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::vector<std::pair<std::wstring, std::wstring>> added = {
        {L"\\Device\\VokTest10", L"COM210"}, {L"\\Device\\VokTest2", L"COM202"}, {L"\\Device\\VokTest9", L"COM29"}};
    for (const auto& [device, port] : added)
        ::RegSetValueExW(key, device.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                         static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
    // A USB adapter's instance names its port in other letters; another
    // instance has a friendly name but no port.
    const std::wstring usbDevice = L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0403&PID_6001&VOKTEST";
    const auto setString = [](const std::wstring& path, const wchar_t* name, const std::wstring& value) {
        HKEY k = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                    KEY_SET_VALUE, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(k);
    };
    setString(usbDevice + L"\\A50285BI", L"FriendlyName", L"USB Serial Port (COM202)");
    setString(usbDevice + L"\\A50285BI\\Device Parameters", L"PortName", L"com202");
    setString(usbDevice + L"\\B0000000", L"FriendlyName", L"USB Serial Port (COM210)");
    const std::vector<PortListEntry> ports = ListSerialPorts();
    for (const auto& [device, port] : added)
        ::RegDeleteValueW(key, device.c_str());
    ::RegCloseKey(key);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, usbDevice.c_str());

    std::vector<std::pair<std::string, std::string>> ours;
    for (const PortListEntry& p : ports) {
        if (p.name == "COM29" || p.name == "COM202" || p.name == "COM210") {
            ours.emplace_back(p.name, p.tip);
            EXPECT_EQ(p.device, "\\\\.\\" + p.name);
        }
    }
    EXPECT_EQ(ours, (std::vector<std::pair<std::string, std::string>>{{"COM29", "\\Device\\VokTest9"},
                                                                      {"COM202", "USB Serial Port (COM202)"},
                                                                      {"COM210", "\\Device\\VokTest10"}}));
    for (std::size_t i = 1; i < ports.size(); ++i)
        EXPECT_FALSE(NaturalLess(ports[i].name, ports[i - 1].name)) << ports[i].name;
}

// An FTDI adapter's settings as its driver keeps them in the device
// enumeration, made for the test in volatile keys and removed after it.
TEST(Win32PortList, LatencyTimerOfAnFtdiAdapterByItsPortName)
{
    const std::wstring bus = L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
    const std::wstring device = bus + L"\\VID_0403+PID_6001+VOKTEST0A";
    const std::wstring parameters = device + L"\\0000\\Device Parameters";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, parameters.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring port = L"COM217";
    const DWORD timer = 16;
    ::RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                     static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
    ::RegSetValueExW(key, L"LatencyTimer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&timer), sizeof timer);
    ::RegCloseKey(key);

    const struct {
        const char* port;
        int ms; // -1: none
    } cases[] = {{"COM217", 16}, {"com217", 16}, {"\\\\.\\COM217", 16}, {"COM21", -1}, {"COM2170", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        const std::optional<AdapterLatency> latency = AdapterLatencyTimer(c.port);
        ASSERT_EQ(latency.has_value(), c.ms >= 0);
        if (latency) {
            EXPECT_EQ(latency->ms, c.ms);
            EXPECT_EQ(latency->lowerCommand, "");
        }
    }
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, device.c_str());
}

// Run with a Russian locale (LC_ALL=ru_RU.UTF-8 for Wine): files without a
// byte-order mark are in code page 1251 there.
TEST(Win32TextCode, AnsiCodePageBothWays)
{
    ASSERT_EQ(::GetACP(), 1251u) << "the test runs under a Russian locale";
    EXPECT_FALSE(SystemTextIsUtf8());
    struct Case {
        std::string system;
        std::string utf8;
    };
    const Case cases[] = {
        {"\xCE\xE1\xE2\xEE\xE4\xED\xE5\xED\xED\xEE\xF1\xF2\xFC, %", "Обводненность, %"},
        {"2021 float 2.75", "2021 float 2.75"},
        {"\xB8\xA8", "ёЁ"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SystemTextToUtf8(c.system), c.utf8);
        EXPECT_EQ(Utf8ToSystemText(c.utf8), c.system);
    }
    // (A letter with a look-alike, 'ä', would test the best-fit mapping,
    // which Wine applies whatever the flags say.)
    EXPECT_EQ(Utf8ToSystemText("€中"), "\x88?") << "what 1251 lacks becomes '?'";
}

// The test program is started with the arguments "Проверка" and "日本" (see
// CMakeLists.txt): the wide command line keeps both, where argv in the ANSI
// code page would lose what the page lacks (here both, in the page of an
// English system).
TEST(Win32ProgramArguments, ComeFromTheWideCommandLine)
{
    const std::vector<std::string> arguments = ProgramArguments(0, nullptr);
    ASSERT_GE(arguments.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(arguments.end() - 2, arguments.end()),
              (std::vector<std::string>{"Проверка", "日本"}));
}
