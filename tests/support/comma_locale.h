#pragma once
// A locale whose decimal separator is a comma, as in a Russian locale, built
// into a folder of its own with localedef (the machine need not have any
// such locale installed). Programs find it through LOCPATH; only LC_NUMERIC
// is defined, the other categories stay "C".

#include "temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <string>

class CommaLocale {
public:
    static constexpr const char* kName = "vok_COMMA.UTF-8";

    CommaLocale()
    {
        const std::string source = dir_.File("numeric.def");
        std::ofstream(source) << "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \" \"\ngrouping 3;3\nEND LC_NUMERIC\n";
        // -c: the definition lacks the other categories on purpose.
        const std::string command = "localedef -c -f UTF-8 -i '" + source + "' '" + dir_.File(kName) + "' >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        built_ = status != -1 && std::filesystem::exists(dir_.Path() / kName / "LC_NUMERIC");
    }

    bool Built() const { return built_; }
    std::string Folder() const { return dir_.Path().string(); }
    // The environment assignments that select the locale for a command line.
    std::string Environment() const { return "env -u LC_ALL -u LANG LOCPATH='" + Folder() + "' LC_NUMERIC=" + kName; }

private:
    TempDir dir_;
    bool built_ = false;
};
