#pragma once
// The system calls under the tool's file handling: reading a file without
// blocking on a FIFO or a device, and replacing a file whole. The rules
// (size caps, what the user hears) stay with fileio; failures here are the
// system's error codes (errno, or GetLastError on Windows), told by
// SystemErrorText.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

std::string SystemErrorText(int code);

// A file opened for reading, closed when it goes out of scope.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Opens `path` without waiting for a writer or a device; a folder fails
    // with the system's code for a folder. 0 or the error code.
    int Open(const std::string& path);
    // Whether the open file is a regular file, and its size.
    int Examine(bool& regular, std::uint64_t& size);
    // Reads up to `capacity` bytes, waiting as for an ordinary file; `got`
    // is 0 at the end of the file. Goes on after interruptions.
    int Read(char* into, std::size_t capacity, std::size_t& got);

private:
    std::intptr_t handle_ = -1;
};

// A file opened for writing, closed when it goes out of scope (unless it is
// the standard output).
class OutputFile {
public:
    enum class Create { Truncate, OnlyNew };

    OutputFile() = default;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    static OutputFile StandardOutput();
    bool IsStandardOutput() const { return handle_ != -1 && !owned_; }

    // Opens `path` for writing, created when missing: emptied (Truncate), or
    // only when it does not exist yet (OnlyNew). `noWait`: a FIFO without a
    // reader fails at once instead of blocking. 0 or the error code.
    int Open(const std::string& path, Create create, bool noWait = false);
    bool IsRegular() const;
    // Writes all of `bytes`, going on after interruptions.
    int Write(std::string_view bytes);
    // Flushes the data written so far to the disk.
    int SyncData();
    // Closes at once and says whether the last writes failed on the way.
    int Close();

private:
    std::intptr_t handle_ = -1;
    bool owned_ = false;
};

// Replaces the file at `path` with `contents`, so that an old file is either
// replaced whole or left as it was, and nothing is left behind when the
// replacement fails or is interrupted: the contents go to a temporary file
// in the target's folder, are flushed to disk, and only then take the
// target's name. A replaced file keeps its permissions. 0 or the error code.
int ReplaceFile(const std::string& path, std::string_view contents);
