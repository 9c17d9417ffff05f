#pragma once

#include <string>
#include <string_view>

// Replaces the file at `path` with `contents`, so that an old file is either
// replaced whole or left as it was, and a replacement that is interrupted,
// even by a kill, leaves nothing behind: the contents go to an unnamed file
// in the target's folder, are flushed to disk, and only then is the file
// given its name (where the file system has no unnamed files, a file with a
// short hidden name stands in for it while it is written). A replaced file
// keeps its permissions. Works with any name that the file system takes.
// False with the system's reason in `error` on failure.
bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string& error);

// Writes all of `contents` to the descriptor, going on after interruptions.
// 0 on success, otherwise the errno of the failed write.
int WriteAll(int fd, std::string_view contents);
