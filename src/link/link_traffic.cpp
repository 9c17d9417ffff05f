// The link thread's traffic tap: made when a front wants to watch the
// traffic, set as the channel's observer whenever the link opens.

#include "link_thread.h"

LinkTap& TLink1Thread::WatchTraffic(std::size_t queueCapacity)
{
    if (!tap_)
        tap_ = std::make_unique<LinkTap>(queueCapacity);
    return *tap_;
}

bool TLink1Thread::OpenTapped(const std::string& portName, const StreamSettings& settings, PortOpenFailure* why)
{
    // Set while the channel is closed; an open channel refuses the open
    // below and keeps its observer, which is this same one.
    FRtu.SetObserver(tap_.get());
    const auto at = std::chrono::steady_clock::now();
    if (!FRtu.Open(portName, settings, why))
        return false;
    if (tap_)
        tap_->MarkOpened(settings.baud, at);
    return true;
}
