#include "port_return_wait.h"

#include "cli_front.h"
#include "loop_dispatcher.h"
#include "port_return.h"

#include <chrono>
#include <cstdio>

PortReturnOutcome AwaitPortReturn(const PortReturn& port, TLink1Thread& link, LoopDispatcher& loop,
                                  std::optional<double> giveUpSeconds, const std::function<bool()>& stopRequested)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point lost = Clock::now();
    const std::optional<Clock::time_point> giveUp =
        giveUpSeconds ? std::optional(lost + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(*giveUpSeconds)))
                      : std::nullopt;
    const std::string& name = port.WatchedName();
    std::fprintf(stderr, "Ожидание порта %s\n", name.c_str());
    for (Clock::time_point next = lost;;) {
        if (stopRequested())
            return PortReturnOutcome::Stopped;
        if (giveUp && Clock::now() >= *giveUp) {
            std::fprintf(stderr, "Порт %s не вернулся за %g с\n", name.c_str(), *giveUpSeconds);
            return PortReturnOutcome::GaveUp;
        }
        if (Clock::now() >= next) {
            if (port.TryReopen(link)) {
                std::fprintf(stderr, "Порт %s снова открыт\n", name.c_str());
                return PortReturnOutcome::Reopened;
            }
            next = Clock::now() + PortReturn::kCheckInterval;
        }
        // Wakes for the next attempt, the give-up time or a stop request.
        Clock::time_point until = next;
        if (giveUp && *giveUp < until)
            until = *giveUp;
        loop.ServeUntil(stopRequested, until);
    }
}

bool GoOnAfterPoll(CliFront& front, std::size_t errorsBefore, const PortReturn* port, TLink1Thread& link,
                   LoopDispatcher& loop, std::optional<double> giveUpSeconds,
                   const std::function<bool()>& stopRequested)
{
    if (!front.portLost)
        return true;
    if (!port || AwaitPortReturn(*port, link, loop, giveUpSeconds, stopRequested) != PortReturnOutcome::Reopened)
        return false;
    front.portLost = false;
    front.errors.resize(errorsBefore);
    return true;
}
