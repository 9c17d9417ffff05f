#include "serial_port.h"

#include "wait_time.h"
#include "wide_text.h"

#include <algorithm>
#include <cwchar>
#include <cstring>

namespace {

// The driver's queues, as large as the longest frame and then some.
constexpr DWORD kQueueSize = 256;
// A read completes once this long passes without a byte after the first.
// Reads here ask for no more than the queue holds or for one byte, so the
// interval never holds one back; it stays as the line's setting.
constexpr DWORD kReadIntervalMs = 20;

// Errors of a read or a write on a device that is gone: a USB adapter
// pulled out answers with one of these, and so does a handle whose device
// the system has removed under it.
bool DeviceGone(DWORD error)
{
    switch (error) {
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_IO_DEVICE:
    case ERROR_NOT_READY:
    case ERROR_BROKEN_PIPE:
    case ERROR_HANDLE_EOF:
        return true;
    default:
        return false;
    }
}

PortOpenError OpenErrorOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return PortOpenError::NoSuchPort;
    // A port another program holds answers "access denied" on Windows.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return PortOpenError::Busy;
    default:
        return PortOpenError::Failed;
    }
}

// The line settings: 8N1 at `baud`, then binary mode, no parity check and
// no flow control, so that a port another program left with XON/XOFF does
// not eat 0x11 and 0x13 bytes of answers.
bool ApplyLineSettings(HANDLE port, std::uint32_t baud, PortOpenFailure& why)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb)) {
        why = {PortOpenError::NotSerialPort, static_cast<int>(::GetLastError())};
        return false;
    }
    wchar_t definition[64];
    std::swprintf(definition, 64, L"baud=%u parity=n data=8 stop=1", static_cast<unsigned>(baud));
    if (!::BuildCommDCBW(definition, &dcb)) {
        why = {PortOpenError::SpeedRefused, static_cast<int>(::GetLastError())};
        return false;
    }
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(port, &dcb)) {
        const DWORD error = ::GetLastError();
        why = {error == ERROR_INVALID_PARAMETER ? PortOpenError::SpeedRefused : PortOpenError::Failed,
               static_cast<int>(error)};
        return false;
    }
    DCB check{};
    check.DCBlength = sizeof check;
    if (!::GetCommState(port, &check)) {
        why = {PortOpenError::Failed, static_cast<int>(::GetLastError())};
        return false;
    }
    if (check.BaudRate != baud) {
        why = {PortOpenError::SpeedRefused, 0};
        return false;
    }
    return true;
}

// RS-485 mode and the held lines, as a change of the DCB of their own, so
// that a driver refusing them is told apart from a refused speed. RS-485
// mode is the DCB's RTS toggle: the driver raises RTS while it sends. The
// DCB has no delays around the frame, so the options' delays do nothing
// here. A line kept as it is stays on, as the port has always opened.
bool ApplyLineControl(HANDLE port, const LineOptions& line, PortOpenFailure& why)
{
    if (!line.rs485 && line.dtr == LineHold::Keep && line.rts == LineHold::Keep)
        return true;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb)) {
        why = {PortOpenError::Failed, static_cast<int>(::GetLastError())};
        return false;
    }
    if (line.dtr != LineHold::Keep)
        dcb.fDtrControl = line.dtr == LineHold::On ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    if (line.rs485)
        dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    else if (line.rts != LineHold::Keep)
        dcb.fRtsControl = line.rts == LineHold::On ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    if (!::SetCommState(port, &dcb)) {
        why = {line.rs485 ? PortOpenError::Rs485Refused : PortOpenError::LinesRefused,
               static_cast<int>(::GetLastError())};
        return false;
    }
    if (line.rs485) {
        // A driver may take the DCB and drop the toggle without a word.
        DCB check{};
        check.DCBlength = sizeof check;
        if (::GetCommState(port, &check) && check.fRtsControl != RTS_CONTROL_TOGGLE) {
            why = {PortOpenError::Rs485Refused, ERROR_NOT_SUPPORTED};
            return false;
        }
    }
    return true;
}

} // namespace

SerialPort::~SerialPort() { Close(); }

std::string SerialPort::DevicePath(const std::string& portName)
{
    if (portName.rfind("\\\\.\\", 0) == 0)
        return portName;
    return "\\\\.\\" + portName;
}

bool SerialPort::Open(const std::string& portName, const StreamSettings& settings, PortOpenFailure* why)
{
    PortOpenFailure failure;
    const auto done = [&](bool opened) {
        if (why)
            *why = failure;
        return opened;
    };
    std::lock_guard lock(ioLock_);
    if (port_) {
        failure = {PortOpenError::AlreadyOpen, 0};
        return done(false);
    }
    if (portName.empty()) {
        failure = {PortOpenError::NoSuchPort, 0};
        return done(false);
    }
    UniqueHandle port(::CreateFileW(Widen(DevicePath(portName)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!port) {
        const DWORD error = ::GetLastError();
        failure = {OpenErrorOf(error), static_cast<int>(error)};
        return done(false);
    }
    if (::GetFileType(port.get()) != FILE_TYPE_CHAR) {
        failure = {PortOpenError::NotSerialPort, 0};
        return done(false);
    }
    ::SetupComm(port.get(), kQueueSize, kQueueSize);
    if (!ApplyLineSettings(port.get(), settings.baud, failure) || !ApplyLineControl(port.get(), settings.line, failure))
        return done(false);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    if (!::SetCommTimeouts(port.get(), &timeouts)) {
        failure = {PortOpenError::Failed, static_cast<int>(::GetLastError())};
        return done(false);
    }
    // Whatever an earlier program left in the queues is not ours.
    ::PurgeComm(port.get(), PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);

    UniqueHandle wake = MakeEvent();
    UniqueHandle readEvent = MakeEvent();
    UniqueHandle writeEvent = MakeEvent();
    if (!wake || !readEvent || !writeEvent) {
        failure = {PortOpenError::Failed, static_cast<int>(::GetLastError())};
        return done(false);
    }
    port_ = std::move(port);
    wake_ = std::move(wake);
    readEvent_ = std::move(readEvent);
    writeEvent_ = std::move(writeEvent);
    waitPending_ = false;
    byteHeld_ = false;
    readEventForQueries_ = readEvent_.get();
    portForQueries_ = port_.get();
    failure = {};
    return done(true);
}

void SerialPort::Interrupt()
{
    // Not under ioLock_: a write in progress holds it until it sees the
    // wake. Only Open and Close, on the caller's thread, change wake_.
    if (wake_)
        ::SetEvent(wake_.get());
}

void SerialPort::Close()
{
    Interrupt();
    std::lock_guard lock(ioLock_);
    portForQueries_ = nullptr;
    readEventForQueries_ = nullptr;
    if (port_ && waitPending_) {
        // The reader has ended; its wait may still be pending in the driver,
        // and the byte it reads into must outlive it.
        ::CancelIoEx(port_.get(), &readOverlapped_);
        DWORD n = 0;
        ::GetOverlappedResult(port_.get(), &readOverlapped_, &n, TRUE);
    }
    waitPending_ = false;
    byteHeld_ = false;
    port_.reset();
    wake_.reset();
    readEvent_.reset();
    writeEvent_.reset();
}

bool SerialPort::IsOpen() const
{
    std::lock_guard lock(ioLock_);
    return static_cast<bool>(port_);
}

ByteStream::ReadStatus SerialPort::FailedRead(DWORD error)
{
    // The error state of the port blocks further reads until cleared; a
    // device that cannot even say its state is gone.
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port_.get(), &errors, &status) || DeviceGone(error))
        return ReadStatus::Lost;
    return ReadStatus::Failed;
}

ByteStream::ReadStatus SerialPort::CollectWait()
{
    if (!waitPending_ || ::WaitForSingleObject(readEvent_.get(), 0) != WAIT_OBJECT_0)
        return ReadStatus::Quiet;
    DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(port_.get(), &readOverlapped_, &n, FALSE);
    const DWORD error = ok ? 0 : ::GetLastError();
    // The byte is held before the wait ends, so that InputWaiting on
    // another thread sees it in one place or the other.
    if (n > 0)
        byteHeld_ = true;
    waitPending_ = false;
    if (n > 0)
        return ReadStatus::Bytes;
    return ok ? ReadStatus::Quiet : FailedRead(error);
}

ByteStream::ReadStatus SerialPort::ReadQueued(std::uint8_t* buffer, std::size_t capacity, std::size_t& count)
{
    count = 0;
    DWORD errors = 0;
    COMSTAT queue{};
    if (!::ClearCommError(port_.get(), &errors, &queue))
        return ReadStatus::Lost;
    if (queue.cbInQue == 0 || capacity == 0)
        return ReadStatus::Quiet;
    // No more than the queue holds: the read is done at once.
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(capacity, queue.cbInQue));
    OVERLAPPED overlapped{};
    overlapped.hEvent = readEvent_.get();
    ::ResetEvent(readEvent_.get());
    if (!::ReadFile(port_.get(), buffer, want, nullptr, &overlapped) && ::GetLastError() != ERROR_IO_PENDING)
        return FailedRead(::GetLastError());
    const HANDLE events[2] = {readEvent_.get(), wake_.get()};
    if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0)
        ::CancelIoEx(port_.get(), &overlapped);
    DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(port_.get(), &overlapped, &n, TRUE);
    const DWORD error = ok ? 0 : ::GetLastError();
    count = n;
    if (n > 0)
        return ReadStatus::Bytes;
    if (::WaitForSingleObject(wake_.get(), 0) == WAIT_OBJECT_0)
        return ReadStatus::Interrupted;
    return ok ? ReadStatus::Quiet : FailedRead(error);
}

ByteStream::ReadStatus SerialPort::Available()
{
    if (byteHeld_)
        return ReadStatus::Bytes;
    if (waitPending_)
        return ::WaitForSingleObject(readEvent_.get(), 0) == WAIT_OBJECT_0 ? ReadStatus::Bytes : ReadStatus::Quiet;
    DWORD errors = 0;
    COMSTAT queue{};
    if (!::ClearCommError(port_.get(), &errors, &queue))
        return ReadStatus::Lost;
    return queue.cbInQue > 0 ? ReadStatus::Bytes : ReadStatus::Quiet;
}

ByteStream::ReadStatus SerialPort::WaitForByte(std::optional<Clock::time_point> deadline)
{
    if (!waitPending_) {
        readOverlapped_ = {};
        readOverlapped_.hEvent = readEvent_.get();
        ::ResetEvent(readEvent_.get());
        waitPending_ = true;
        if (!::ReadFile(port_.get(), &waitByte_, 1, nullptr, &readOverlapped_) &&
            ::GetLastError() != ERROR_IO_PENDING) {
            const DWORD error = ::GetLastError();
            waitPending_ = false;
            return FailedRead(error);
        }
    }
    const HANDLE events[2] = {readEvent_.get(), wake_.get()};
    switch (::WaitForMultipleObjects(2, events, FALSE, MillisecondsUntil(deadline))) {
    case WAIT_OBJECT_0:
        return ReadStatus::Bytes;
    case WAIT_OBJECT_0 + 1:
        return ReadStatus::Interrupted;
    case WAIT_TIMEOUT:
        return ReadStatus::Quiet;
    default:
        return ReadStatus::Failed;
    }
}

SerialPort::ReadResult SerialPort::Read(std::uint8_t* buffer, std::size_t capacity,
                                        std::optional<std::chrono::nanoseconds> waitFor)
{
    // The reader thread is joined before Close releases the handles, so
    // they stay valid here without the lock.
    if (!port_ || capacity == 0)
        return {ReadStatus::Interrupted};
    const std::optional<Clock::time_point> deadline =
        waitFor ? std::optional(Clock::now() + std::chrono::duration_cast<Clock::duration>(*waitFor)) : std::nullopt;
    for (;;) {
        if (::WaitForSingleObject(wake_.get(), 0) == WAIT_OBJECT_0)
            return {ReadStatus::Interrupted};
        ReadStatus status = CollectWait();
        if (status != ReadStatus::Bytes && status != ReadStatus::Quiet)
            return {status};
        std::size_t got = 0;
        if (byteHeld_) {
            buffer[got++] = waitByte_;
            byteHeld_ = false;
        }
        if (!waitPending_) {
            std::size_t queued = 0;
            status = ReadQueued(buffer + got, capacity - got, queued);
            got += queued;
            // A failure after bytes shows on the next read.
            if (got == 0 && status != ReadStatus::Quiet)
                return {status};
        }
        if (got > 0)
            return {ReadStatus::Bytes, got};
        if (deadline && Clock::now() >= *deadline)
            return {ReadStatus::Quiet};
        status = WaitForByte(deadline);
        if (status != ReadStatus::Bytes && status != ReadStatus::Quiet)
            return {status};
    }
}

ByteStream::ReadStatus SerialPort::Await(std::optional<std::chrono::nanoseconds> waitFor)
{
    if (!port_)
        return ReadStatus::Interrupted;
    const std::optional<Clock::time_point> deadline =
        waitFor ? std::optional(Clock::now() + std::chrono::duration_cast<Clock::duration>(*waitFor)) : std::nullopt;
    for (;;) {
        if (::WaitForSingleObject(wake_.get(), 0) == WAIT_OBJECT_0)
            return ReadStatus::Interrupted;
        const ReadStatus status = Available();
        if (status != ReadStatus::Quiet)
            return status;
        if (deadline && Clock::now() >= *deadline)
            return ReadStatus::Quiet;
        const ReadStatus waited = WaitForByte(deadline);
        if (waited != ReadStatus::Bytes && waited != ReadStatus::Quiet)
            return waited;
    }
}

bool SerialPort::InputWaiting() const
{
    const HANDLE port = portForQueries_.load();
    if (!port)
        return false;
    // In this order: the reader holds a byte before its wait ends.
    if (waitPending_ && ::WaitForSingleObject(readEventForQueries_.load(), 0) == WAIT_OBJECT_0)
        return true;
    if (byteHeld_)
        return true;
    DWORD errors = 0;
    COMSTAT queue{};
    return ::ClearCommError(port, &errors, &queue) && queue.cbInQue > 0;
}

SerialPort::WriteResult SerialPort::Write(const std::uint8_t* bytes, std::size_t count, std::uint32_t timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    std::lock_guard lock(ioLock_);
    if (!port_ || ::WaitForSingleObject(wake_.get(), 0) == WAIT_OBJECT_0)
        return WriteResult::Failed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const HANDLE events[2] = {writeEvent_.get(), wake_.get()};
    std::size_t done = 0;
    while (done < count) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = writeEvent_.get();
        ::ResetEvent(writeEvent_.get());
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 0x10000));
        if (!::WriteFile(port_.get(), bytes + done, chunk, nullptr, &overlapped) &&
            ::GetLastError() != ERROR_IO_PENDING) {
            const DWORD error = ::GetLastError();
            return DeviceGone(error) ? WriteResult::Lost : WriteResult::Failed;
        }
        const DWORD wait = timeoutMs == kInfinite ? INFINITE : MillisecondsUntil(deadline);
        const DWORD woke = ::WaitForMultipleObjects(2, events, FALSE, wait);
        if (woke != WAIT_OBJECT_0) {
            // Timed out or interrupted: the bytes not sent yet are dropped.
            ::CancelIoEx(port_.get(), &overlapped);
            if (woke == WAIT_TIMEOUT)
                ::PurgeComm(port_.get(), PURGE_TXABORT | PURGE_TXCLEAR);
            DWORD n = 0;
            ::GetOverlappedResult(port_.get(), &overlapped, &n, TRUE);
            return woke == WAIT_TIMEOUT ? WriteResult::TimedOut : WriteResult::Failed;
        }
        DWORD n = 0;
        if (!::GetOverlappedResult(port_.get(), &overlapped, &n, FALSE)) {
            const DWORD error = ::GetLastError();
            DWORD errors = 0;
            COMSTAT status{};
            if (!::ClearCommError(port_.get(), &errors, &status) || DeviceGone(error))
                return WriteResult::Lost;
            return WriteResult::Failed;
        }
        done += n;
        if (n == 0 && timeoutMs != kInfinite && Clock::now() >= deadline)
            return WriteResult::TimedOut;
    }
    return WriteResult::Ok;
}
