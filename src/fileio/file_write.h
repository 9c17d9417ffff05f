#pragma once

#include <string>
#include <string_view>

// Replaces the file at `path` with `contents`, so that an old file is either
// replaced whole or left as it was, and a replacement that is interrupted,
// even by a kill, leaves nothing behind (the platform's ReplaceFile). A
// replaced file keeps its permissions. Works with any name that the file
// system takes. False with the system's reason in `error` on failure.
bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string& error);

