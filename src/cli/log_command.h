#pragma once
// vokctl log: the data log from the terminal.

#include <string>

class CliFront;
class TLink1Thread;
struct CliOptions;
struct MeterRegisters;

// Polls on the open link as poll does and appends one record per good poll
// to the file of the options until the count, the duration or an interrupt
// (SIGINT, SIGTERM), which ends the running poll and leaves the file whole.
int RunLog(TLink1Thread& link, CliFront& front, MeterRegisters& registers, const CliOptions& options);
