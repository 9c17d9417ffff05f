#pragma once
// TCP port names: "tcp://HOST:PORT", where HOST is an IPv4 address, an IPv6
// address in brackets or a host name, and PORT a number 1..65535.

#include <optional>
#include <string>
#include <string_view>

struct TcpAddress {
    std::string host; // without brackets
    std::string port; // decimal digits

    bool operator==(const TcpAddress&) const = default;
};

inline constexpr std::string_view kTcpScheme = "tcp://";

// True when the name means a TCP connection rather than a serial port.
bool IsTcpPortName(std::string_view name);

// "HOST:PORT" ("[v6]:PORT" for an IPv6 address); nothing when malformed.
std::optional<TcpAddress> ParseHostPort(std::string_view text);

// The port name of an address, brackets around an IPv6 host.
std::string TcpPortName(const TcpAddress& address);
