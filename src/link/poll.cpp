// The poll: five reads of the live register blocks, decoded position by
// position into the window's register objects, then the refresh.

#include "link_thread.h"

#include "poll_plan.h"
#include "register_map.h"
#include "value_text.h"

#include <memory>
#include <utility>

void TLink1Thread::Poll()
{
    ModBusRequest request;
    // The front hears of a silent meter from the first unanswered attempt,
    // not only after the last of them.
    // The notice does not wait for the front's thread: the repeats keep
    // their pace whatever that thread is doing.
    const std::uint64_t generation = commandGeneration_;
    const RetryObserver noAnswer = [this, generation](int attempt) {
        {
            std::lock_guard lock(repeatNoticeLock_);
            repeatNotice_ = RepeatNotice{attempt, generation};
        }
        dispatcher_.Post([self = std::weak_ptr<TLink1Thread*>(self_)] {
            if (const auto link = self.lock())
                (*link)->DeliverPollRepeating();
        });
    };
    bool polled = false;
    Guarded([&] {
        for (std::size_t i = 0; i < kPollReads.size(); ++i) {
            request.Build(3, kPollReads[i].start, kPollReads[i].count);
            TransactWithRetry(request, noAnswer);
            DecodePollRead(i, FRtu, registers_);
        }
        RunOnUi([this] { SyncRefresh(); });
        polled = true;
    }, [this](bool noAnswer) { RunOnUi([this, noAnswer] { SyncPollFailed(noAnswer); }); });
    if (polled)
        TakeAsFound();
}

void TLink1Thread::SyncRefresh()
{
    if (!stopping_) {
        const MeterRegisters& r = registers_;
        const float value = ParameterValue(r.ModAnalyzer.Get(), r.EmulsionPhase.Get(), r.Phases);
        front_.RefreshList(FormatListFloat(value));
    }
    FDoneEvent.Set();
}

void TLink1Thread::SyncPollFailed(bool noAnswer)
{
    // A link closed meanwhile failed the poll on purpose: nothing to say.
    if (!stopping_ && !CommandLinkEnded())
        front_.PollFailed(noAnswer);
    FDoneEvent.Set();
}

void TLink1Thread::DeliverPollRepeating()
{
    std::optional<RepeatNotice> notice;
    {
        std::lock_guard lock(repeatNoticeLock_);
        notice = std::exchange(repeatNotice_, std::nullopt);
    }
    // Notices that came together show the latest attempt once.
    if (notice && !stopping_ && FRtu.IsOpen() && FRtu.Generation() == notice->generation)
        front_.PollRepeating(notice->attempt, kMostAttempts);
}
