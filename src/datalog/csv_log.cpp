#include "csv_log.h"

#include "file_access.h"

#include <cstdio>
#include <ctime>
#include <utility>

namespace {

char SeparatorChar(LogSeparator separator) { return separator == LogSeparator::Comma ? ',' : ';'; }

std::string SystemMessage(int code) { return SystemErrorText(code); }

} // namespace

std::optional<LogSeparator> ParseLogSeparator(std::string_view text)
{
    if (text == ",")
        return LogSeparator::Comma;
    if (text == ";")
        return LogSeparator::Semicolon;
    return std::nullopt;
}

std::string LogTimeStamp(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    // Floor division, so that times before 1970 keep a millisecond in 0..999.
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    long millis = static_cast<long>(ms % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    std::tm local{};
    localtime_r(&seconds, &local);
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long absOffset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld%c%02ld:%02ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis,
                  offsetMinutes < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
    return text;
}

std::string CsvLine(const std::vector<std::string>& fields, LogSeparator separator)
{
    const char sep = SeparatorChar(separator);
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += sep;
        const std::string& f = fields[i];
        if (f.find_first_of(std::string{sep, '"', '\r', '\n'}) == std::string::npos) {
            line += f;
            continue;
        }
        line += '"';
        for (const char c : f) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    line += "\r\n";
    return line;
}

std::string LogNumber(std::string value, LogSeparator separator)
{
    if (separator == LogSeparator::Semicolon) {
        for (char& c : value)
            if (c == '.')
                c = ',';
    }
    return value;
}

std::optional<DataLogWriter> DataLogWriter::Open(const std::string& path, LogSeparator separator, bool replace,
                                                 std::string& error)
{
    if (path == "-")
        return DataLogWriter(OutputFile::StandardOutput(), false, separator);
    OutputFile file;
    if (const int code = file.Open(path, replace ? OutputFile::Create::Truncate : OutputFile::Create::OnlyNew)) {
        error = SystemMessage(code);
        return std::nullopt;
    }
    const bool regular = file.IsRegular();
    return DataLogWriter(std::move(file), regular, separator);
}

DataLogWriter::DataLogWriter(OutputFile file, bool durable, LogSeparator separator)
    : file_(std::move(file)), durable_(durable), separator_(separator)
{
}

DataLogWriter::DataLogWriter(DataLogWriter&&) noexcept = default;
DataLogWriter& DataLogWriter::operator=(DataLogWriter&&) noexcept = default;
DataLogWriter::~DataLogWriter() = default;

bool DataLogWriter::WriteLine(const std::string& line, std::string& error)
{
    // One write per line: a process that is killed leaves whole lines.
    if (const int code = file_.Write(line)) {
        error = SystemMessage(code);
        return false;
    }
    if (durable_) {
        if (const int code = file_.SyncData()) {
            error = SystemMessage(code);
            return false;
        }
    }
    return true;
}

bool DataLogWriter::WriteHeader(const std::vector<std::string>& captions, std::string& error)
{
    std::vector<std::string> fields;
    fields.reserve(captions.size() + 1);
    fields.emplace_back("Время");
    fields.insert(fields.end(), captions.begin(), captions.end());
    return WriteLine(CsvLine(fields, separator_), error);
}

bool DataLogWriter::WriteRecord(std::chrono::system_clock::time_point time, const std::vector<std::string>& values,
                                std::string& error)
{
    std::vector<std::string> fields;
    fields.reserve(values.size() + 1);
    fields.push_back(LogTimeStamp(time));
    for (const std::string& v : values)
        fields.push_back(LogNumber(v, separator_));
    return WriteLine(CsvLine(fields, separator_), error);
}
