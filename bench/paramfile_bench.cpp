// Parameter-file figures: validation throughput on a generated 100 000-line
// script, classification time of long lines, and the writer's time for a
// full configuration.

#include "layout_writer.h"
#include "script.h"
#include "text_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
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
