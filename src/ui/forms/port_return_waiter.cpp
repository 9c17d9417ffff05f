#include "port_return_waiter.h"

#include "link_thread.h"

TPortReturnWaiter::TPortReturnWaiter(TLink1Thread& link, QObject* parent) : QObject(parent), link_(link)
{
    timer_.setInterval(static_cast<int>(PortReturn::kCheckInterval.count()));
    connect(&timer_, &QTimer::timeout, this, [this] { Try(); });
}

void TPortReturnWaiter::Start(const PortReturn& port, std::function<void()> stillWaiting,
                              std::function<void()> reopened)
{
    port_ = port;
    stillWaiting_ = std::move(stillWaiting);
    reopened_ = std::move(reopened);
    timer_.start();
    if (stillWaiting_)
        stillWaiting_();
}

void TPortReturnWaiter::Cancel()
{
    timer_.stop();
    port_.reset();
    stillWaiting_ = nullptr;
    reopened_ = nullptr;
}

void TPortReturnWaiter::Try()
{
    if (!port_)
        return;
    if (!port_->TryReopen(link_)) {
        if (stillWaiting_)
            stillWaiting_();
        return;
    }
    const std::function<void()> reopened = std::move(reopened_);
    Cancel();
    if (reopened)
        reopened();
}
