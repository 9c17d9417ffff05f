#pragma once
// The byte streams this system offers under the RTU channel: a local serial
// port, and a TCP connection to a serial device server. Each side of the
// platform room makes them its own way; the channel sees only ByteStream.

#include "byte_stream.h"

#include <memory>
#include <string>

// A serial port, opened by a port name as the port list shows it.
std::unique_ptr<ByteStream> MakeSerialStream();
// A TCP connection, opened by a tcp://HOST:PORT name.
std::unique_ptr<ByteStream> MakeTcpStream();

// The device a serial port name stands for: on Linux "ttyUSB0" is
// /dev/ttyUSB0, an absolute path stays as it is, "COMn" is /dev/ttyS(n-1);
// on Windows "COMn" is \\.\COMn.
std::string SerialDevicePath(const std::string& portName);
