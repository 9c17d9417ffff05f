#include "link_messages.h"

#include "file_access.h"

namespace {

std::string Reason(const PortOpenFailure& failure, const std::string& port, std::uint32_t baud)
{
    switch (failure.error) {
    case PortOpenError::None:
    case PortOpenError::Failed:
        break;
    case PortOpenError::AlreadyOpen:
        return "Порт уже открыт";
    case PortOpenError::NoSuchPort:
        return "Порт " + port + " не найден";
    case PortOpenError::PermissionDenied:
        return PortAccessMessage(port);
    case PortOpenError::Busy:
        return "Порт " + port + " занят другой программой";
    case PortOpenError::NotSerialPort:
        return port + " не является последовательным портом";
    case PortOpenError::SpeedRefused:
        return "Порт " + port + " не поддерживает скорость " + std::to_string(baud);
    case PortOpenError::BadTcpAddress:
        return "Неверный адрес " + port + ": нужен вид tcp://УЗЕЛ:ПОРТ";
    case PortOpenError::NameNotResolved:
        return "Не найден адрес узла в " + port;
    case PortOpenError::ConnectionRefused:
        return "Подключение к " + port + " отвергнуто: там никто не принимает подключений";
    case PortOpenError::Unreachable:
        return "Узел " + port + " недоступен: нет маршрута";
    case PortOpenError::ConnectTimedOut:
        return "Нет ответа на подключение к " + port + ": время ожидания истекло";
    case PortOpenError::Rs485Refused:
        return "Порт " + port + " не поддерживает режим RS-485: " + SystemErrorText(failure.systemError);
    case PortOpenError::LinesRefused:
        return "Порт " + port + " не даёт управлять линиями DTR и RTS: " + SystemErrorText(failure.systemError);
    }
    if (failure.systemError != 0)
        return "Системная ошибка: " + SystemErrorText(failure.systemError);
    return "Неизвестная ошибка";
}

} // namespace

std::string OpenFailureMessage(const PortOpenFailure& failure, const std::string& portName, std::uint32_t baud)
{
    return "Не удалось открыть порт\n" + Reason(failure, portName, baud);
}

std::string PortAccessMessage(const std::string& portName)
{
    return "Нет доступа к порту " + portName +
           ": добавьте пользователя в группу dialout (sudo usermod -aG dialout $USER) "
           "и войдите в систему заново";
}

std::string PortLostMessage(const std::string& portName)
{
    return "Порт " + portName + " потерян (устройство отключено). Связь закрыта.";
}

std::string PortLostReportLine(const std::string& portName)
{
    return "Порт " + portName + " потерян; остальные строки не выполнены.";
}

std::string NoAnswerRetryText(int attempt, int attempts)
{
    return "Нет ответа, повтор " + std::to_string(attempt) + " из " + std::to_string(attempts);
}
