#pragma once
// The link thread: owns the serial channel, takes command numbers from a
// bounded queue and carries them out, handing steps to the front's thread.

#include "auto_reset_event.h"
#include "front_dispatcher.h"
#include "link_front.h"
#include "line_options.h"
#include "link_tap.h"
#include "pdu.h"
#include "rtu.h"
#include "scan_front.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

class RegListItemData;
struct MeterRegisters;
struct MeterConfig;
struct ScriptValidation;

enum LinkCommand : std::int32_t {
    Poll = 0,
    WriteReg = 1,
    SaveToNVRAM = 2,
    LoadFactory = 3,
    LoadVokParams = 4,
    SaveVokParams = 5,
    VerifyVokParams = 6, // compares the meter with the file of GetOpenFileName
    FindMeter = 7, // posted by PostScan only
    TakeSnapshot = 8, // reads the configuration as the dump does and hands it to the front
};

class TLink1Thread final {
public:
    // Starts the thread at once; it waits for commands. The steps of the
    // commands run on the front's thread, through `dispatcher`; create the
    // link on that thread.
    TLink1Thread(MeterRegisters& registers, LinkFront& front, FrontDispatcher& dispatcher);
    TLink1Thread(const TLink1Thread&) = delete;
    TLink1Thread& operator=(const TLink1Thread&) = delete;
    ~TLink1Thread();

    // Stores time-out and address, then opens the channel; `why` (when
    // given) says why it did not open. A tcp:// port is given ten answer
    // time-outs, at least 2 s, to connect; its speed is ignored.
    bool OpenLink(const std::string& portName, std::uint32_t baud, std::uint32_t timeoutMs,
                  std::int32_t address, PortOpenFailure* why = nullptr);
    // Closes the channel at once; a running transaction fails silently.
    void CloseLink();
    // Fast framing of the channel's answers (off by default), from the next
    // frame on, open or not.
    void SetFastFraming(bool on) { FRtu.SetFastFraming(on); }
    void SetEcho(EchoMode mode) { FRtu.SetEcho(mode); }
    // RS-485 mode and the held lines of the next opens (the link's own and
    // the scan's); an open port keeps what it was opened with.
    void SetLineOptions(const LineOptions& line);
    bool FastFraming() const { return FRtu.FastFraming(); }
    bool IsLinkOpen() const { return FRtu.IsOpen(); }
    // When on, a commit the meter confirmed and a load without a failed line
    // are followed by a read of the configuration as left, for the front's
    // history. Off by default: a front without a history saves the reads.
    void SetAsLeftSnapshots(bool on) { asLeft_ = on; }
    // When on, the first good poll of a meter whose serial number the open
    // link has not met yet is followed by a read of its configuration as
    // found; a new open meets every meter anew. Off by default.
    void SetAsFoundSnapshots(bool on) { asFound_ = on; }

    // Queues a command while the link is open and fewer than two wait.
    bool PostCommand(std::int32_t command);
    // Queues WriteReg bound to its target row and text.
    bool PostWrite(RegListItemData& target, const std::string& text);

    // Waits, while no command runs, for the answers still due to the
    // requests of the last command, so that nothing of them is left on the
    // line for whoever opens the port next.
    void SettleLine();

    // The traffic tap, made on the first call: from then on every open of
    // the link sets it as the channel's observer and starts its statistics
    // anew. Call it on the front's thread while the link is closed; the
    // capacity (entries that may wait for the front) counts on the first call.
    LinkTap& WatchTraffic(std::size_t queueCapacity = LinkTap::kQueueCapacity);

    // Queues a scan for meters on `request.port`. Taken only while the link
    // is closed and nothing else is queued or scanning; the scan opens and
    // closes the port itself, and commands are refused until it has ended.
    // The steps go to `front`.
    bool PostScan(ScanRequest request, ScanFront& front);
    // Ends a running scan at once (from any thread); its front hears of it.
    void CancelScan();
    bool IsScanning() const { return scanning_.load(); }

    // Orderly stop: closes the channel, drops queued commands, lets the
    // running one end without messages and joins the thread. Call it on the
    // front's thread: it serves the steps of the running command meanwhile.
    void Stop();

    // How many commands of this number have ended, whatever their outcome;
    // the dispatcher is woken at each end. Fronts without a dialog of their
    // own wait for a change.
    std::uint64_t CommandsEnded(std::int32_t command) const;
    FrontDispatcher& Dispatcher() const { return dispatcher_; }
    // Until the thread has ended (after Stop).
    bool IsRunning() const { return !runEnded_.load(); }

private:
    struct QueuedCommand {
        std::int32_t number;
        RegListItemData* writeTarget = nullptr;
        std::string writeText;
    };

    bool Enqueue(QueuedCommand command);
    // Opens the channel with the tap as its observer, when there is one.
    bool OpenTapped(const std::string& portName, const StreamSettings& settings, PortOpenFailure* why);
    LineOptions LineOptionsNow();
    void Execute();
    void Dispatch(const QueuedCommand& command);

    void Run();
    // Runs, on the front's thread, the step that RunOnUi handed over.
    void RunHandOffStep();
    void RunOnUi(const std::function<void()>& step);
    void RunOnUiNoWait(const std::function<void()>& step);
    void ShowError(const std::string& text);
    // A note for the status line; the front's thread shows it while this
    // thread goes on.
    void ShowStatus(const std::string& text);
    // Whether the link the running command began on has been closed since
    // (and maybe opened anew): its failures are then nobody's to hear of.
    bool CommandLinkEnded();
    void ReportPduError(std::int32_t code);
    void ReportLinkError(std::int32_t code);
    // Closes the channel and lets the front end the link with one message.
    void ReportPortLost();
    std::string PortName();
    void SetProgress(std::int32_t position);
    // Ends the command with code 1 once the link it began on has ended, so
    // that no command goes on over a link opened anew with other settings.
    // `onNoAnswer`, when given, hears of each attempt that got no answer
    // before its repeat goes out.
    void TransactWithRetry(const ModBusRequest& request, const RetryObserver& onNoAnswer = {});
    // Runs the transactions of a command; the first failure ends them, runs
    // `onFailure` when given (true for a link failure, false for an exception
    // answer), and becomes the message for its kind and code.
    void Guarded(const std::function<void()>& transactions, const std::function<void(bool)>& onFailure = {});
    void CloseProgress();

    // Commands.
    void Poll();
    void WriteReg(RegListItemData& target, const std::string& text);
    void SaveToNVRAM();
    void LoadFactory();
    void LoadVokParams();
    void SaveVokParams();
    // False when the port was lost on the way; `failedWrites` counts the
    // writes the report calls failed.
    bool RunScript(const ScriptValidation& script, int& failedWrites);
    void ProgressSweep(int pauseMs);
    void VerifyVokParams();
    VerifyResult VerifyAgainstFile(const std::string& path);
    void FindMeter();
    void TakeSnapshot();
    // After a change the meter took in full (a confirmed commit, a load
    // without a failed line): the configuration as it was left.
    void TakeAsLeft();
    // After a good poll: the configuration as found, once per meter and open.
    void TakeAsFound();
    // The dump's reads of the whole configuration, in its order; throws
    // the transaction errors. `onStage` runs where the dump's progress moves.
    void ReadConfiguration(MeterConfig& config, const std::function<void()>& onStage = {});
    // Hands a configuration read in full to the front.
    void HandOverConfiguration(const MeterConfig& config, SnapshotKind kind);
    // Reads the configuration as a dump does and hands it over; a failed read hands over nothing.
    void ReadAndHandOverConfiguration(SnapshotKind kind);
    void Scan(const ScanRequest& request, ScanFront& front);
    // One probe of the scan; the meter found there, if any.
    std::optional<FoundMeter> Probe(const ScanProbe& probe, const ScanRequest& request);
    bool ScanStopped() const;

    // Window-thread steps.
    void SyncRefresh();
    void SyncPollFailed(bool noAnswer);
    void SyncShowError();
    void SyncSetProgress();

    MeterRegisters& registers_;
    LinkFront& front_;
    FrontDispatcher& dispatcher_;

    std::mutex FQueueLock;
    AutoResetEvent FCommandEvent;
    AutoResetEvent FDoneEvent;
    std::deque<QueuedCommand> FCommands;
    ModBusRtu FRtu;
    std::uint64_t commandGeneration_ = 0; // FRtu's generation when the running command began
    std::atomic<std::uint32_t> FTimeout{200};
    std::atomic<std::int32_t> FAddress{1};
    std::mutex portNameLock_;
    std::string FPortName; // the port of the last OpenLink, for the lost-port message
    LineOptions line_;     // under portNameLock_
    ModBusRequest FWriteRequest;
    std::string FFileName;
    std::string FErrorText;
    std::vector<std::string> FReport;
    std::int32_t FProgress = 0;

    std::unique_ptr<LinkTap> tap_;
    // The scan that PostScan queued, for FindMeter to take (under FQueueLock).
    std::unique_ptr<ScanRequest> scanRequest_;
    ScanFront* scanFront_ = nullptr;
    std::atomic<bool> scanning_{false};
    std::atomic<bool> scanCancel_{false};

    std::atomic<bool> stopping_{false};
    std::atomic<bool> asLeft_{false};
    std::atomic<bool> asFound_{false};
    // The serial numbers met since the link was opened (link thread only).
    std::uint64_t asFoundGeneration_ = 0;
    std::set<std::string> asFoundSerials_;
    std::mutex handOffLock_;
    const std::function<void()>* handOffStep_ = nullptr;
    std::exception_ptr handOffFailure_;
    AutoResetEvent handOffReturned_;
    // The latest unanswered attempt of a poll, waiting for the front's
    // thread; it travels through a lock of our own, which the thread
    // sanitizer sees, not inside the dispatcher's posted task.
    struct RepeatNotice {
        int attempt;
        std::uint64_t generation;
    };
    std::mutex repeatNoticeLock_;
    std::optional<RepeatNotice> repeatNotice_;
    // Tells the front, on its thread, of the latest unanswered attempt of
    // a poll, unless the link it was made on has ended since.
    void DeliverPollRepeating();
    // A task posted to the front's thread reaches this object only while it
    // lives: the token ends in the destructor, on that same thread.
    const std::shared_ptr<TLink1Thread*> self_ = std::make_shared<TLink1Thread*>(this);
    const std::function<void()> handOffRunner_{[this] { RunHandOffStep(); }};

    mutable std::mutex endedLock_;
    std::map<std::int32_t, std::uint64_t> commandsEnded_;
    std::atomic<bool> runEnded_{false};
    std::thread thread_; // last: it starts once everything above exists
};
