#include "link_thread.h"

#include "link_messages.h"

#include <exception>
#include <new>
#include <utility>

namespace {

const char* PduErrorMessage(std::int32_t code)
{
    switch (code) {
    case 1:
        return "Запрошен неверный код операции";
    case 2:
        return "Запрошен неверный адрес регистра";
    case 3:
        return "Неверные данные в запросе";
    case 6:
        return "Устройство занято";
    default:
        return nullptr;
    }
}

bool ShowsProgressDialog(std::int32_t command)
{
    return command >= SaveToNVRAM && command <= SaveVokParams;
}

} // namespace

TLink1Thread::TLink1Thread(MeterRegisters& registers, LinkFront& front, FrontDispatcher& dispatcher)
    : registers_(registers), front_(front), dispatcher_(dispatcher), thread_([this] { Run(); })
{
}

TLink1Thread::~TLink1Thread() { Stop(); }

bool TLink1Thread::OpenLink(const std::string& portName, std::uint32_t baud, std::uint32_t timeoutMs,
                            std::int32_t address, PortOpenFailure* why)
{
    FTimeout = timeoutMs;
    FAddress = address;
    {
        std::lock_guard lock(portNameLock_);
        FPortName = portName;
    }
    if (scanning_) {
        if (why)
            *why = {PortOpenError::AlreadyOpen, 0};
        return false;
    }
    if (!OpenTapped(portName, StreamSettings{baud, ConnectTimeoutFor(timeoutMs), LineOptionsNow()}, why))
        return false;
    if (tap_)
        tap_->ResetStatistics();
    return true;
}

void TLink1Thread::SetLineOptions(const LineOptions& line)
{
    std::lock_guard lock(portNameLock_);
    line_ = line;
}

LineOptions TLink1Thread::LineOptionsNow()
{
    std::lock_guard lock(portNameLock_);
    return line_;
}

void TLink1Thread::SettleLine()
{
    if (FRtu.IsOpen())
        FRtu.Settle();
}

void TLink1Thread::CloseLink() { FRtu.Close(); }

bool TLink1Thread::Enqueue(QueuedCommand command)
{
    std::lock_guard lock(FQueueLock);
    if (!FRtu.IsOpen() || stopping_ || scanning_ || FCommands.size() >= 2)
        return false;
    FCommands.push_back(std::move(command));
    FCommandEvent.Set();
    return true;
}

bool TLink1Thread::PostCommand(std::int32_t command)
{
    return Enqueue(QueuedCommand{command, nullptr, {}});
}

bool TLink1Thread::PostWrite(RegListItemData& target, const std::string& text)
{
    return Enqueue(QueuedCommand{LinkCommand::WriteReg, &target, text});
}

void TLink1Thread::Stop()
{
    if (stopping_.exchange(true))
        return;
    {
        std::lock_guard lock(FQueueLock);
        FCommands.clear();
    }
    FRtu.Close();
    scanCancel_ = true;
    FCommandEvent.Set();
    // The running command may be handing a step to this thread; serve such
    // steps (they do nothing now) until the thread has ended.
    dispatcher_.ServeUntil([this] { return runEnded_.load(); });
    thread_.join();
}

void TLink1Thread::Run()
{
    Execute();
    runEnded_ = true;
    dispatcher_.Wake();
}

std::uint64_t TLink1Thread::CommandsEnded(std::int32_t command) const
{
    std::lock_guard lock(endedLock_);
    const auto found = commandsEnded_.find(command);
    return found == commandsEnded_.end() ? 0 : found->second;
}

void TLink1Thread::Execute()
{
    while (!stopping_) {
        FCommandEvent.Wait();
        for (;;) {
            QueuedCommand command{-1, nullptr, {}};
            {
                std::lock_guard lock(FQueueLock);
                if (FCommands.empty() || stopping_)
                    break;
                command = std::move(FCommands.front());
                FCommands.pop_front();
            }
            Dispatch(command);
        }
    }
}

void TLink1Thread::Dispatch(const QueuedCommand& command)
{
    // Anything other than the two transaction errors that escapes a command
    // ends just that command with a message; the thread goes on serving.
    std::string failure;
    commandGeneration_ = FRtu.Generation();
    try {
        switch (command.number) {
        case LinkCommand::Poll:
            Poll();
            break;
        case LinkCommand::WriteReg:
            if (command.writeTarget)
                WriteReg(*command.writeTarget, command.writeText);
            break;
        case LinkCommand::SaveToNVRAM:
            SaveToNVRAM();
            break;
        case LinkCommand::LoadFactory:
            LoadFactory();
            break;
        case LinkCommand::LoadVokParams:
            LoadVokParams();
            break;
        case LinkCommand::SaveVokParams:
            SaveVokParams();
            break;
        case LinkCommand::VerifyVokParams:
            VerifyVokParams();
            break;
        case LinkCommand::FindMeter:
            FindMeter();
            break;
        case LinkCommand::TakeSnapshot:
            TakeSnapshot();
            break;
        default:
            break; // unknown numbers are dropped
        }
    } catch (const std::bad_alloc&) {
        failure = "Команда не выполнена: недостаточно памяти";
    } catch (const std::exception& e) {
        failure = std::string("Команда не выполнена: ") + e.what();
    } catch (...) {
        failure = "Команда не выполнена: неизвестная ошибка";
    }
    if (!failure.empty()) {
        // The front failing again here must not end the thread either.
        try {
            ShowError(failure);
        } catch (...) {
        }
        try {
            if (ShowsProgressDialog(command.number))
                CloseProgress();
        } catch (...) {
        }
    }
    {
        std::lock_guard lock(endedLock_);
        ++commandsEnded_[command.number];
    }
    dispatcher_.Wake();
}

void TLink1Thread::RunOnUi(const std::function<void()>& step)
{
    RunOnUiNoWait(step);
    FDoneEvent.Wait();
}

void TLink1Thread::RunOnUiNoWait(const std::function<void()>& step)
{
    // The step travels through a lock and an event of our own besides the
    // dispatcher's hand-over, so that the order of the two threads'
    // accesses is visible to the thread sanitizer whatever primitives the
    // dispatcher uses (Qt's are not instrumented).
    {
        std::lock_guard lock(handOffLock_);
        handOffStep_ = &step;
    }
    dispatcher_.RunOnFrontThread(handOffRunner_);
    handOffReturned_.Wait();
    std::exception_ptr failure;
    {
        std::lock_guard lock(handOffLock_);
        failure = std::exchange(handOffFailure_, nullptr);
    }
    if (failure) {
        // The step may have signalled before it failed; nothing waits for
        // that signal now.
        FDoneEvent.Reset();
        std::rethrow_exception(failure);
    }
}

void TLink1Thread::RunHandOffStep()
{
    const std::function<void()>* step;
    {
        std::lock_guard lock(handOffLock_);
        step = handOffStep_;
    }
    // A step that fails must not unwind through the front's event loop: the
    // failure goes back to the command, which ends with its message.
    std::exception_ptr failure;
    try {
        (*step)();
    } catch (...) {
        failure = std::current_exception();
    }
    {
        std::lock_guard lock(handOffLock_);
        handOffFailure_ = failure;
    }
    handOffReturned_.Set();
}

void TLink1Thread::ShowError(const std::string& text)
{
    FErrorText = text;
    RunOnUi([this] { SyncShowError(); });
}

void TLink1Thread::ShowStatus(const std::string& text)
{
    RunOnUiNoWait([this, &text] {
        if (!stopping_)
            front_.ShowStatus(text);
    });
}

void TLink1Thread::SyncShowError()
{
    if (!stopping_)
        front_.ShowError(FErrorText);
    FDoneEvent.Set();
}

bool TLink1Thread::CommandLinkEnded() { return !FRtu.IsOpen() || FRtu.Generation() != commandGeneration_; }

void TLink1Thread::ReportPduError(std::int32_t code)
{
    if (CommandLinkEnded() || stopping_)
        return;
    if (const char* message = PduErrorMessage(code))
        ShowError(message);
}

void TLink1Thread::ReportLinkError(std::int32_t)
{
    if (CommandLinkEnded() || stopping_)
        return;
    ShowError("Ошибка связи с влагомером");
}

void TLink1Thread::ReportPortLost()
{
    if (CommandLinkEnded() || stopping_)
        return;
    // Closed here, before the front hears of it, so that queued commands
    // fail silently and the front can offer "Открыть" again.
    FRtu.Close();
    FErrorText = PortLostMessage(PortName());
    RunOnUi([this] {
        if (!stopping_)
            front_.PortLost(FErrorText);
        FDoneEvent.Set();
    });
}

std::string TLink1Thread::PortName()
{
    std::lock_guard lock(portNameLock_);
    return FPortName;
}

void TLink1Thread::SetProgress(std::int32_t position)
{
    FProgress = position;
    RunOnUi([this] { SyncSetProgress(); });
}

void TLink1Thread::SyncSetProgress()
{
    if (!stopping_)
        front_.SetProgress(FProgress);
    FDoneEvent.Set();
}

void TLink1Thread::CloseProgress()
{
    RunOnUiNoWait([this] {
        if (!stopping_)
            front_.CloseProgress();
    });
}

void TLink1Thread::TransactWithRetry(const ModBusRequest& request, const RetryObserver& onNoAnswer)
{
    if (FRtu.Generation() != commandGeneration_)
        throw ModBusRtu::kTimeOut;
    ::TransactWithRetry(FRtu, static_cast<std::uint8_t>(FAddress.load() & 0xFF), request, FTimeout.load(),
                        &stopping_, onNoAnswer);
}

void TLink1Thread::Guarded(const std::function<void()>& transactions, const std::function<void(bool)>& onFailure)
{
    try {
        transactions();
    } catch (ModBusPdu::error_t e) {
        if (onFailure)
            onFailure(false);
        ReportPduError(e);
    } catch (ModBusRtu::error_t e) {
        if (e == ModBusRtu::kPortLost) {
            ReportPortLost();
        } else {
            if (onFailure)
                onFailure(true);
            ReportLinkError(e);
        }
    }
}
