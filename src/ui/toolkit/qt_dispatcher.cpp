#include "qt_dispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>

void QtDispatcher::RunOnFrontThread(const std::function<void()>& step)
{
    std::lock_guard caller(callerLock_);
    {
        std::lock_guard lock(stepLock_);
        step_ = &step;
    }
    QMetaObject::invokeMethod(this, "RunStep", Qt::BlockingQueuedConnection);
    std::lock_guard lock(stepLock_);
    step_ = nullptr;
}

void QtDispatcher::RunStep()
{
    const std::function<void()>* step;
    {
        std::lock_guard lock(stepLock_);
        step = step_;
    }
    if (step)
        (*step)();
    // Orders what the step did before the caller's return.
    std::lock_guard lock(stepLock_);
}

void QtDispatcher::Post(std::function<void()> task)
{
    {
        std::lock_guard lock(postedLock_);
        posted_.push_back(std::move(task));
    }
    QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
}

void QtDispatcher::RunPosted()
{
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(postedLock_);
            if (posted_.empty())
                return;
            task = std::move(posted_.front());
            posted_.pop_front();
        }
        task();
    }
}

void QtDispatcher::Wake()
{
    QMetaObject::invokeMethod(this, "WakeUp", Qt::QueuedConnection);
}

void QtDispatcher::ServeUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}
