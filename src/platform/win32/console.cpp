#include "console.h"

#include "wide_text.h"

#include <windows.h>
#include <shellapi.h>

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

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Narrow(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

Utf8ConsoleOutput::Utf8ConsoleOutput()
{
    previousPage_ = ::GetConsoleOutputCP(); // 0 without a console
    if (previousPage_ != 0 && previousPage_ != CP_UTF8)
        ::SetConsoleOutputCP(CP_UTF8);
}

Utf8ConsoleOutput::~Utf8ConsoleOutput()
{
    if (previousPage_ != 0 && previousPage_ != CP_UTF8)
        ::SetConsoleOutputCP(previousPage_);
}

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
