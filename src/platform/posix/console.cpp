#include "console.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {

std::atomic<bool> stopRequested{false};
struct sigaction oldInt {};
struct sigaction oldTerm {};

void OnStopSignal(int) { stopRequested.store(true); }

} // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

Utf8ConsoleOutput::Utf8ConsoleOutput() = default;
Utf8ConsoleOutput::~Utf8ConsoleOutput() = default;

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

StopRequestWatch::StopRequestWatch()
{
    stopRequested.store(false);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &oldInt);
    ::sigaction(SIGTERM, &action, &oldTerm);
}

StopRequestWatch::~StopRequestWatch()
{
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
}

bool StopRequestWatch::Requested() const { return stopRequested.load(); }
