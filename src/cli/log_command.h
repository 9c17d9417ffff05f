#pragma once
// vokctl log: the data log from the terminal.

#include <string>

class CliFront;
class LoopDispatcher;
class TLink1Thread;
struct CliOptions;
struct MeterRegisters;

// Polls on the open link as poll does and appends one record per good poll
// to the file of the options until the count, the duration or an interrupt
// (SIGINT, SIGTERM), which ends the running poll and leaves the file whole.
// `loop` is the link's dispatcher.
int RunLog(TLink1Thread& link, LoopDispatcher& loop, CliFront& front, MeterRegisters& registers,
           const CliOptions& options);
