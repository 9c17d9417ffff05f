#pragma once
// The link's own messages about its port, shared by the window and vokctl.

#include "port_open_error.h"

#include <cstdint>
#include <string>

// "Не удалось открыть порт", then on a second line why.
std::string OpenFailureMessage(const PortOpenFailure& failure, const std::string& portName, std::uint32_t baud);

// No permission for the port, with the hint about the group dialout.
std::string PortAccessMessage(const std::string& portName);

// The port vanished while the link was open; the link is closed.
std::string PortLostMessage(const std::string& portName);

// The line of the script report after the write that found the port gone.
std::string PortLostReportLine(const std::string& portName);

// The end of an NVRAM commit: the meter cleared its command register, or
// still showed the command after the last read-back.
inline constexpr const char* kNvramConfirmedText = "Изменения сохранены в NVRAM";
inline constexpr const char* kNvramUnconfirmedText = "Сохранение в NVRAM не подтверждено влагомером";

// A poll whose request went unanswered is being repeated: `attempt` of
// `attempts` ("Нет ответа, повтор 2 из 102").
std::string NoAnswerRetryText(int attempt, int attempts);
