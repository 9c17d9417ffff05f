#pragma once
// What the finder needs of its front (the panel on the tab "Связь", or the
// terminal of `vokctl scan`). As with LinkFront, every operation runs on the
// front's own thread, handed over by the link thread, which waits meanwhile.

#include "scan_plan.h"

#include <cstddef>

class ScanFront {
public:
    // Before each probe: which one, and how many of `total` were made.
    virtual void ScanProgress(const ScanProbe& probe, std::size_t done, std::size_t total) = 0;
    virtual void MeterFound(const FoundMeter& meter) = 0;
    // The scan has ended, the port is closed again.
    virtual void ScanEnded(const ScanOutcome& outcome) = 0;

protected:
    ~ScanFront() = default;
};
