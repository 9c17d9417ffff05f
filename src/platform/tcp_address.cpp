#include "tcp_address.h"

#include <algorithm>

namespace {

bool PortNumber(std::string_view text)
{
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](char c) {
            return c >= '0' && c <= '9';
        }))
        return false;
    const int n = std::stoi(std::string(text));
    return n >= 1 && n <= 65535;
}

} // namespace

bool IsTcpPortName(std::string_view name) { return name.substr(0, kTcpScheme.size()) == kTcpScheme; }

std::optional<TcpAddress> ParseHostPort(std::string_view text)
{
    std::string_view host, port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return std::nullopt;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const auto colon = text.find(':');
        // A second colon is an IPv6 address without its brackets.
        if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos)
            return std::nullopt;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty() || !PortNumber(port) || host.find_first_of(" \t[]/") != std::string_view::npos)
        return std::nullopt;
    return TcpAddress{std::string(host), std::string(port)};
}

std::string TcpPortName(const TcpAddress& address)
{
    const bool v6 = address.host.find(':') != std::string::npos;
    return std::string(kTcpScheme) + (v6 ? "[" + address.host + "]" : address.host) + ":" + address.port;
}
