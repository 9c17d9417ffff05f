#include "file_read.h"

#include "file_access.h"

#include <algorithm>
#include <cstdint>

namespace {

std::string TooLarge()
{
    return "файл больше " + std::to_string(kMaxReadFileSize / (1024 * 1024)) + " МиБ";
}

} // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error)
{
    bytes.clear();
    error.clear();
    const auto fail = [&](std::string reason) {
        bytes.clear();
        bytes.shrink_to_fit();
        error = std::move(reason);
        return false;
    };
    const auto failCode = [&](int code) { return fail(SystemErrorText(code)); };

    InputFile file;
    if (const int code = file.Open(path))
        return failCode(code);
    bool regular = false;
    std::uint64_t size = 0;
    if (const int code = file.Examine(regular, size))
        return failCode(code);
    if (!regular)
        return fail("не обычный файл");
    if (size > kMaxReadFileSize)
        return fail(TooLarge());

    // One byte more than the cap tells a file that grew past it.
    bytes.resize(static_cast<std::size_t>(size) + 1);
    std::size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done > kMaxReadFileSize)
                return fail(TooLarge());
            bytes.resize(std::min(kMaxReadFileSize + 1, done + 65536));
        }
        std::size_t got = 0;
        if (const int code = file.Read(bytes.data() + done, bytes.size() - done, got))
            return failCode(code);
        if (got == 0)
            break;
        done += got;
    }
    bytes.resize(done);
    return true;
}
