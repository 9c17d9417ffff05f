#include "port_return.h"

#include "link_thread.h"
#include "port_list.h"

PortReturn::PortReturn(const std::string& portName, std::uint32_t baud, std::uint32_t timeoutMs,
                       std::int32_t address)
    : port_(StablePortName(portName)), baud_(baud), timeoutMs_(timeoutMs), address_(address)
{
}

bool PortReturn::TryReopen(TLink1Thread& link) const { return link.OpenLink(port_, baud_, timeoutMs_, address_); }
