#pragma once
// The window's dispatcher: a step of the link thread runs on the GUI thread
// as a blocking queued call, so that the window and its modal dialogs stay
// the GUI thread's alone.

#include "front_dispatcher.h"

#include <QObject>

#include <deque>
#include <mutex>

class QtDispatcher final : public QObject, public FrontDispatcher {
    Q_OBJECT

public:
    // Create it on the front's thread: the steps run there.
    explicit QtDispatcher(QObject* parent = nullptr) : QObject(parent) {}

    void RunOnFrontThread(const std::function<void()>& step) override;
    void Post(std::function<void()> task) override;
    void Wake() override;
    // Serves queued calls, but not the user's input, until `done` holds.
    void ServeUntil(const std::function<bool()>& done) override;

private:
    Q_INVOKABLE void RunStep();
    Q_INVOKABLE void RunPosted();
    // Nothing: its call only ends a wait for events.
    Q_INVOKABLE void WakeUp() {}

    std::mutex callerLock_; // one link thread's step at a time
    // The step travels through this lock besides Qt's call, so that the
    // order of the two threads' accesses is visible to the thread sanitizer
    // too, not only to Qt's own (uninstrumented) primitives.
    std::mutex stepLock_;
    const std::function<void()>* step_ = nullptr;
    // Posted tasks wait here, under a lock of ours for the same reason; the
    // queued call only says that there are some.
    std::mutex postedLock_;
    std::deque<std::function<void()>> posted_;
};
