#include "port_return.h"

#include "link_thread.h"
#include "loop_dispatcher.h"
#include "port_list.h"

#include <cstdio>

PortReturn::PortReturn(const LinkParameters& settings) : settings_(settings)
{
    settings_.port = StablePortName(settings.port);
}

PortReturnOutcome PortReturn::Await(TLink1Thread& link, LoopDispatcher& loop, std::optional<double> giveUpSeconds,
                                    const std::function<bool()>& stopRequested) const
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point lost = Clock::now();
    const std::optional<Clock::time_point> giveUp =
        giveUpSeconds ? std::optional(lost + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(*giveUpSeconds)))
                      : std::nullopt;
    std::fprintf(stderr, "Ожидание порта %s\n", settings_.port.c_str());
    for (Clock::time_point next = lost;;) {
        if (stopRequested())
            return PortReturnOutcome::Stopped;
        if (giveUp && Clock::now() >= *giveUp) {
            std::fprintf(stderr, "Порт %s не вернулся за %g с\n", settings_.port.c_str(), *giveUpSeconds);
            return PortReturnOutcome::GaveUp;
        }
        if (Clock::now() >= next) {
            if (link.OpenLink(settings_.port, settings_.baud, settings_.timeoutMs, settings_.address)) {
                std::fprintf(stderr, "Порт %s снова открыт\n", settings_.port.c_str());
                return PortReturnOutcome::Reopened;
            }
            next = Clock::now() + kCheckInterval;
        }
        // Wakes for the next check, the give-up time or a stop request.
        Clock::time_point until = next;
        if (giveUp && *giveUp < until)
            until = *giveUp;
        loop.ServeUntil(stopRequested, until);
    }
}
