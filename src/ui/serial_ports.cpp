#include "serial_ports.h"

#include "serial_port.h"

#include <QSerialPortInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

std::vector<std::string> ListSerialPorts()
{
    std::vector<std::string> names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const std::string name = info.portName().toStdString();
        if (!name.empty())
            names.push_back(name);
    }
    return names;
}

bool PortAccessDenied(const std::string& portName)
{
    const std::string path = SerialPort::DevicePath(portName);
    if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0)
        return false;
    return errno == EACCES || errno == EPERM;
}
