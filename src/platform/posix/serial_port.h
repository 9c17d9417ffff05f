#pragma once
// POSIX serial port: the stream under the RTU channel for a local line.

#include "fd_stream.h"

#include <cstdint>
#include <string>

class SerialPort final : public FdStream {
public:
    SerialPort() = default;
    ~SerialPort() override;

    // The device behind a port name as a port list shows it: "ttyUSB0" is
    // /dev/ttyUSB0, an absolute path is taken as is, "COMn" is /dev/ttyS(n-1).
    static std::string DevicePath(const std::string& portName);

    // Opens the port exclusively, raw 8N1 at the baud rate, with its input
    // queue emptied. On failure `why` (when given) says what went wrong, and
    // nothing of the attempt stays behind, no exclusive mode either. RS-485
    // mode and held lines the driver refuses fail the open.
    bool Open(const std::string& portName, const StreamSettings& settings, PortOpenFailure* why) override;
    bool Open(const std::string& portName, std::uint32_t baud, PortOpenFailure* why = nullptr)
    {
        return Open(portName, StreamSettings{baud, {}}, why);
    }

protected:
    bool Gone(int error) const override;
    ssize_t WriteSome(int fd, const std::uint8_t* bytes, std::size_t count) override;
    void DiscardOutput(int fd) override;
    void Release(int fd) override;

private:
    bool OpenDevice(const std::string& portName, const StreamSettings& settings, PortOpenFailure& why);
};
