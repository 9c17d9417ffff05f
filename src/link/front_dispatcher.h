#pragma once
// How the link thread reaches its front's thread. Each front provides one:
// the window's hands a step to the GUI thread as a queued call, vokctl's
// serves steps on its main thread from a loop. The link thread knows
// nothing else of the front's thread.

#include <functional>

class FrontDispatcher {
public:
    // Runs `step` on the front's thread and returns once it has returned.
    // Called on a link thread; the step does not throw.
    virtual void RunOnFrontThread(const std::function<void()>& step) = 0;
    // From any thread: runs `task` on the front's thread later, without
    // waiting for it. Tasks not yet run when the dispatcher ends are dropped.
    virtual void Post(std::function<void()> task) = 0;
    // From any thread: what a ServeUntil waits for may have changed.
    virtual void Wake() = 0;
    // On the front's thread: serves the steps handed over (and whatever
    // else the front serves meanwhile) until `done` holds. `done` is asked
    // again after each step and each Wake.
    virtual void ServeUntil(const std::function<bool()>& done) = 0;

protected:
    ~FrontDispatcher() = default;
};
