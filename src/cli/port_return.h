#pragma once
// vokctl log/stats --reconnect: after a lost port, the run waits for the
// same device to come back under the stable name it had at open (a USB
// adapter's by-id name, whatever ttyUSB number it gets next) and opens the
// link on it again with the same settings. A device that comes back under
// another stable name is another adapter and is not taken for it.

#include "link_settings.h"

#include <chrono>
#include <functional>
#include <optional>

class LoopDispatcher;
class TLink1Thread;

enum class PortReturnOutcome { Reopened, GaveUp, Stopped };

class PortReturn {
public:
    // The port is looked for at most this often.
    static constexpr std::chrono::milliseconds kCheckInterval{500};

    // At the open of the link with `settings`, while the device is there to
    // tell its stable name.
    explicit PortReturn(const LinkParameters& settings);

    // Waits, serving `loop`, until the link is open again, `giveUpSeconds`
    // have passed since the loss (no limit when empty) or `stopRequested`
    // says so; each outcome is told on stderr.
    PortReturnOutcome Await(TLink1Thread& link, LoopDispatcher& loop, std::optional<double> giveUpSeconds,
                            const std::function<bool()>& stopRequested) const;

private:
    LinkParameters settings_; // its port is the stable name
};
