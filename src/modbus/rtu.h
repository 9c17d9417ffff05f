#pragma once
// The master end of a Modbus RTU serial line: frames by line silence (or,
// with fast framing, by the length an answer's header gives), CRC-16, and
// the request/answer transaction on top. The line is a local serial port,
// or a TCP connection to a gateway for a port named tcp://HOST:PORT.
//
// Every answer belongs to its request. A transaction settles the line first
// when earlier requests may still be answered (it waits until those answers
// have come, or their time has passed), drops every frame that began before
// its request went out (bytes that were waiting count as begun before), and
// takes only an answer that fits the request. A repeat of the same request
// may take the late answer to an earlier attempt: it carries the same
// registers. A meter that sends an answer twice has the copy dropped.

#include "echo_mode.h"
#include "frame_queue.h"
#include "pdu.h"
#include "port_open_error.h"
#include "streams.h"
#include "time_limit.h"
#include "traffic.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class ModBusRtu : public ModBusAnswer {
public:
    // Link-level failure, thrown by value.
    enum error_t : std::int32_t {};
    static constexpr error_t kTimeOut{1};         // no answer in time, or the link was closed
    static constexpr error_t kCrcError{2};        // an answer for the address with a wrong CRC
    static constexpr error_t kWriteFailed{3};     // the request could not be written
    static constexpr error_t kWriteSetUp{4};      // kept for its number; cannot happen here
    static constexpr error_t kMalformedAnswer{5}; // not a well-formed answer, or not one to the request
    static constexpr error_t kPortLost{6};        // the device is gone (unplugged, hung up)

    enum class Attempt { First, Repeat };

    using Clock = std::chrono::steady_clock;

    static constexpr std::uint32_t kInfinite = kNoTimeLimit;
    static constexpr std::uint32_t kFrameCapacity = 256;
    static constexpr std::uint32_t kShortestFrame = 5;
    // A frame ends once the line has been silent this long after a byte.
    static constexpr std::chrono::milliseconds kSilence{20};

    ModBusRtu();
    ModBusRtu(const ModBusRtu&) = delete;
    ModBusRtu& operator=(const ModBusRtu&) = delete;
    ~ModBusRtu();

    // False when the channel is open already or the port does not open;
    // `why` (when given) then says which. A tcp:// name connects.
    bool Open(const std::string& portName, const StreamSettings& settings, PortOpenFailure* why = nullptr);
    bool Open(const std::string& portName, std::uint32_t baud, PortOpenFailure* why = nullptr)
    {
        return Open(portName, StreamSettings{baud, {}}, why);
    }
    void Close();
    bool IsOpen() const { return open_.load(); }
    // Changes at every open and close: an exchange that began under one
    // value belongs to a link that has since ended when it differs.
    std::uint64_t Generation();

    // Frames the PDU placed at frame + 1 (length bytes) and writes it.
    void SendFrame(std::uint8_t address, std::uint32_t timeoutMs);
    // Waits for a frame for `address` that began after the exchange started;
    // on return data/length describe its PDU. The time-out bounds the first
    // byte of the answer: a frame begun in time is waited for to its end.
    void ReceiveFrame(std::uint8_t address, std::uint32_t timeoutMs);

    void SendRequest(std::uint8_t address, const ModBusRequest& request, std::uint32_t timeoutMs);
    void ReceiveAnswer(std::uint8_t address, std::uint32_t timeoutMs);
    // The time-out is a budget for the exchange. A first attempt settles the
    // line before it sends; a repeat keeps the exchange of the attempt before.
    void Transact(std::uint8_t address, const ModBusRequest& request, std::uint32_t timeoutMs,
                  Attempt attempt = Attempt::First);

    // Fast framing: an answer is handed over the moment it is whole by the
    // length its header gives and its CRC is right, without waiting for the
    // silence; whatever gives no length, or fails its CRC at that length,
    // still ends by silence. Off by default; takes effect from the next frame.
    void SetFastFraming(bool on) { fastFraming_.store(on); }
    bool FastFraming() const { return fastFraming_.load(); }

    // Local echo (see echo_mode.h), Auto by default. A change takes effect
    // at once; Auto then learns anew. On a line that may echo, a first
    // write of one register while it is not yet known is preceded by a read
    // of that register, whose echo tells.
    void SetEcho(EchoMode mode);
    EchoMode Echo() const { return echoMode_.load(); }

    // Waits until the answers still due to our earlier requests have come,
    // or until their answer windows (each counted from its request: its
    // time-out or one and a half times the slowest answer seen in this open
    // period, whichever is longer, plus the silence) have passed, and drops what came. Traffic
    // that answers none of our requests never prolongs it. After the first
    // answer of an open period it also waits a moment for a copy of it, to
    // learn whether the meter answers twice. Returns at once when nothing is
    // due. Close ends the wait.
    void Settle();

    // The frame last built for sending or last taken over from the reader.
    const std::uint8_t* Frame() const { return frame; }
    std::uint32_t FrameLength() const { return frameLength; }

    // The observer of the traffic (nullptr for none); set it while the
    // channel is closed. Without one the tap costs a pointer test.
    void SetObserver(TrafficObserver* observer) { observer_.store(observer, std::memory_order_release); }

private:
    // The tap: each call tells the observer, when there is one.
    void Note(TrafficKind kind, std::uint8_t code = 0)
    {
        if (TrafficObserver* o = observer_.load(std::memory_order_acquire)) [[unlikely]]
            Tell(*o, kind, nullptr, 0, Clock::now(), code);
    }
    void NoteBytes(TrafficKind kind, const std::uint8_t* bytes, std::uint32_t count, Clock::time_point at)
    {
        if (TrafficObserver* o = observer_.load(std::memory_order_acquire)) [[unlikely]]
            Tell(*o, kind, bytes, count, at, 0);
    }
    void NoteSent();
    // A time-out, told to the observer.
    [[noreturn]] void ThrowTimeOut();
    void NoteAnswer(std::int32_t exception);
    void Tell(TrafficObserver& observer, TrafficKind kind, const std::uint8_t* bytes, std::uint32_t count,
              Clock::time_point at, std::uint8_t code, std::int64_t detail = 0);

    void ReaderLoop(ByteStream& port, std::promise<void>& reading);
    void PauseAfterReadError(int ms);
    // Hands the frame collected in received_.Filling() to the receive;
    // one that is too short is dropped.
    void HandOver(std::uint32_t count, Clock::time_point started);
    // Queues the frame of `count` bytes at the start of received_.Filling(),
    // unless it is a copy of the answer before it.
    void TakeFrame(std::uint32_t count, Clock::time_point started);
    bool IsCopy(const std::uint8_t* bytes, std::uint32_t count, Clock::time_point started);
    // The exchange of the open request the frame answers; 0 for none.
    std::uint64_t CountAnswer(const std::uint8_t* bytes, std::uint32_t count, Clock::time_point started);
    void MarkLost();
    void CheckAnswer(const ModBusRequest& request);
    // Echo handling, all under handoverLock: the echo expected now (its
    // length, 0 for none), and taking it off the head of a burst.
    std::uint32_t EchoExpected() const;
    std::uint32_t TakeEcho(std::uint32_t count, Clock::time_point started);
    void LearnEcho(std::uint8_t address, const ModBusRequest& request, std::uint32_t timeoutMs);

    std::uint8_t frame[kFrameCapacity];
    std::uint32_t frameLength = 0;
    std::atomic<std::int32_t> stopFlag{0};
    // The streams a port name may stand for; Open picks one. Both live as
    // long as the channel, so that a send that raced a Close and an Open
    // never finds its stream gone.
    const std::unique_ptr<ByteStream> serial_ = MakeSerialStream();
    const std::unique_ptr<ByteStream> tcp_ = MakeTcpStream();
    std::atomic<ByteStream*> port_{serial_.get()};
    std::thread readerThread;

    // The hand-over between the reader thread and the receive, and what the
    // line owes: all guarded by handoverLock, signalled by frameEvent.
    std::mutex handoverLock;
    std::condition_variable frameEvent;
    FrameQueue received_; // frames handed over and not yet taken
    std::optional<Clock::time_point> frameStarted_; // first byte of a frame being collected
    // What a request saw of the input when it went out with no frame being
    // collected: the last time it was empty and the first time bytes were
    // waiting since the reader last took any. The first bytes the reader
    // takes next are dated between the two, so that bytes that came before
    // a request are never its answer and bytes that came after it always
    // may be, however late the reader gets to them.
    std::optional<Clock::time_point> inputEmptyAt_;
    std::optional<Clock::time_point> inputWaitingAt_;
    Clock::time_point DateFirstBytes(Clock::time_point lastReadEnd, Clock::time_point noticed);
    // A request that went out and has had no answer yet: when, to whom,
    // and its first PDU bytes, enough to tell whether a frame answers it.
    struct Unanswered {
        Clock::time_point sent;
        std::uint64_t exchange;
        // Its exchange was answered after repeats: its own answer may still
        // come, and is then known for what it is until the longest guard.
        bool outstanding = false;
        Clock::duration timeout;
        std::uint8_t address;
        std::uint8_t head[5];
    };
    std::deque<Unanswered> unanswered_; // oldest first
    // How long after a request its answer may still come: its time-out or
    // one and a half times the slowest answer seen in this open period,
    // whichever is longer, plus the silence; never longer than the longest
    // guard.
    Clock::duration AnswerWindow(const Unanswered& request) const;
    // Requests sent longer than the longest guard before `now` are given up.
    void ForgetExpired(Clock::time_point now);
    // The last frame that answered one of our requests, and when it was
    // handed over, for telling its copy; empty once a copy was dropped.
    std::uint8_t lastAnswer_[kFrameCapacity];
    std::uint32_t lastAnswerLength_ = 0;
    Clock::time_point lastAnswerAt_;
    bool sentSinceAnswer_ = false; // a request went out after that answer
    // Whether the meter sends its answers twice, as learnt in this open
    // period: the first answer is watched for a copy for a while.
    enum class Copies { Unknown, Watching, None, Seen };
    Copies copies_ = Copies::Unknown;
    Clock::duration slowestAnswer_{0};              // longest time from a send to its answer
    std::uint64_t generation_ = 0;                  // counts opens and closes
    // The request last sent, and whether its echo may still come.
    enum class EchoLine { Unknown, Echoes, Quiet };
    EchoLine echoLine_ = EchoLine::Unknown;
    std::uint8_t request_[kFrameCapacity];
    std::uint32_t requestLength_ = 0;
    bool echoDue_ = false;
    bool lost_ = false;
    Clock::duration frameOverrun_{0}; // how long a frame begun in time may take to end

    // When the exchange in progress began (link thread only): frames that
    // began earlier are not its answer.
    Clock::time_point exchangeStart_;
    // Counts the exchanges (link thread only; copied into their requests
    // under handoverLock): an answer to a request of an earlier exchange,
    // however late, is never taken for an answer to this one.
    std::uint64_t exchange_ = 0;
    void BeginExchange();

    // For the tap (link thread only): whether the request going out repeats
    // the one before, when it ended on the line, when its answer began, and
    // how long a byte takes on the line.
    bool repeating_ = false;
    int attempt_ = 0; // of the request going out, 1 the first
    Clock::time_point requestEnd_;
    Clock::time_point takenStart_;
    Clock::duration byteTime_{0};
    std::atomic<TrafficObserver*> observer_{nullptr};

    std::atomic<bool> open_{false};
    std::atomic<bool> fastFraming_{false};
    std::atomic<EchoMode> echoMode_{EchoMode::Auto};
    std::mutex lifecycleLock_; // orders Open and Close from any thread
    std::mutex pauseLock_;
    std::condition_variable pauseWake_;
};

// The retry policy: busy answers (exception 6) and link failures are
// repeated, up to 102 attempts in all, with 1 ms between attempts; any other
// exception answer is thrown at once, and so is a lost port. A set `cancel`
// flag ends the repeats and throws the last failure; so does a channel that
// was closed (or closed and opened again) since the first attempt, so that
// no repeat goes out over a link the user has since set up anew.
// `onNoAnswer`, when given, is called after each attempt that failed on
// the link, with the number of the attempt about to repeat it (2 to
// kMostAttempts).
using RetryObserver = std::function<void(int nextAttempt)>;
void TransactWithRetry(ModBusRtu& rtu, std::uint8_t address, const ModBusRequest& request,
                       std::uint32_t timeoutMs, const std::atomic<bool>* cancel = nullptr,
                       const RetryObserver& onNoAnswer = {});
