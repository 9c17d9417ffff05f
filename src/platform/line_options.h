#pragma once
// How a serial port drives its lines beyond the data: RS-485 mode, in which
// the driver raises RTS to switch the adapter's transmitter on while it
// sends, and DTR and RTS held on or off from the open on (some isolated
// converters draw their power from them). A TCP connection ignores them.

#include <cstdint>
#include <optional>
#include <string_view>

// What the open does with DTR or RTS: leaves it as the driver has it, or
// holds it on or off.
enum class LineHold { Keep, On, Off };

struct LineOptions {
    bool rs485 = false;                // RTS drives the transmitter while sending
    std::uint32_t delayBeforeMs = 0;   // RTS raised this long before the first bit
    std::uint32_t delayAfterMs = 0;    // and kept this long after the last one
    LineHold dtr = LineHold::Keep;
    LineHold rts = LineHold::Keep;     // RS-485 mode takes RTS; a hold then does nothing

    bool operator==(const LineOptions&) const = default;
};

// The drivers' limit for the delays around a sent frame, in ms.
inline constexpr std::uint32_t kMaxRs485DelayMs = 100;

// "keep", "on", "off": the words of the INI file and of vokctl.
std::optional<LineHold> ParseLineHold(std::string_view word);
const char* LineHoldWord(LineHold hold);
