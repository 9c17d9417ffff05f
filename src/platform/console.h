#pragma once
// What a command-line program asks of its console: its arguments, whether
// its output goes to a terminal, and the user's request to stop (Ctrl+C, or
// SIGTERM on POSIX).

#include <string>
#include <vector>

// The program's arguments in UTF-8, the program's name first: `argv` as it
// is on POSIX; on Windows the wide command line, because `argv` there is in
// the ANSI code page and loses every character the page lacks.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// While an object lives, a console shows the program's UTF-8 output as
// text: on Windows the console's output code page is UTF-8 (its own OEM page
// would show every Cyrillic letter as two wrong ones) and the page it had
// comes back at the end; nothing to do on POSIX, nor where output goes to a
// file or a pipe, which get UTF-8 bytes either way.
class Utf8ConsoleOutput {
public:
    Utf8ConsoleOutput();
    ~Utf8ConsoleOutput();
    Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
    Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

private:
    unsigned previousPage_ = 0;
};

// True when the standard error is a terminal (progress lines are drawn then).
bool StandardErrorIsTerminal();

// While an object lives, the user's stop request sets a flag instead of
// ending the program; the request before it is forgotten. One at a time.
class StopRequestWatch {
public:
    StopRequestWatch();
    ~StopRequestWatch();
    StopRequestWatch(const StopRequestWatch&) = delete;
    StopRequestWatch& operator=(const StopRequestWatch&) = delete;

    bool Requested() const;
};
