// The data log writer: records per second into a file on disk (each record
// written whole and flushed to the disk) and into /dev/null (formatting and
// the write call alone), and the memory a day of records costs.

#include "csv_log.h"
#include "poll_record.h"
#include "register_map.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Writes `records` records; records per second, or -1 on a failure.
double Throughput(const std::string& path, int records, MeterRegisters& registers)
{
    std::string error;
    auto writer = DataLogWriter::Open(path, LogSeparator::Semicolon, true, error);
    if (!writer || !writer->WriteHeader(PollRecordCaptions(registers), error))
        return -1;
    const auto t0 = Clock::now();
    for (int i = 0; i < records; ++i) {
        registers.WaterCut.Set(static_cast<float>(i) * 0.001f);
        if (!writer->WriteRecord(std::chrono::system_clock::now(), PollRecordValues(registers, "NAN"), error))
            return -1;
    }
    return records / std::chrono::duration<double>(Clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    MeterRegisters registers;
    const auto file = std::filesystem::temp_directory_path() / "vok-datalog-bench.csv";

    const int day = quick ? 8'640 : 86'400;
    Throughput("/dev/null", 1'000, registers);
    const long before = ResidentKb();
    const double toNull = Throughput("/dev/null", day, registers);
    const long after = ResidentKb();
    std::printf("Data log, %d records of 18 fields to /dev/null: %.0f records/s; resident memory %ld kB after "
                "1,000 records, %ld kB after a day's more\n",
                day, toNull, before, after);

    const int durable = quick ? 200 : 2'000;
    const double toDisk = Throughput(file.string(), durable, registers);
    std::printf("Data log, %d records to %s, each flushed to the disk: %.0f records/s (%.2f ms per record)\n",
                durable, file.c_str(), toDisk, 1000.0 / toDisk);
    std::printf("  one record: %ju bytes\n", static_cast<std::uintmax_t>(std::filesystem::file_size(file) / (durable + 1)));
    std::filesystem::remove(file);
    return toNull > 0 && toDisk > 0 ? 0 : 1;
}
