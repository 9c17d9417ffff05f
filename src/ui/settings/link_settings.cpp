#include "link_settings.h"

#include "ini_file.h"
#include "settings_place.h"
#include "value_text.h"

namespace {
constexpr const char* kSection = "Link1";
} // namespace

LinkSettingsTexts LoadLinkSettings(const std::string& iniPath)
{
    const IniFile file = IniFile::Load(iniPath);
    const LinkSettingsTexts defaults;
    LinkSettingsTexts texts;
    texts.port = file.Read(kSection, "Port", defaults.port);
    texts.speed = file.Read(kSection, "Speed", defaults.speed);
    texts.timeout = file.Read(kSection, "Timeout", defaults.timeout);
    texts.address = file.Read(kSection, "Address", defaults.address);
    return texts;
}

std::optional<std::string> SaveLinkSettings(const std::string& iniPath, const LinkSettingsTexts& texts)
{
    if (auto error = MakeSettingsFolder(iniPath))
        return error;
    IniFile file = IniFile::Load(iniPath);
    file.Write(kSection, "Port", texts.port);
    file.Write(kSection, "Speed", texts.speed);
    file.Write(kSection, "Timeout", texts.timeout);
    file.Write(kSection, "Address", texts.address);
    return file.Save(iniPath);
}

LinkCheck CheckLinkSettings(const LinkSettingsTexts& texts)
{
    LinkCheck check;
    const auto refuse = [&check](const char* message) {
        check.outcome = LinkCheck::Outcome::Refused;
        check.message = message;
        return check;
    };
    if (texts.port.empty())
        return refuse("Неверное значение имени порта");
    if (texts.speed.empty())
        return refuse("Неверное значение скорости порта");
    const auto timeout = ParseInt32(texts.timeout);
    if (!timeout || *timeout < 20 || *timeout > 500)
        return refuse("Неверное значение таймаута (от 20 до 500 миллисекунд)");
    const auto address = ParseInt32(texts.address);
    if (!address || *address < 1 || *address > 255)
        return refuse("Неверное значение адреса (от 1 до 255)");
    const auto baud = ParseInt32(texts.speed);
    if (!baud) {
        check.outcome = LinkCheck::Outcome::ConversionError;
        check.message = "'" + texts.speed + "' is not a valid integer value";
        return check;
    }
    check.outcome = LinkCheck::Outcome::Accepted;
    check.parameters = {texts.port, static_cast<std::uint32_t>(*baud),
                        static_cast<std::uint32_t>(*timeout), *address};
    return check;
}
