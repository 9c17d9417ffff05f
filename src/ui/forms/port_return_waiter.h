#pragma once
// "Ждать порт": after a lost port the window tries to open the link again on
// the port's stable name every check interval, until it is open or the wait
// is cancelled.

#include "port_return.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class TLink1Thread;

class TPortReturnWaiter : public QObject {
    Q_OBJECT
public:
    TPortReturnWaiter(TLink1Thread& link, QObject* parent = nullptr);

    // Starts waiting for `port`: `stillWaiting` runs after each attempt that
    // found no port, `reopened` once the link is open again.
    void Start(const PortReturn& port, std::function<void()> stillWaiting, std::function<void()> reopened);
    void Cancel();
    bool Waiting() const { return timer_.isActive(); }

private:
    void Try();

    TLink1Thread& link_;
    QTimer timer_;
    std::optional<PortReturn> port_;
    std::function<void()> stillWaiting_;
    std::function<void()> reopened_;
};
