// Verify: reads back every register that a valid parameter file assigns, in
// contiguous runs, and compares the meter's words with the file's values.

#include "link_thread.h"

#include "codecs.h"
#include "compare_plan.h"

#include <cstdio>

std::vector<std::string> VerifyReportLines(const VerifyResult& result)
{
    std::vector<std::string> lines = result.differences;
    lines.insert(lines.end(), result.messages.begin(), result.messages.end());
    char closing[160];
    switch (result.outcome) {
    case VerifyResult::Outcome::Match:
        std::snprintf(closing, sizeof closing, "Проверка: все значения совпадают (%zu).", result.compared);
        break;
    case VerifyResult::Outcome::Differ:
        std::snprintf(closing, sizeof closing, "Проверка: отличаются %zu из %zu значений.", result.differences.size(),
                      result.compared);
        break;
    case VerifyResult::Outcome::InvalidFile:
        std::snprintf(closing, sizeof closing, "Проверка не выполнена: файл не прочитан или содержит ошибки.");
        break;
    case VerifyResult::Outcome::LinkFailure:
        std::snprintf(closing, sizeof closing, "Проверка не выполнена.");
        break;
    }
    lines.emplace_back(closing);
    return lines;
}

VerifyResult TLink1Thread::VerifyAgainstFile(const std::string& path)
{
    VerifyResult result;
    const ParamFileValues file = ReadParamFileValues(path);
    if (file.outcome != ParamFileValues::Outcome::Valid) {
        result.outcome = VerifyResult::Outcome::InvalidFile;
        result.messages = file.messages;
        return result;
    }
    result.compared = file.values.size();

    MeterWords words;
    ModBusRequest read;
    ModBusUShortReg word;
    std::uint16_t start = 0;
    try {
        for (const ReadRun& run : PlanReads(file.values)) {
            start = run.start;
            read.Build(3, run.start, run.count);
            TransactWithRetry(read);
            ++result.reads;
            // A short answer leaves the registers past its end unread.
            for (std::uint32_t i = 0; i < run.count; ++i) {
                const std::int32_t before = FRtu.offset;
                FRtu >> word;
                if (FRtu.offset == before)
                    break;
                words[run.start + i] = word.Get();
            }
        }
    } catch (ModBusPdu::error_t e) {
        char text[128];
        std::snprintf(text, sizeof text, "Прибор отверг чтение с адреса %u (код %d).", start + 1u, static_cast<int>(e));
        result.outcome = VerifyResult::Outcome::LinkFailure;
        result.messages.emplace_back(text);
        return result;
    } catch (ModBusRtu::error_t e) {
        result.outcome = VerifyResult::Outcome::LinkFailure;
        result.messages.emplace_back("Ошибка связи с влагомером");
        if (e == ModBusRtu::kPortLost)
            ReportPortLost();
        return result;
    }
    result.differences = CompareWithMeter(file.values, words);
    result.outcome = result.differences.empty() ? VerifyResult::Outcome::Match : VerifyResult::Outcome::Differ;
    return result;
}

void TLink1Thread::VerifyVokParams()
{
    RunOnUi([this] {
        if (!stopping_)
            FFileName = front_.GetOpenFileName();
        FDoneEvent.Set();
    });
    const VerifyResult result = VerifyAgainstFile(FFileName);
    RunOnUi([&] {
        if (!stopping_)
            front_.ShowVerifyResult(result);
        FDoneEvent.Set();
    });
}
