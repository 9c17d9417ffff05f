#include "log_command.h"

#include "cli_front.h"
#include "cli_options.h"
#include "console.h"
#include "csv_log.h"
#include "exit_status.h"
#include "link_thread.h"
#include "loop_dispatcher.h"
#include "poll_record.h"
#include "port_return_wait.h"
#include "post_and_wait.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

int RunLog(TLink1Thread& link, LoopDispatcher& loop, CliFront& front, MeterRegisters& registers,
           const CliOptions& options, const PortReturn* portReturn)
{
    const std::string& path = options.arguments[0];
    const LogSeparator separator =
        options.separator.empty() ? LocaleLogSeparator() : *ParseLogSeparator(options.separator);
    std::error_code ignored;
    if (path != "-" && !options.force && std::filesystem::exists(path, ignored)) {
        std::fprintf(stderr, "Файл %s существует; --force перепишет его\n", path.c_str());
        return kUsage;
    }
    std::string error;
    std::optional<DataLogWriter> writer = DataLogWriter::Open(path, separator, options.force, error);
    if (!writer) {
        std::fprintf(stderr, "Не удалось открыть файл %s: %s\n", path.c_str(), error.c_str());
        return kUsage;
    }
    bool stop = false;
    int status = kSuccess;
    const auto writeFailed = [&] {
        std::fprintf(stderr, "Не удалось записать в файл %s: %s\n", path.c_str(), error.c_str());
        status = kUsage;
        stop = true;
    };
    if (!writer->WriteHeader(PollRecordCaptions(registers), error)) {
        writeFailed();
        return status;
    }
    front.onRefresh = [&](const std::string& parameterText) {
        if (!stop && !writer->WriteRecord(std::chrono::system_clock::now(),
                                          PollRecordValues(registers, parameterText), error))
            writeFailed();
    };

    // An interrupt ends the running poll at once (closing the port makes
    // its transaction fail silently) and the log after it.
    StopRequestWatch interrupts;
    const int watch = loop.AddPeriodic(std::chrono::milliseconds(20), [&] {
        if (!stop && interrupts.Requested()) {
            stop = true;
            link.CloseLink();
        }
    });

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(options.intervalSeconds));
    const auto deadline = options.durationSeconds
                              ? start + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(*options.durationSeconds))
                              : Clock::time_point::max();
    auto next = start;
    for (long long polls = 0; !stop; ++polls) {
        if ((options.countGiven && polls >= options.count) || next >= deadline)
            break;
        const auto pause = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
        if (pause.count() > 0)
            loop.ServeUntil([&] { return stop; }, Clock::now() + pause);
        const std::size_t errorsBefore = front.errors.size();
        if (stop || !PostAndWait(link, LinkCommand::Poll))
            break;
        if (!GoOnAfterPoll(front, errorsBefore, portReturn, link, loop, options.giveUpSeconds, [&] { return stop; }))
            break;
        next = std::max(next + interval, Clock::now());
    }
    loop.RemovePeriodic(watch);
    front.onRefresh = nullptr;
    if (status == kSuccess && !front.errors.empty())
        status = kLinkFailure;
    return status;
}
