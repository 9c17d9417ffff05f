#include "file_read.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file of `size` bytes that takes no room on disk.
std::string Sparse(const TempDir& dir, const char* name, off_t size)
{
    const std::string path = dir.File(name);
    WriteText(path, "");
    EXPECT_EQ(::truncate(path.c_str(), size), 0);
    return path;
}

struct ReadCase {
    const char* what;
    std::function<std::string(const TempDir&)> make; // returns the path
    std::size_t size;   // on success
    const char* reason; // part of the reason; nullptr: succeeds
};

} // namespace

TEST(ReadWholeFile, RegularFilesUpToTheCapAndNothingElse)
{
    const off_t cap = static_cast<off_t>(kMaxReadFileSize);
    const ReadCase cases[] = {
        {"small file", [](const TempDir& d) { WriteText(d.File("a"), "abc\n"); return d.File("a"); }, 4, nullptr},
        {"empty file", [](const TempDir& d) { WriteText(d.File("e"), ""); return d.File("e"); }, 0, nullptr},
        {"exactly the cap", [cap](const TempDir& d) { return Sparse(d, "cap", cap); }, kMaxReadFileSize, nullptr},
        {"symlink to a file",
         [](const TempDir& d) {
             WriteText(d.File("t"), "xy");
             EXPECT_EQ(::symlink(d.File("t").c_str(), d.File("l").c_str()), 0);
             return d.File("l");
         },
         2, nullptr},
        {"one byte over the cap", [cap](const TempDir& d) { return Sparse(d, "over", cap + 1); }, 0, "файл больше 4 МиБ"},
        {"3 GB", [](const TempDir& d) { return Sparse(d, "huge", off_t{3} << 30); }, 0, "файл больше 4 МиБ"},
        {"FIFO without a writer",
         [](const TempDir& d) {
             EXPECT_EQ(::mkfifo(d.File("fifo").c_str(), 0600), 0);
             return d.File("fifo");
         },
         0, "не обычный файл"},
        {"endless device", [](const TempDir&) { return std::string("/dev/zero"); }, 0, "не обычный файл"},
        {"folder", [](const TempDir& d) { return d.Path().string(); }, 0, "Is a directory"},
        {"missing file", [](const TempDir& d) { return d.File("none"); }, 0, "No such file"},
    };
    for (const ReadCase& c : cases) {
        const TempDir dir;
        const std::string path = c.make(dir);
        std::string bytes = "stale", error = "stale";
        auto read = std::async(std::launch::async, [&] { return ReadWholeFile(path, bytes, error); });
        if (read.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            // Release a reader that waits for a writer, then report.
            ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
            read.wait();
            ADD_FAILURE() << c.what << ": the read blocked";
            continue;
        }
        const bool ok = read.get();
        EXPECT_EQ(ok, c.reason == nullptr) << c.what << ": " << error;
        if (c.reason) {
            EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
            EXPECT_TRUE(bytes.empty()) << c.what;
        } else {
            EXPECT_EQ(bytes.size(), c.size) << c.what;
            EXPECT_TRUE(error.empty()) << c.what;
        }
    }
}

TEST(ReadWholeFile, ReadsPastASizeOfZero)
{
    // Files of /proc report no size and still have contents.
    std::string bytes, error;
    ASSERT_TRUE(ReadWholeFile("/proc/self/status", bytes, error)) << error;
    EXPECT_NE(bytes.find("VmRSS"), std::string::npos);
}
