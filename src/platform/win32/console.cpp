#include "console.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<bool> stopRequested{false};

// Runs on a thread of the system's own: Ctrl+C, Ctrl+Break and closing the
// console window ask the program to stop.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        stopRequested.store(true);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

bool StandardErrorIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

StopRequestWatch::StopRequestWatch()
{
    stopRequested.store(false);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopRequestWatch::~StopRequestWatch() { ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE); }

bool StopRequestWatch::Requested() const { return stopRequested.load(); }
