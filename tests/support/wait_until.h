#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <thread>

// Runs the event loop until `done` holds or the deadline passes.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline = std::chrono::seconds(30))
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
