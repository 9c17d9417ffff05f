#include "history_commands.h"

#include "cli_front.h"
#include "cli_options.h"
#include "config_diff.h"
#include "config_reading.h"
#include "exit_status.h"
#include "file_read.h"
#include "file_access.h"
#include "file_write.h"
#include "history_place.h"
#include "history_settings.h"
#include "history_store.h"
#include "link_thread.h"
#include "post_and_wait.h"
#include "program_version.h"
#include "service_report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace {

int Failure(int status, const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    return status;
}

bool OpenStore(HistoryStore& store)
{
    const std::string path = DefaultHistoryPath();
    if (path.empty()) {
        std::fprintf(stderr, "История недоступна: не задан HOME\n");
        return false;
    }
    if (store.Open(path))
        return true;
    std::fprintf(stderr, "%s\n", store.TakeFailureMessage().c_str());
    return false;
}

// The snapshot an argument names; a message when there is none.
std::optional<Snapshot> Find(HistoryStore& store, const std::string& id)
{
    std::optional<Snapshot> snapshot;
    if (NamesSnapshot(id))
        snapshot = store.Get(std::strtoll(id.c_str(), nullptr, 10));
    if (!snapshot) {
        const std::string failure = store.TakeFailureMessage();
        std::fprintf(stderr, "%s\n", failure.empty() ? ("Снимок " + id + " не найден").c_str() : failure.c_str());
    }
    return snapshot;
}

// Both texts are whole numbers of the same value ("20417", "20417.000000").
bool SameNumber(const std::string& a, const std::string& b)
{
    char* endA = nullptr;
    char* endB = nullptr;
    const double x = std::strtod(a.c_str(), &endA);
    const double y = std::strtod(b.c_str(), &endB);
    return !a.empty() && !b.empty() && *endA == '\0' && *endB == '\0' && x == y;
}

std::string SerialShown(const std::string& serial) { return serial.empty() ? "-" : serial; }

// The bytes of a snapshot, or of a parameter file; false with a message.
bool ConfigBytes(HistoryStore& store, const std::string& argument, std::string& bytes)
{
    if (NamesSnapshot(argument)) {
        const auto snapshot = Find(store, argument);
        if (!snapshot)
            return false;
        bytes = snapshot->config;
        return true;
    }
    std::string error;
    if (!ReadWholeFile(argument, bytes, error)) {
        std::fprintf(stderr, "Не удалось прочитать файл %s: %s\n", argument.c_str(), error.c_str());
        return false;
    }
    return true;
}

int PrintDiff(const ConfigDiff& diff)
{
    if (!diff.valid) {
        for (const std::string& m : diff.messages)
            std::printf("%s\n", m.c_str());
        return kUsage;
    }
    for (const ConfigChange& change : diff.changes)
        std::printf("%s\n", ConfigChangeLine(change).c_str());
    std::fflush(stdout);
    return diff.changes.empty() ? kSuccess : kInvalidFile;
}

bool Confirmed(const std::string& question)
{
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "д" || answer == "да";
}

// A private copy of the snapshot's text for the load, removed afterwards.
class TempParamFile {
public:
    explicit TempParamFile(const std::string& bytes)
    {
        // A name no other file has: created only when it does not exist yet.
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
        if (ec)
            return;
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate =
                (folder / ("vokctl-restore-" + std::to_string(random()))).string();
            OutputFile file;
            if (file.Open(candidate, OutputFile::Create::OnlyNew) != 0)
                continue;
            if (file.Write(bytes) == 0)
                path_ = candidate;
            else
                std::filesystem::remove(candidate, ec);
        }
    }
    ~TempParamFile()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove(path_, ec);
    }
    TempParamFile(const TempParamFile&) = delete;
    TempParamFile& operator=(const TempParamFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace

bool NamesSnapshot(const std::string& argument)
{
    return !argument.empty() && argument.size() < 19 && argument.find_first_not_of("0123456789") == std::string::npos;
}

int ListHistory(const CliOptions& options)
{
    HistoryStore store;
    if (!OpenStore(store))
        return kUsage;
    if (options.arguments.empty()) {
        for (const MeterSummary& m : store.Meters())
            std::printf("%s\t%u\t%s\t%d%s%s\n", SerialShown(m.serial).c_str(), static_cast<unsigned>(m.firmware),
                        m.lastSeenLocal.c_str(), m.snapshots, m.place.empty() ? "" : "\t", m.place.c_str());
    } else {
        const std::string serial = options.arguments[0] == "-" ? std::string() : options.arguments[0];
        std::vector<SnapshotSummary> list = store.SnapshotsOfSerial(serial);
        // "20417" names the meter that the list shows as "20417.000000".
        if (list.empty() && SameNumber(serial, serial)) {
            for (const MeterSummary& m : store.Meters())
                if (SameNumber(m.serial, serial))
                    for (SnapshotSummary& s : store.SnapshotsOfMeter(m.id))
                        list.push_back(std::move(s));
            std::sort(list.begin(), list.end(), [](const SnapshotSummary& x, const SnapshotSummary& y) {
                return std::pair(x.takenUtcMs, x.id) < std::pair(y.takenUtcMs, y.id);
            });
        }
        for (const SnapshotSummary& s : list)
            std::printf("%lld\t%s\t%s\t%s\t%s\n", static_cast<long long>(s.id), s.takenLocal.c_str(),
                        SnapshotKindWord(s.kind), SerialShown(s.serial).c_str(), s.note.c_str());
    }
    const std::string failure = store.TakeFailureMessage();
    return failure.empty() ? kSuccess : Failure(kUsage, failure);
}

int ShowSnapshot(const std::string& id)
{
    HistoryStore store;
    if (!OpenStore(store))
        return kUsage;
    const auto snapshot = Find(store, id);
    if (!snapshot)
        return kUsage;
    std::fwrite(snapshot->config.data(), 1, snapshot->config.size(), stdout);
    return std::fflush(stdout) == 0 ? kSuccess : kUsage;
}

int DiffWithSnapshot(const std::string& a, const std::string& b)
{
    HistoryStore store;
    if (!OpenStore(store))
        return kUsage;
    std::string before, after;
    if (!ConfigBytes(store, a, before) || !ConfigBytes(store, b, after))
        return kUsage;
    return PrintDiff(DiffConfigurations(before, after));
}

int WriteReport(const CliOptions& options, const std::string& iniPath)
{
    HistoryStore store;
    if (!OpenStore(store))
        return kUsage;
    const auto before = Find(store, options.arguments[0]);
    if (!before)
        return kUsage;
    const auto after = Find(store, options.arguments[1]);
    if (!after)
        return kUsage;
    const ReportPeopleSettings saved = LoadReportPeople(iniPath);
    ReportHeader header;
    header.engineer = options.engineer.value_or(saved.engineer);
    header.place = options.place.value_or(saved.place);
    header.programVersion = ToolVersion();
    const std::string html =
        ServiceReportHtml(*before, *after, DiffConfigurations(before->config, after->config), header);
    std::string error;
    if (!ReplaceFileContents(*options.output, html, error))
        return Failure(kUsage, "Не удалось записать файл " + *options.output + ": " + error);
    return kSuccess;
}

int TakeSnapshotCommand(TLink1Thread& link, CliFront& front, MeterRegisters& registers, const CliOptions& options,
                        const SnapshotLink& linkSettings)
{
    HistoryStore store;
    if (!OpenStore(store))
        return kUsage;
    // One poll first, for the register list the snapshot keeps beside the configuration.
    front.quietList = true;
    if (!PostAndWait(link, LinkCommand::Poll))
        return Failure(kLinkFailure, "Связь с влагомером закрыта");
    if (!front.errors.empty() || front.refreshes == 0)
        return kLinkFailure;
    const std::string live = RegisterListText(registers);
    PostAndWait(link, LinkCommand::TakeSnapshot);
    if (!front.errors.empty() || front.readings.empty())
        return kLinkFailure;
    Snapshot snapshot = SnapshotOfReading(front.readings.back(), linkSettings);
    snapshot.note = options.note.value_or("");
    snapshot.liveValues = live;
    const auto id = store.Add(snapshot);
    if (!id)
        return Failure(kUsage, store.TakeFailureMessage());
    std::printf("%lld\n", static_cast<long long>(*id));
    return kSuccess;
}

int RestoreSnapshot(TLink1Thread& link, CliFront& front, const CliOptions& options,
                    const std::function<int(const std::string& path)>& load)
{
    HistoryStore store;
    if (!OpenStore(store))
        return kUsage;
    const auto snapshot = Find(store, options.arguments[0]);
    if (!snapshot)
        return kUsage;
    // The preview: what the meter holds now against the snapshot.
    PostAndWait(link, LinkCommand::TakeSnapshot);
    if (!front.errors.empty() || front.readings.empty())
        return kLinkFailure;
    const ConfigDiff diff = DiffConfigurations(front.readings.back().text, snapshot->config);
    front.readings.clear();
    if (!diff.valid) {
        PrintDiff(diff);
        return kUsage;
    }
    for (const ConfigChange& change : diff.changes)
        std::printf("%s\n", ConfigChangeLine(change).c_str());
    std::fflush(stdout);
    if (diff.changes.empty()) {
        std::fprintf(stderr, "Влагомер уже содержит конфигурацию снимка %s\n", options.arguments[0].c_str());
        return kSuccess;
    }
    if (!options.yes && !Confirmed("Загрузить снимок " + options.arguments[0] + " во влагомер?")) {
        std::fprintf(stderr, "Снимок не загружен\n");
        return kSuccess;
    }
    const TempParamFile file(snapshot->config);
    if (file.Path().empty())
        return Failure(kUsage, "Не удалось записать временный файл для загрузки");
    return load(file.Path());
}

void RecordReadings(CliFront& front, const SnapshotLink& linkSettings)
{
    if (front.readings.empty())
        return;
    HistoryStore store;
    if (!OpenStore(store))
        return;
    for (const ConfigReading& reading : front.readings) {
        if (!store.Add(SnapshotOfReading(reading, linkSettings))) {
            std::fprintf(stderr, "%s\n", store.TakeFailureMessage().c_str());
            return;
        }
    }
    front.readings.clear();
}
