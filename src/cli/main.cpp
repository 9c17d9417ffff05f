// vokctl: the tool's jobs without a window, on the same link thread and
// commands as the window.

#include "cli_front.h"
#include "cli_options.h"
#include "cli_scan.h"
#include "cli_traffic.h"
#include "console.h"
#include "exit_status.h"
#include "file_commands.h"
#include "history_commands.h"
#include "link_messages.h"
#include "line_settings.h"
#include "link_settings.h"
#include "link_thread.h"
#include "log_command.h"
#include "loop_dispatcher.h"
#include "post_and_wait.h"
#include "program_version.h"
#include "register_map.h"
#include "script.h"
#include "port_list.h"
#include "port_return.h"
#include "port_return_wait.h"
#include "settings_place.h"
#include "text_file.h"

#include <chrono>
#include <clocale>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>

namespace {

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "%s\n\n%s", message.c_str(), kCliUsage);
    return kUsage;
}

int Failure(int status, const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    return status;
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

int CheckFile(const std::string& path)
{
    ScriptValidation result;
    std::string error;
    if (!ValidateScriptFile(path, ScriptPatterns(), result, error))
        return Failure(kUsage, "Не удалось прочитать файл " + path + ": " + error);
    for (const std::string& message : result.messages)
        std::printf("%s\n", message.c_str());
    return result.messages.empty() ? kSuccess : kInvalidFile;
}

LinkSettingsTexts SettingsFor(const CliOptions& options, const std::string& programFolder)
{
    LinkSettingsTexts texts = LoadLinkSettings(LinkSettingsPath(programFolder + "/vok-tarnel"));
    if (options.port)
        texts.port = *options.port;
    if (options.speed)
        texts.speed = *options.speed;
    if (options.timeout)
        texts.timeout = *options.timeout;
    if (options.address)
        texts.address = *options.address;
    return texts;
}

int PollMeter(TLink1Thread& link, LoopDispatcher& loop, CliFront& front, int count, const PortReturn* portReturn,
              std::optional<double> giveUpSeconds)
{
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now();
    for (int i = 0; i < count; ++i) {
        std::this_thread::sleep_until(next);
        next += std::chrono::seconds(1);
        const std::size_t errorsBefore = front.errors.size();
        if (!PostAndWait(link, LinkCommand::Poll))
            return Failure(kLinkFailure, "Связь с влагомером закрыта");
        const bool lost = front.portLost;
        if (!GoOnAfterPoll(front, errorsBefore, portReturn, link, loop, giveUpSeconds, [] { return false; }))
            return kLinkFailure;
        if (lost)
            next = Clock::now();
    }
    // Some failures (an exception code without a text) show no message.
    if (front.failedPolls > 0 && front.errors.empty())
        return Failure(kLinkFailure, "Опрос не выполнен");
    return front.errors.empty() ? kSuccess : kLinkFailure;
}

int Write(TLink1Thread& link, CliFront& front, MeterRegisters& registers, const std::string& reg,
          const std::string& value)
{
    RegListItemData* target = nullptr;
    for (const RegRow& row : RegRows(registers)) {
        if (std::to_string(row.registerNumber) == reg && row.writable)
            target = row.object;
    }
    if (!target)
        return UsageError("Регистр " + reg + " не найден среди записываемых строк списка");
    PostAndWait(link, LinkCommand::WriteReg, [&] { return link.PostWrite(*target, value); });
    if (front.errors.empty())
        return kSuccess;
    return front.errors.back() == "Неверный формат числа" ? kUsage : kLinkFailure;
}

int Dump(TLink1Thread& link, CliFront& front, const std::string& path, bool force)
{
    std::error_code ignored;
    if (!force && std::filesystem::exists(path, ignored))
        return UsageError("Файл " + path + " существует; --force перепишет его");
    front.fileName = path;
    PostAndWait(link, SaveVokParams);
    if (front.errors.empty())
        return kSuccess;
    return StartsWith(front.errors.back(), "Не удалось записать файл") ? kUsage : kLinkFailure;
}

int Load(TLink1Thread& link, CliFront& front, const std::string& path)
{
    front.fileName = path;
    PostAndWait(link, LoadVokParams);
    int status = kSuccess;
    for (const std::string& line : front.report) {
        if (StartsWith(line, "Не удалось прочитать файл"))
            return kUsage;
        if (StartsWith(line, "Строка #") || StartsWith(line, "Ошибка записи"))
            status = kInvalidFile;
        else if (status == kSuccess && (StartsWith(line, "Не удалось послать") || StartsWith(line, "Команда загрузки")))
            status = kLinkFailure;
    }
    return front.errors.empty() ? status : kLinkFailure;
}

ScanRequest ScanRequestFor(const CliOptions& options, const LinkParameters& p)
{
    ScanRequest request;
    request.port = p.port;
    const std::vector<std::uint32_t> speeds =
        options.speeds ? *ParseSpeedList(*options.speeds) : DefaultScanSpeeds(p.baud);
    const auto range = options.addresses ? *ParseAddressRange(*options.addresses)
                                         : std::pair{kFirstScanAddress, kLastScanAddress};
    std::optional<std::uint8_t> address;
    if (p.address >= kFirstScanAddress && p.address <= kLastScanAddress)
        address = static_cast<std::uint8_t>(p.address);
    request.probes = ScanOrder(speeds, range.first, range.second, p.baud, address);
    request.all = options.all;
    request.identifyTimeoutMs = p.timeoutMs;
    return request;
}

int RunOnLink(TLink1Thread& link, LoopDispatcher& loop, CliFront& front, MeterRegisters& registers,
              const CliOptions& options, const SnapshotLink& linkSettings, const PortReturn* portReturn)
{
    if (options.command == "poll" || options.command == "stats")
        return PollMeter(link, loop, front, options.count, portReturn, options.giveUpSeconds);
    if (options.command == "write")
        return Write(link, front, registers, options.arguments[0], options.arguments[1]);
    // A confirmed commit and a clean load leave a snapshot of the meter as left.
    if (options.command == "nvram") {
        PostAndWait(link, SaveToNVRAM);
        RecordReadings(front, linkSettings);
        return front.errors.empty() ? kSuccess : kLinkFailure;
    }
    if (options.command == "dump") {
        const int status = Dump(link, front, options.arguments[0], options.force);
        RecordReadings(front, linkSettings);
        return status;
    }
    if (options.command == "snapshot")
        return TakeSnapshotCommand(link, front, registers, options, linkSettings);
    const auto loadAndRecord = [&](const std::string& path) {
        const int status = Load(link, front, path);
        RecordReadings(front, linkSettings);
        return status;
    };
    if (options.command == "restore")
        return RestoreSnapshot(link, front, options, loadAndRecord);
    if (options.command == "log")
        return RunLog(link, loop, front, registers, options, portReturn);
    if (options.command == "verify")
        return VerifyMeter(link, front, options.arguments[0]);
    return loadAndRecord(options.arguments[0]);
}

int Run(const CliOptions& options)
{
    if (options.command == "ports") {
        for (const PortListEntry& port : ListSerialPorts()) {
            std::printf("%s%s%s%s%s%s\n", port.name.c_str(), port.accessible ? "" : "\tнет доступа",
                        port.tip.empty() ? "" : "\t", port.tip.c_str(), port.usbSerial.empty() ? "" : "\tUSB ",
                        port.usbSerial.c_str());
        }
        return kSuccess;
    }
    if (options.command == "check")
        return CheckFile(options.arguments[0]);
    if (options.command == "diff") {
        if (NamesSnapshot(options.arguments[0]) || NamesSnapshot(options.arguments[1]))
            return DiffWithSnapshot(options.arguments[0], options.arguments[1]);
        return DiffFiles(options.arguments[0], options.arguments[1]);
    }
    if (options.command == "history")
        return ListHistory(options);
    if (options.command == "show")
        return ShowSnapshot(options.arguments[0]);
    if (options.command == "verify") {
        if (const int status = CheckFileToVerify(options.arguments[0]))
            return status;
    }

    const std::string folder = std::filesystem::path(ExecutablePath()).parent_path().string();
    if (options.command == "report")
        return WriteReport(options, LinkSettingsPath(folder + "/vok-tarnel"));
    const LinkCheck check = CheckLinkSettings(SettingsFor(options, folder));
    if (check.outcome != LinkCheck::Outcome::Accepted)
        return UsageError(check.message);

    MeterRegisters registers;
    CliFront front(registers);
    LoopDispatcher loop;
    TLink1Thread link(registers, front, loop);
    link.SetFastFraming(options.fastFraming);
    link.SetEcho(options.echo);
    link.SetLineOptions(options.line.Over(LoadLineOptions(LinkSettingsPath(folder + "/vok-tarnel"))));
    link.SetAsLeftSnapshots(true);
    const LinkParameters& p = check.parameters;
    std::unique_ptr<CliTraffic> traffic;
    const bool statsCommand = options.command == "stats";
    if (options.trace || options.stats || statsCommand)
        traffic = std::make_unique<CliTraffic>(link.WatchTraffic(), options.trace, loop);
    // The USB adapter's latency timer, where the system shows one, after the
    // counters.
    std::vector<StatisticsRow> adapterRows;
    const auto report = [&](int status) {
        if (traffic) {
            traffic->Flush();
            if (options.stats)
                traffic->PrintCounters(stderr, adapterRows);
            if (statsCommand)
                traffic->PrintCounters(stdout, adapterRows);
        }
        return status;
    };
    if (options.command == "scan")
        return report(RunScan(link, loop, ScanRequestFor(options, p)));

    PortOpenFailure why;
    if (!link.OpenLink(p.port, p.baud, p.timeoutMs, p.address, &why))
        return report(Failure(why.error == PortOpenError::SpeedRefused ? kUsage : kLinkFailure,
                              OpenFailureMessage(why, p.port, p.baud)));

    if (traffic) {
        if (const std::optional<AdapterLatency> latency = AdapterLatencyTimer(p.port)) {
            adapterRows.push_back(LatencyTimerRow(latency->ms, TrafficWords::English));
            const std::string hint =
                LatencyTimerHint(latency->ms, latency->lowerCommand, options.fastFraming, TrafficWords::English);
            if (!hint.empty())
                adapterRows.push_back({"hint", hint});
        }
    }
    front.quietList = statsCommand;
    const SnapshotLink linkSettings{p.port, p.baud, p.timeoutMs, p.address, options.fastFraming};
    std::optional<PortReturn> portReturn;
    if (options.reconnect)
        portReturn.emplace(p.port, p.baud, p.timeoutMs, p.address);
    const int status =
        RunOnLink(link, loop, front, registers, options, linkSettings, portReturn ? &*portReturn : nullptr);
    // Answers still due to this run must not be left for the next program.
    link.SettleLine();
    return report(front.portLost ? kLinkFailure : status);
}

} // namespace

int main(int argc, char** argv)
{
    const Utf8ConsoleOutput console;
    // Nothing that fails in here aborts: a run out of memory, or any other
    // failure, is a message and status 1.
    try {
        // Files without a byte-order mark are read in the user's character
        // set (the ANSI code page on Windows); numbers keep the C locale's
        // point, as in the window.
        std::setlocale(LC_CTYPE, "");
        const std::vector<std::string> program = ProgramArguments(argc, argv);
        std::vector<std::string> arguments(program.begin() + (program.empty() ? 0 : 1), program.end());
        const CliParse parse = ParseCommandLine(arguments);
        if (parse.help) {
            std::printf("%s", kCliUsage);
            return kSuccess;
        }
        if (parse.version) {
            std::printf("%s", VersionLine("vokctl").c_str());
            return kSuccess;
        }
        if (!parse.options)
            return UsageError(parse.error);
        return Run(*parse.options);
    } catch (const std::bad_alloc&) {
        return Failure(kLinkFailure, "Недостаточно памяти");
    } catch (const std::exception& e) {
        return Failure(kLinkFailure, std::string("Ошибка: ") + e.what());
    } catch (...) {
        return Failure(kLinkFailure, "Неизвестная ошибка");
    }
}
