#pragma once
// vokctl log/stats --reconnect: the wait for a lost port to come back.

#include <cstddef>
#include <functional>
#include <optional>

class CliFront;
class LoopDispatcher;
class PortReturn;
class TLink1Thread;

enum class PortReturnOutcome { Reopened, GaveUp, Stopped };

// Tries to open the link again every check interval, serving `loop`
// meanwhile, until it is open, `giveUpSeconds` have passed (no limit when
// empty) or `stopRequested` says so; each outcome is told on stderr.
PortReturnOutcome AwaitPortReturn(const PortReturn& port, TLink1Thread& link, LoopDispatcher& loop,
                                  std::optional<double> giveUpSeconds, const std::function<bool()>& stopRequested);

// After a poll: when it lost the port and `port` is given, waits for the
// port as AwaitPortReturn does. True when the run goes on: the port was not
// lost, or it is back, and then the loss is no failure (its message, the
// front's errors from `errorsBefore` on, is taken back; the gap tells it).
bool GoOnAfterPoll(CliFront& front, std::size_t errorsBefore, const PortReturn* port, TLink1Thread& link,
                   LoopDispatcher& loop, std::optional<double> giveUpSeconds,
                   const std::function<bool()>& stopRequested);
