#include "cli_front.h"
#include "console.h"

#include "console.h"

#include <cstdio>

CliFront::CliFront(MeterRegisters& registers)
    : registers_(registers), progressOnTerminal_(StandardErrorIsTerminal())
{
    AddRegListRows(registers_, rows_);
}

void CliFront::RefreshList(const std::string& parameterText)
{
    ++refreshes;
    if (onRefresh) {
        onRefresh(parameterText);
        return;
    }
    if (quietList)
        return;
    for (const RegRow& row : RegRows(registers_)) {
        std::printf("%s\t%u\t%s\t%s\t%s\n", row.caption, static_cast<unsigned>(row.registerNumber),
                    RegKindTypeWord(row.kind), row.object->GetValueText().c_str(), row.writable ? "+" : "");
    }
    std::printf("Значение параметра:\t%s\n", parameterText.c_str());
    std::fflush(stdout);
}

void CliFront::ShowError(const std::string& text)
{
    CloseProgress();
    errors.push_back(text);
    std::fprintf(stderr, "%s\n", text.c_str());
}

void CliFront::ShowStatus(const std::string& text)
{
    CloseProgress();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void CliFront::PortLost(const std::string& message)
{
    portLost = true;
    ShowError(message);
}

void CliFront::SetProgress(int position)
{
    if (!progressOnTerminal_)
        return;
    constexpr int kWidth = 40;
    const int clamped = position < 0 ? 0 : position > 1000 ? 1000 : position;
    const int filled = clamped * kWidth / 1000;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), clamped / 10);
    std::fflush(stderr);
    progressShown_ = true;
}

void CliFront::CloseProgress()
{
    if (progressShown_)
        std::fputc('\n', stderr);
    progressShown_ = false;
}

void CliFront::FillReport(const std::vector<std::string>& lines)
{
    report = lines;
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}
