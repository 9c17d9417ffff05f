#pragma once
// vokctl log: the data log from the terminal.

#include <string>

class CliFront;
class LoopDispatcher;
class PortReturn;
class TLink1Thread;
struct CliOptions;
struct MeterRegisters;

// Polls on the open link as poll does and appends one record per good poll
// to the file of the options until the count, the duration or an interrupt
// (SIGINT, SIGTERM), which ends the running poll and leaves the file whole.
// `loop` is the link's dispatcher. With `portReturn` a lost port is waited
// for and the log goes on when it is back.
int RunLog(TLink1Thread& link, LoopDispatcher& loop, CliFront& front, MeterRegisters& registers,
           const CliOptions& options, const PortReturn* portReturn);
