#pragma once
// vokctl log/stats --reconnect: the wait for a lost port to come back.

#include <functional>
#include <optional>

class LoopDispatcher;
class PortReturn;
class TLink1Thread;

enum class PortReturnOutcome { Reopened, GaveUp, Stopped };

// Tries to open the link again every check interval, serving `loop`
// meanwhile, until it is open, `giveUpSeconds` have passed (no limit when
// empty) or `stopRequested` says so; each outcome is told on stderr.
PortReturnOutcome AwaitPortReturn(const PortReturn& port, TLink1Thread& link, LoopDispatcher& loop,
                                  std::optional<double> giveUpSeconds, const std::function<bool()>& stopRequested);
