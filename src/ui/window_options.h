#pragma once
// The window takes no arguments of its own; it answers only --help and
// --version, as a packaged program must, and ignores everything else.

#include <optional>

// When an argument is --help (-h) or --version, prints its text on stdout
// and returns the exit status; otherwise returns nothing and the window
// starts. Needs no display.
std::optional<int> AnswerInfoOption(int argc, char** argv);
