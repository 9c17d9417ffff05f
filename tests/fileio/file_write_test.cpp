#include "file_write.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::set<std::string> Entries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

mode_t Mode(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// True while the process holds a descriptor on a file in `folder`.
bool WritesInto(pid_t pid, const fs::path& folder)
{
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const auto target = fs::read_symlink(fd.path(), ec);
        if (!ec && target.parent_path() == folder)
            return true;
    }
    return false;
}

} // namespace

TEST(ReplaceFileContents, ReplacesWholeAndLeavesNothingElse)
{
    struct Case {
        const char* what;
        std::string name;     // of the target in a fresh folder
        const char* existing; // contents of a file already there, or nullptr
        bool ok;
    };
    const Case cases[] = {
        {"new file", "params.txt", nullptr, true},
        {"existing file", "params.txt", "old contents\n", true},
        {"longest name the file system takes", std::string(NAME_MAX, 'n'), nullptr, true},
        {"longest name, existing", std::string(NAME_MAX, 'n'), "old\n", true},
        {"folder in the way", "sub", nullptr, false},
        {"missing folder", "no-such-folder/params.txt", nullptr, false},
    };
    for (const Case& c : cases) {
        const TempDir dir;
        const std::string path = dir.File(c.name);
        if (c.name == "sub")
            fs::create_directory(path);
        if (c.existing) {
            WriteText(path, c.existing);
            ::chmod(path.c_str(), 0640);
        }
        const auto before = Entries(dir.Path());
        std::string error;
        EXPECT_EQ(ReplaceFileContents(path, "new\r\n", error), c.ok) << c.what << ": " << error;
        EXPECT_EQ(error.empty(), c.ok) << c.what;
        if (c.ok) {
            EXPECT_EQ(ReadText(path), "new\r\n") << c.what;
            if (c.existing) {
                EXPECT_EQ(Mode(path), 0640u) << c.what;
            }
            EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{c.name}) << c.what;
        } else {
            EXPECT_EQ(Entries(dir.Path()), before) << c.what;
        }
    }
}

TEST(ReplaceFileContents, KilledWhileWritingLeavesNoFile)
{
    const std::string contents(32 << 20, 'x');
    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        const TempDir dir;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::string error;
            ReplaceFileContents(dir.File("params.txt"), contents, error);
            _exit(0);
        }
        // Kill it the moment it holds the file it writes.
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (WritesInto(child, dir.Path())) {
                ::kill(child, SIGKILL);
                waitpid(child, &status, 0);
                caught = WIFSIGNALED(status);
                break;
            }
        }
        if (!caught)
            continue;
        // Nothing, or the complete file once it had its name.
        for (const std::string& name : Entries(dir.Path())) {
            EXPECT_EQ(name, "params.txt");
            EXPECT_EQ(fs::file_size(dir.File(name)), contents.size()) << name;
        }
    }
    ASSERT_TRUE(caught) << "the write always ended before it could be caught";
}
