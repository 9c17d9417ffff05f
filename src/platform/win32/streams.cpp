#include "streams.h"

#include "serial_port.h"
#include "tcp_connection.h"

std::unique_ptr<ByteStream> MakeSerialStream() { return std::make_unique<SerialPort>(); }

std::unique_ptr<ByteStream> MakeTcpStream() { return std::make_unique<TcpConnection>(); }

std::string SerialDevicePath(const std::string& portName) { return SerialPort::DevicePath(portName); }
