#pragma once

#include <string>
#include <string_view>

// Writes `contents` to a temporary file in the target's folder, flushes it to
// disk and renames it over `path`, so an old file is either replaced whole or
// left as it was. False with the system's reason in `error` on failure.
bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string& error);

// Writes all of `contents` to the descriptor, going on after interruptions.
// 0 on success, otherwise the errno of the failed write.
int WriteAll(int fd, std::string_view contents);
