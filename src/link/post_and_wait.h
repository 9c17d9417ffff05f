#pragma once

#include <cstdint>
#include <functional>

class TLink1Thread;

// For fronts without a dialog of their own (the terminal, benchmarks): posts
// a command with `post` and serves the command's steps through the link's
// dispatcher until that command has ended. Call it on the front's thread.
// False when the post was refused.
bool PostAndWait(TLink1Thread& link, std::int32_t command, const std::function<bool()>& post);
// The same with PostCommand(command).
bool PostAndWait(TLink1Thread& link, std::int32_t command);
