#pragma once
// `vokctl scan`: the finder with the terminal as its front. Each meter found
// is a line on stdout; progress goes to stderr when it is a terminal; an
// interrupt (Ctrl+C) ends the scan as its cancel does.

#include "scan_plan.h"

class LoopDispatcher;
class TLink1Thread;

// Runs the scan to its end, serving its steps through `loop`, the link's
// dispatcher. 0 when a meter was found, 1 otherwise.
int RunScan(TLink1Thread& link, LoopDispatcher& loop, ScanRequest request);
