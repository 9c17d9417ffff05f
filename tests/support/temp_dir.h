#pragma once
// A folder of its own in the system's temporary folder that lives as long as
// the object.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

class TempDir {
public:
    TempDir()
    {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "vok-test-%08x", random());
            path_ = std::filesystem::temp_directory_path() / name;
            if (std::filesystem::create_directory(path_))
                return;
        }
        throw std::runtime_error("no temporary folder could be made");
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
