#include "rtu.h"

#include "crc16.h"
#include "frame_check.h"
#include "frame_length.h"
#include "tcp_address.h"

#include <algorithm>
#include <array>
#include <future>
#include <cstring>
#include <system_error>

namespace {

using Clock = ModBusRtu::Clock;
using std::chrono::milliseconds;

// Sends remembered for the answer count; a meter that ignores requests
// cannot grow the list without end.
constexpr std::size_t kMaxUnanswered = 256;
// The line speed assumed behind a TCP gateway.
constexpr std::uint32_t kSlowestGatewayBaud = 9600;
// No settling takes longer than this, however slow the meter has been.
constexpr Clock::duration kLongestGuard = std::chrono::seconds(5);
// A meter that answers twice sends the copy within this time of the answer.
constexpr Clock::duration kCopyWindow = milliseconds(50);

// The longest a frame of full size takes at the baud rate (11 bits a byte),
// with the silence that ends it and some scheduling slack.
Clock::duration FrameOverrun(std::uint32_t baud)
{
    const auto wire = std::chrono::microseconds(ModBusRtu::kFrameCapacity * 11ull * 1'000'000 / std::max(baud, 1u));
    return std::min<Clock::duration>(wire + 2 * ModBusRtu::kSilence + milliseconds(50), std::chrono::seconds(3));
}

// Fast framing: how many more bytes the frame collected so far may take in
// one read, 0 once it is whole by its length and its CRC is right. Nothing
// beyond its end is read, so that what follows stays for the next frame.
// A frame not addressed as our request's answer may as well be another
// master's request: it is tried at both lengths, the shorter first. Framed
// as an answer alone, such a request is read on into the answer after it
// and both end only at the silence. `byLength` turns off for a header that
// gives no length and for a frame whose CRC fails at every length it may
// have: such a frame ends by silence. `lengthKnown` tells whether the
// header has given the length of an answer.
std::size_t RoomByLength(const std::uint8_t* bytes, std::size_t total, bool foreign, bool& byLength,
                         bool& lengthKnown)
{
    const FrameExtent answer = FrameExtentOf(FrameSide::Answer, bytes, total);
    lengthKnown = answer.kind == FrameExtent::Kind::Whole;
    std::size_t end = 0; // the nearest length still to be tried
    for (const FrameExtent& extent : {answer, foreign ? FrameExtentOf(FrameSide::Request, bytes, total) : answer}) {
        if (extent.kind == FrameExtent::Kind::Unknown)
            continue;
        // While the length is not yet known, no frame is shorter than the shortest.
        const std::size_t at = extent.kind == FrameExtent::Kind::Whole
                                   ? extent.bytes
                                   : std::max<std::size_t>(extent.bytes, ModBusRtu::kShortestFrame);
        if (at == total && extent.kind == FrameExtent::Kind::Whole &&
            CrcMatches(bytes, static_cast<std::uint32_t>(total)))
            return 0;
        if (at > total)
            end = end == 0 ? at : std::min(end, at);
    }
    if (end != 0)
        return end - total;
    byLength = false;
    return ModBusRtu::kFrameCapacity - total;
}

// The whole frame at the head of a burst that fails its CRC as one frame:
// its length, when the header tells one at which the CRC is right and bytes
// follow it; 0 otherwise. So an answer and its copy, run together in one
// burst, come apart.
std::uint32_t LeadingFrame(const std::uint8_t* bytes, std::uint32_t count)
{
    if (CrcMatches(bytes, count))
        return 0;
    const FrameExtent extent = FrameExtentOf(FrameSide::Answer, bytes, count);
    if (extent.kind != FrameExtent::Kind::Whole || extent.bytes < ModBusRtu::kShortestFrame || extent.bytes >= count)
        return 0;
    return CrcMatches(bytes, extent.bytes) ? static_cast<std::uint32_t>(extent.bytes) : 0;
}

// A write of one coil or register is answered with its own bytes: its echo
// and its answer look the same, so it cannot tell whether the line echoes.
bool EchoLooksLikeAnswer(const std::uint8_t* frame) { return frame[1] == 5 || frame[1] == 6; }

} // namespace

static_assert(FrameQueue::kCapacity == ModBusRtu::kFrameCapacity);

ModBusRtu::ModBusRtu() { data = frame + 1; }

ModBusRtu::~ModBusRtu() { Close(); }

bool ModBusRtu::Open(const std::string& portName, const StreamSettings& settings, PortOpenFailure* why)
{
    std::lock_guard life(lifecycleLock_);
    if (open_.load()) {
        if (why)
            *why = {PortOpenError::AlreadyOpen, 0};
        return false;
    }
    stopFlag.exchange(0);
    const bool tcp = IsTcpPortName(portName);
    ByteStream& port = tcp ? *tcp_ : *serial_;
    if (!port.Open(portName, settings, why))
        return false;
    port_.store(&port);
    {
        std::lock_guard lock(handoverLock);
        received_.Clear();
        frameStarted_.reset();
        inputEmptyAt_.reset();
        inputWaitingAt_.reset();
        lost_ = false;
        ++generation_;
        // What the line taught belongs to the open period that taught it.
        unanswered_.clear();
        slowestAnswer_ = Clock::duration::zero();
        lastAnswerLength_ = 0;
        copies_ = Copies::Unknown;
        echoDue_ = false;
        const EchoMode echo = echoMode_.load();
        echoLine_ = echo == EchoMode::On ? EchoLine::Echoes : echo == EchoMode::Off ? EchoLine::Quiet : EchoLine::Unknown;
        // A gateway's line speed is not known here: its frames are given
        // the time of the slowest common one.
        frameOverrun_ = FrameOverrun(tcp ? kSlowestGatewayBaud : settings.baud);
        // The answer time counts from the request's end on the line; over a
        // gateway that time is not known and counts as none.
        byteTime_ = tcp ? std::chrono::microseconds(0) : std::chrono::microseconds(11'000'000) / std::max(settings.baud, 1u);
    }
    try {
        // The reader reads before Open returns, so that no request of this
        // open period goes out before it and its answer is never taken for
        // bytes that were waiting.
        std::promise<void> reading;
        std::future<void> started = reading.get_future();
        readerThread = std::thread([this, stream = &port, &reading] { ReaderLoop(*stream, reading); });
        started.wait();
    } catch (const std::system_error& e) {
        port.Close();
        if (why)
            *why = {PortOpenError::Failed, e.code().value()};
        return false;
    }
    open_.store(true);
    return true;
}

void ModBusRtu::Close()
{
    std::lock_guard life(lifecycleLock_);
    if (!open_.exchange(false))
        return;
    // A receive or a settling wait of this open period ends at once, even
    // when the channel is opened again right after.
    {
        std::lock_guard lock(handoverLock);
        ++generation_;
        received_.Clear();
        frameStarted_.reset();
    }
    frameEvent.notify_all();
    stopFlag.exchange(1);
    ByteStream& port = *port_.load();
    port.Interrupt();
    {
        std::lock_guard lock(pauseLock_);
    }
    pauseWake_.notify_all();
    if (readerThread.joinable())
        readerThread.join();
    port.Close();
}

void ModBusRtu::PauseAfterReadError(int ms)
{
    std::unique_lock lock(pauseLock_);
    pauseWake_.wait_for(lock, milliseconds(ms), [this] { return stopFlag.load() != 0; });
}

void ModBusRtu::ReaderLoop(ByteStream& port, std::promise<void>& reading)
{
    // The end of the reader's last read, and when it saw the bytes it takes
    // next: then, or when its wait for them ended.
    Clock::time_point lastReadEnd = Clock::now();
    Clock::time_point noticed = lastReadEnd;
    reading.set_value();
    using Status = ByteStream::ReadStatus;
    int errorPauseMs = 1;
    while (stopFlag.load() == 0) {
        // Without limit for the first byte of a frame, then until silence,
        // or with fast framing until the frame is whole by its length.
        bool byLength = fastFraming_.load();
        std::uint8_t* const buffer = received_.Filling();
        const std::size_t firstRoom = byLength ? kShortestFrame : kFrameCapacity;
        // The first bytes of a frame are taken under the lock, so that a
        // request going out sees whether they were there before it.
        ByteStream::ReadResult first;
        // The address and function of the request out now, when there is one.
        std::array<std::uint8_t, 2> asked{};
        std::uint32_t echoLength = 0;
        std::array<std::uint8_t, kFrameCapacity> echo;
        Clock::time_point started;
        {
            std::lock_guard lock(handoverLock);
            first = port.Read(buffer, firstRoom, std::chrono::nanoseconds(0));
            if (first.status == Status::Bytes) {
                started = DateFirstBytes(lastReadEnd, noticed);
                lastReadEnd = noticed = Clock::now();
                frameStarted_ = started;
                // The echo of our request, when one may come: it is
                // collected to its length and handed over on its own.
                echoLength = EchoExpected();
                std::memcpy(echo.data(), request_, echoLength);
                if (requestLength_ >= kShortestFrame) {
                    asked[0] = request_[0];
                    asked[1] = request_[1];
                }
            }
        }
        if (first.status == Status::Quiet) {
            // Nothing waits: the next bytes are dated when they come.
            first.status = port.Await(std::nullopt);
            noticed = Clock::now();
            if (first.status == Status::Bytes)
                continue;
        }
        if (first.status == Status::Interrupted)
            return;
        if (first.status == Status::Lost) {
            MarkLost();
            return;
        }
        if (first.status != Status::Bytes) {
            // A port that keeps failing is retried with a growing pause
            // rather than spun on.
            PauseAfterReadError(errorPauseMs);
            errorPauseMs = std::min(errorPauseMs * 2, 100);
            continue;
        }
        errorPauseMs = 1;
        std::size_t total = first.count;
        Status end = Status::Quiet;
        while (total < kFrameCapacity) {
            std::size_t room;
            bool lengthKnown = false;
            if (echoLength != 0 && total <= echoLength && std::memcmp(buffer, echo.data(), total) == 0) {
                room = echoLength - total;
            } else {
                echoLength = 0;
                const bool foreign = asked[0] == 0 || buffer[0] != asked[0];
                room = byLength ? RoomByLength(buffer, total, foreign, byLength, lengthKnown) : kFrameCapacity - total;
            }
            if (room == 0)
                break;
            // With fast framing, an answer to our request whose header has
            // told its length is waited for to that length, for as long as
            // a frame of full size may take: a gateway may pass it on in
            // segments with gaps longer than the silence.
            Clock::duration wait = kSilence;
            if (byLength && lengthKnown && buffer[0] == asked[0] && (buffer[1] & 0x7F) == asked[1])
                wait = std::max<Clock::duration>(kSilence, started + frameOverrun_ - Clock::now());
            const ByteStream::ReadResult more =
                port.Read(buffer + total, room, std::chrono::duration_cast<std::chrono::nanoseconds>(wait));
            lastReadEnd = noticed = Clock::now();
            if (more.status != Status::Bytes) {
                end = more.status;
                break;
            }
            total += more.count;
        }
        if (end == Status::Interrupted)
            return;
        HandOver(static_cast<std::uint32_t>(total), started);
        if (end == Status::Lost) {
            MarkLost();
            return;
        }
    }
}

ModBusRtu::Clock::time_point ModBusRtu::DateFirstBytes(Clock::time_point lastReadEnd, Clock::time_point noticed)
{
    Clock::time_point started = noticed;
    if (inputWaitingAt_) {
        // They were there when a request went out: as early as they can
        // have come, and never after the time they were seen waiting.
        started = std::max(lastReadEnd, inputEmptyAt_.value_or(lastReadEnd));
        started = std::min(started, *inputWaitingAt_ - Clock::duration(1));
    } else if (inputEmptyAt_ && started < *inputEmptyAt_) {
        started = *inputEmptyAt_;
    }
    inputEmptyAt_.reset();
    inputWaitingAt_.reset();
    return started;
}

void ModBusRtu::HandOver(std::uint32_t count, Clock::time_point started)
{
    {
        std::lock_guard lock(handoverLock);
        frameStarted_.reset();
        NoteBytes(TrafficKind::Frame, received_.Filling(), count, started);
        std::uint32_t left = count;
        Clock::time_point at = started;
        if (const std::uint32_t echo = TakeEcho(count, started)) {
            std::memmove(received_.Filling(), received_.Filling() + echo, count - echo);
            left -= echo;
            at += byteTime_ * echo;
        }
        // Whole frames that ran together go on one by one, each dated by
        // where it stands in the burst.
        while (left >= kShortestFrame) {
            std::uint8_t* const bytes = received_.Filling();
            const std::uint32_t lead = LeadingFrame(bytes, left);
            TakeFrame(lead ? lead : left, at);
            if (lead == 0)
                break;
            std::memmove(received_.Filling(), bytes + lead, left - lead);
            left -= lead;
            at += byteTime_ * lead;
        }
    }
    // Signalled after the lock is left, so that the woken receive does not
    // block on it at once.
    frameEvent.notify_all();
}

void ModBusRtu::TakeFrame(std::uint32_t count, Clock::time_point started)
{
    const std::uint8_t* bytes = received_.Filling();
    if (IsCopy(bytes, count, started)) {
        Note(TrafficKind::Stale);
        return;
    }
    const std::uint64_t answers = CountAnswer(bytes, count, started);
    if (answers != 0) {
        // An answer with no echo before it: a line that does not echo, when
        // the echo could not have been taken for this answer.
        if (echoDue_ && echoLine_ == EchoLine::Unknown && !EchoLooksLikeAnswer(request_))
            echoLine_ = EchoLine::Quiet;
        echoDue_ = false;
        std::memcpy(lastAnswer_, bytes, count);
        lastAnswerLength_ = count;
        lastAnswerAt_ = Clock::now();
        sentSinceAnswer_ = false;
        if (copies_ == Copies::Unknown)
            copies_ = Copies::Watching;
    }
    // When more wait than there is room for, the oldest goes.
    if (received_.Size() == FrameQueue::kWaiting)
        Note(TrafficKind::Stale);
    received_.Push(count, started, answers);
}

void ModBusRtu::SetEcho(EchoMode mode)
{
    std::lock_guard lock(handoverLock);
    echoMode_.store(mode);
    echoLine_ = mode == EchoMode::On ? EchoLine::Echoes : mode == EchoMode::Off ? EchoLine::Quiet : EchoLine::Unknown;
}

std::uint32_t ModBusRtu::EchoExpected() const
{
    if (!echoDue_ || requestLength_ < kShortestFrame)
        return 0;
    if (echoLine_ == EchoLine::Echoes || (echoLine_ == EchoLine::Unknown && !EchoLooksLikeAnswer(request_)))
        return requestLength_;
    return 0;
}

std::uint32_t ModBusRtu::TakeEcho(std::uint32_t count, Clock::time_point started)
{
    const std::uint32_t echo = EchoExpected();
    if (echo == 0 || count < echo || std::memcmp(received_.Filling(), request_, echo) != 0)
        return 0;
    NoteBytes(TrafficKind::Echo, received_.Filling(), echo, started);
    echoDue_ = false;
    echoLine_ = EchoLine::Echoes;
    return echo;
}

void ModBusRtu::LearnEcho(std::uint8_t address, const ModBusRequest& request, std::uint32_t timeoutMs)
{
    std::uint8_t pdu[kFrameCapacity];
    {
        std::lock_guard lock(handoverLock);
        if (echoLine_ != EchoLine::Unknown || request.Size() < 5 || request.Size() > kFrameCapacity)
            return;
        request.CopyTo(pdu);
        if (pdu[0] != 5 && pdu[0] != 6)
            return;
    }
    // A read of the register about to be written: its echo, when one
    // comes, cannot be taken for an answer.
    const ModBusRequest probe(3, static_cast<std::uint16_t>(pdu[1] << 8 | pdu[2]), 1);
    repeating_ = false;
    attempt_ = 1;
    BeginExchange();
    try {
        SendRequest(address, probe, timeoutMs);
        ReceiveFrame(address, timeoutMs);
    } catch (error_t e) {
        if (e == kPortLost || e == kWriteFailed)
            throw;
    }
    {
        // A line that echoes would have handed the probe back.
        std::lock_guard lock(handoverLock);
        if (echoLine_ == EchoLine::Unknown)
            echoLine_ = EchoLine::Quiet;
    }
    Settle();
}

bool ModBusRtu::IsCopy(const std::uint8_t* bytes, std::uint32_t count, Clock::time_point started)
{
    // While it is not known whether the meter answers twice, only a frame
    // that came before any request went out after the answer is a copy:
    // a repeated request may well get the same answer again.
    if (copies_ == Copies::None || (copies_ != Copies::Seen && sentSinceAnswer_) ||
        count != lastAnswerLength_ || started > lastAnswerAt_ + kCopyWindow ||
        std::memcmp(bytes, lastAnswer_, count) != 0)
        return false;
    // A meter sends an answer twice at most: the next like it is an answer again.
    lastAnswerLength_ = 0;
    copies_ = Copies::Seen;
    return true;
}

std::uint64_t ModBusRtu::CountAnswer(const std::uint8_t* bytes, std::uint32_t count, Clock::time_point started)
{
    // Only a frame that answers an open request counts: the oldest one it
    // fits, and those before it, which the meter then passed over. Anything
    // else (what another program's requests left on the line) counts for
    // nothing.
    if (JudgeFrame(bytes, count, bytes[0]) != FrameVerdict::Good)
        return 0;
    // An answer later than the longest guard is not learnt from: a meter
    // that froze for a minute is not a slow one.
    ForgetExpired(started);
    const auto answered = std::find_if(unanswered_.begin(), unanswered_.end(), [&](const Unanswered& u) {
        return u.address == bytes[0] && AnswerFits(u.head, sizeof u.head, bytes + 1, count - 3);
    });
    if (answered == unanswered_.end())
        return 0;
    slowestAnswer_ = std::max(slowestAnswer_, started - answered->sent);
    const std::uint64_t exchange = answered->exchange;
    unanswered_.erase(unanswered_.begin(), answered + 1);
    return exchange;
}

void ModBusRtu::MarkLost()
{
    {
        std::lock_guard lock(handoverLock);
        if (!lost_)
            Note(TrafficKind::PortLost);
        lost_ = true;
        frameStarted_.reset();
    }
    frameEvent.notify_all();
}

Clock::duration ModBusRtu::AnswerWindow(const Unanswered& request) const
{
    // A meter's answer time varies: half as much again as the slowest seen.
    return std::min<Clock::duration>(std::max(request.timeout, slowestAnswer_ * 3 / 2) + kSilence, kLongestGuard);
}

void ModBusRtu::ForgetExpired(Clock::time_point now)
{
    std::erase_if(unanswered_, [&](const Unanswered& u) { return now > u.sent + kLongestGuard; });
}

void ModBusRtu::Settle()
{
    std::unique_lock lock(handoverLock);
    const std::uint64_t generation = generation_;
    while (generation_ == generation && !lost_) {
        const Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> until;
        // The first answer of the open period is watched a while for a copy.
        if (copies_ == Copies::Watching) {
            if (now >= lastAnswerAt_ + kCopyWindow)
                copies_ = Copies::None;
            else
                until = lastAnswerAt_ + kCopyWindow;
        }
        // Our requests still open are waited for until their answers have
        // come or their answer windows, counted from the request, have
        // passed; nothing else on the line counts.
        for (const Unanswered& u : unanswered_) {
            if (now < u.sent + AnswerWindow(u))
                until = std::max(until.value_or(now), u.sent + AnswerWindow(u));
        }
        if (!until || now >= *until)
            break;
        frameEvent.wait_until(lock, *until);
    }
    // The requests of an exchange answered after repeats stay known until
    // the longest guard has passed: should their answers still come, they
    // are told from the answers of the exchanges that follow. The others
    // have had their answer windows.
    std::erase_if(unanswered_, [](const Unanswered& u) { return !u.outstanding; });
    for (; !received_.Empty(); received_.Pop())
        Note(TrafficKind::Stale);
}

void ModBusRtu::SendFrame(std::uint8_t address, std::uint32_t timeoutMs)
{
    frame[0] = address;
    frameLength = length + 3;
    PutCrc(frame, length + 1);
    {
        std::lock_guard lock(handoverLock);
        if (!open_.load())
            throw kWriteFailed;
        if (lost_)
            throw kPortLost;
        // A frame that began before this exchange cannot be its answer.
        while (!received_.Empty() && received_.Front().started < exchangeStart_) {
            Note(TrafficKind::Stale);
            received_.Pop();
        }
        const Clock::time_point now = Clock::now();
        if (!frameStarted_) {
            if (port_.load()->InputWaiting()) {
                // What waits came before this request: before its exchange
                // began, unless the request repeats one that it may answer.
                const Clock::time_point before = repeating_ ? now : exchangeStart_;
                inputWaitingAt_ = std::min(inputWaitingAt_.value_or(before), before);
            } else {
                inputEmptyAt_ = now;
            }
        }
        ForgetExpired(now);
        sentSinceAnswer_ = true;
        std::memcpy(request_, frame, frameLength);
        requestLength_ = frameLength;
        echoDue_ = echoLine_ != EchoLine::Quiet;
        Unanswered sent{now, exchange_, false, timeoutMs == kInfinite ? kLongestGuard : milliseconds(timeoutMs), address, {}};
        std::memcpy(sent.head, frame + 1, std::min<std::size_t>(sizeof sent.head, length));
        unanswered_.push_back(sent);
        if (unanswered_.size() > kMaxUnanswered)
            unanswered_.pop_front();
        NoteBytes(TrafficKind::Request, frame, frameLength, now);
    }
    switch (port_.load()->Write(frame, frameLength, timeoutMs)) {
    case ByteStream::WriteResult::Ok:
        NoteSent();
        return;
    case ByteStream::WriteResult::TimedOut:
        ThrowTimeOut();
    case ByteStream::WriteResult::Failed:
        throw kWriteFailed;
    case ByteStream::WriteResult::Lost:
        MarkLost();
        throw kPortLost;
    }
}

void ModBusRtu::ReceiveFrame(std::uint8_t address, std::uint32_t timeoutMs)
{
    std::optional<Clock::time_point> deadline;
    if (timeoutMs != kInfinite)
        deadline = Clock::now() + milliseconds(timeoutMs);
    std::unique_lock lock(handoverLock);
    const std::uint64_t generation = generation_;
    const auto ready = [&] { return !received_.Empty() || lost_ || generation_ != generation; };
    for (;;) {
        if (!open_.load())
            throw kTimeOut;
        if (!deadline) {
            frameEvent.wait(lock, ready);
        } else if (!frameEvent.wait_until(lock, *deadline, ready)) {
            // The time-out bounds the answer's first byte, not its framing.
            if (!frameStarted_ || *frameStarted_ > *deadline)
                ThrowTimeOut();
            if (!frameEvent.wait_until(lock, *frameStarted_ + frameOverrun_, ready))
                ThrowTimeOut();
        }
        if (generation_ != generation)
            throw kTimeOut;
        if (received_.Empty())
            throw kPortLost;
        // Begun after the deadline: too late for this attempt, left for a
        // repeat of the request to take.
        const FrameQueue::Frame next = received_.Front();
        if (deadline && next.started > *deadline)
            ThrowTimeOut();
        const std::uint32_t count = next.length;
        std::memcpy(frame, next.bytes, count);
        received_.Pop();
        frameLength = count;
        takenStart_ = next.started;
        // A frame that began before this exchange, or that answers a
        // request of an earlier one, is not this exchange's answer.
        if (next.started < exchangeStart_ || (next.answers != 0 && next.answers != exchange_)) {
            Note(TrafficKind::Stale);
            continue;
        }
        const FrameVerdict verdict = JudgeFrame(frame, count, address);
        if (verdict == FrameVerdict::OtherAddress) {
            Note(TrafficKind::OtherAddress, frame[0]);
            continue;
        }
        if (verdict == FrameVerdict::BadCrc) {
            Note(TrafficKind::CrcError);
            throw kCrcError;
        }
        data = frame + 1;
        length = count - 3;
        return;
    }
}

void ModBusRtu::SendRequest(std::uint8_t address, const ModBusRequest& request, std::uint32_t timeoutMs)
{
    data = frame + 1;
    length = request.Size();
    request.CopyTo(data);
    SendFrame(address, timeoutMs);
}

void ModBusRtu::ReceiveAnswer(std::uint8_t address, std::uint32_t timeoutMs)
{
    ReceiveFrame(address, timeoutMs);
    std::int32_t exception = 0;
    if (!Parse(exception))
        throw kMalformedAnswer;
    if (exception != 0)
        throw ModBusPdu::error_t{exception};
}

void ModBusRtu::CheckAnswer(const ModBusRequest& request)
{
    std::int32_t exception = 0;
    if (!Parse(exception) || !AnswerFits(request, *this)) {
        Note(TrafficKind::Misfit);
        throw kMalformedAnswer;
    }
    NoteAnswer(exception);
    if (exception != 0)
        throw ModBusPdu::error_t{exception};
}

void ModBusRtu::Transact(std::uint8_t address, const ModBusRequest& request, std::uint32_t timeoutMs,
                         Attempt attempt)
{
    if (attempt == Attempt::First) {
        Settle();
        LearnEcho(address, request, timeoutMs);
        BeginExchange();
    }
    repeating_ = attempt == Attempt::Repeat;
    attempt_ = repeating_ ? attempt_ + 1 : 1;
    const Clock::time_point start = Clock::now();
    SendRequest(address, request, timeoutMs);
    if (timeoutMs != kInfinite) {
        const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
        if (elapsed >= timeoutMs)
            ThrowTimeOut();
        timeoutMs -= static_cast<std::uint32_t>(elapsed);
    }
    ReceiveFrame(address, timeoutMs);
    CheckAnswer(request);
    if (attempt_ > 1) {
        std::lock_guard lock(handoverLock);
        for (Unanswered& u : unanswered_)
            u.outstanding = u.outstanding || u.exchange == exchange_;
    }
}

void ModBusRtu::BeginExchange()
{
    ++exchange_;
    exchangeStart_ = Clock::now();
}

std::uint64_t ModBusRtu::Generation()
{
    std::lock_guard lock(handoverLock);
    return generation_;
}

void TransactWithRetry(ModBusRtu& rtu, std::uint8_t address, const ModBusRequest& request,
                       std::uint32_t timeoutMs, const std::atomic<bool>* cancel, const RetryObserver& onNoAnswer)
{
    const std::uint64_t generation = rtu.Generation();
    const auto cancelled = [&] { return (cancel && cancel->load()) || rtu.Generation() != generation; };
    constexpr int kBusy = 6;
    constexpr int kMaxRepeats = kMostAttempts - 2;
    for (int n = 0;; ++n) {
        try {
            rtu.Transact(address, request, timeoutMs, n == 0 ? ModBusRtu::Attempt::First : ModBusRtu::Attempt::Repeat);
            return;
        } catch (ModBusPdu::error_t e) {
            if (e != kBusy || n > kMaxRepeats || cancelled())
                throw;
        } catch (ModBusRtu::error_t e) {
            if (e == ModBusRtu::kPortLost || n > kMaxRepeats || cancelled() || !rtu.IsOpen())
                throw;
            if (onNoAnswer)
                onNoAnswer(n + 2);
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
}
