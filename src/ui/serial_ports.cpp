#include "serial_ports.h"

#include <QSerialPortInfo>

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
