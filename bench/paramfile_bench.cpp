// Parameter-file figures: validation throughput on a generated 100 000-line
// script, time and peak memory to validate 10 MB files, classification time
// of long lines, and the writer's time for a full configuration.

#include "layout_writer.h"
#include "script.h"
#include "text_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string GeneratedScript(int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i) {
        switch (i % 8) {
        case 0: text += "# section " + std::to_string(i) + "\r\n"; break;
        case 1: text += "\r\n"; break;
        case 2: text += std::to_string(2001 + i % 60000) + " float  " + std::to_string(i * 0.001) + "\t\t # Serial\r\n"; break;
        case 3: text += std::to_string(53011 + i % 1000) + " ushort " + std::to_string(i % 65536) + "\t\t# x\r\n"; break;
        case 4: text += "\"Oil Adjust\" 2023 f -1.250000e-03 # was 2023 f 1\r\n"; break;
        case 5: text += "53027 sshort -" + std::to_string(i % 32768) + "\r\n"; break;
        case 6: text += "  sleep( 0 )  \r\n"; break;
        default: text += "57035 float  5.000000e-01\t\t# P[0]\r\n"; break;
        }
    }
    return text;
}

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + key.size(), nullptr, 10);
    return -1;
}

// Runs `work` in a child process, so that its peak memory is its own, and
// prints its time and how far its peak resident memory rose above the start.
void Measured(const char* name, const std::function<std::string()>& work)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        const long start = StatusKiB("VmRSS");
        const auto t0 = Clock::now();
        const std::string outcome = work();
        const double seconds = Seconds(t0);
        const long peak = StatusKiB("VmHWM");
        std::printf("%s: %.0f ms, peak memory +%.1f MiB (%s)\n", name, seconds * 1e3, (peak - start) / 1024.0,
                    outcome.c_str());
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        std::printf("%s: ended by signal %d\n", name, WTERMSIG(status));
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Outcome(const ScriptValidation& v)
{
    return std::to_string(v.messages.size()) + " messages, " + std::to_string(v.steps.size()) + " steps";
}

// Validation of a 10 MB file: from its bytes in memory, and through the
// reader that "check" and "load" use.
void TenMegabyteFiles()
{
    constexpr std::size_t kSize = 10'000'000;
    std::string script = GeneratedScript(1000);
    std::string realistic;
    while (realistic.size() + script.size() <= kSize)
        realistic += script;
    const std::pair<const char*, std::string> files[] = {
        {"script lines", std::move(realistic)},
        {"line ends", std::string(kSize, '\n')},
    };
    char folder[] = "/tmp/paramfile_bench-XXXXXX";
    if (!mkdtemp(folder))
        return;
    for (const auto& [kind, text] : files) {
        const std::string path = std::string(folder) + "/file.txt";
        std::ofstream(path, std::ios::binary) << text;
        const std::string title = std::string("10 MB of ") + kind + " (" + std::to_string(text.size()) + " bytes)";
        Measured((title + ", validated from memory").c_str(), [&path] {
            const std::string bytes = ReadBytes(path);
            return Outcome(ValidateScriptText(DecodeText(bytes), ScriptPatterns()));
        });
        Measured((title + ", through the file reader").c_str(), [&path] {
            ScriptValidation v;
            std::string error;
            if (!ValidateScriptFile(path, ScriptPatterns(), v, error))
                return "not read: " + error;
            return Outcome(v);
        });
        std::remove(path.c_str());
    }
    rmdir(folder);
}

MeterConfig FullConfig()
{
    MeterConfig c;
    c.Serial = 123456.0f;
    c.FirmwareVersion = kPointSetFirmware;
    for (int p = 0; p < 2; ++p) {
        for (int s = 0; s < 10; ++s) {
            c.Phase[p].Salt[s].Salt = 1.5f * static_cast<float>(s);
            for (float& v : c.Phase[p].Salt[s].P)
                v = 0.125f * static_cast<float>(s + 1);
        }
        c.PointSet[p].Mode = 1;
        c.PointSet[p].PCount = 20;
        for (int i = 0; i < 20; ++i) {
            c.PointSet[p].PairP[i] = 1.0f / static_cast<float>(i + 1);
            c.PointSet[p].PairW[i] = -3.0e5f * static_cast<float>(i);
        }
    }
    return c;
}

} // namespace

int main()
{
    // First, while this process is small: the children measure their own peak.
    TenMegabyteFiles();

    const ScriptPatterns patterns;

    const int kLines = 100000;
    const std::string text = GeneratedScript(kLines);
    auto t0 = Clock::now();
    const auto lines = DecodeTextLines(text);
    const double decode = Seconds(t0);
    double best = 1e9;
    ScriptValidation v;
    for (int run = 0; run < 5; ++run) {
        t0 = Clock::now();
        v = ValidateScript(lines, patterns);
        best = std::min(best, Seconds(t0));
    }
    std::printf("decode %d lines (%zu bytes): %.1f ms\n", kLines, text.size(), decode * 1e3);
    std::printf("validate %d lines: best of 5 %.1f ms, %.0f lines/s (%zu messages, %zu steps, weight %d)\n", kLines,
                best * 1e3, kLines / best, v.messages.size(), v.steps.size(), v.weight);

    const std::size_t n = 100000;
    std::wstring ones;
    while (ones.size() < n)
        ones += L"1 ";
    std::wstring comments;
    while (comments.size() < n)
        comments += L"1 f 2 # ";
    const std::pair<const char*, std::wstring> longLines[] = {
        {"blanks", std::wstring(n, L' ')},
        {"digits", std::wstring(n, L'7')},
        {"\"1 \" repeated", ones},
        {"\"1 f 2 # \" repeated", comments},
        {"blanks and tabs, then a value", std::wstring(n / 2, L' ') + std::wstring(n / 2, L'\t') + L"2001 f 1"},
    };
    for (const auto& [name, line] : longLines) {
        t0 = Clock::now();
        const LineMatch m = ClassifyLine(line, patterns);
        std::printf("classify a %zu-character line of %s: %.2f ms (kind %d)\n", line.size(), name, Seconds(t0) * 1e3,
                    static_cast<int>(m.kind));
    }

    const auto config = std::make_unique<MeterConfig>(FullConfig());
    std::vector<double> times;
    std::size_t bytes = 0;
    for (int run = 0; run < 2000; ++run) {
        t0 = Clock::now();
        const std::string file = ParamFileText(*config);
        times.push_back(Seconds(t0));
        bytes = file.size();
    }
    std::sort(times.begin(), times.end());
    std::printf("writer, full configuration (%zu lines, %zu bytes): median %.1f us over %zu runs\n",
                ParamFileLines(*config).size(), bytes, times[times.size() / 2] * 1e6, times.size());
    return 0;
}
