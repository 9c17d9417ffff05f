#pragma once

#include <cstdint>
#include <functional>

class TLink1Thread;

// For fronts without a dialog of their own (the terminal, benchmarks): posts
// a command with `post` and runs the calling thread's event loop, serving the
// command's steps, until that command has ended. False when the post was
// refused.
bool PostAndWait(TLink1Thread& link, std::int32_t command, const std::function<bool()>& post);
// The same with PostCommand(command).
bool PostAndWait(TLink1Thread& link, std::int32_t command);
