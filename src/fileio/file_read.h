#pragma once
// Reading a whole file that the user named: without blocking, regular files
// only, and no more than a cap.

#include <cstddef>
#include <string>

// Far above any real parameter or INI file (a full dump is about 17 KB), and
// small enough that a file of any content is read and examined in bounded
// memory.
inline constexpr std::size_t kMaxReadFileSize = 4 * 1024 * 1024;

// Reads the whole file into `bytes`, going on after interruptions. The file
// is opened without blocking, so that a FIFO or a device never stalls the
// caller, and must be a regular file of at most kMaxReadFileSize bytes. On
// failure: false, `bytes` empty and the reason (UTF-8) in `error`: the
// system's, or one of the tool's own for a file that is not a regular file
// or is too large.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);
