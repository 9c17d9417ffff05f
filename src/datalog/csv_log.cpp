#include "csv_log.h"

#include "file_access.h"
#include "local_time.h"

#include <cstdio>
#include <ctime>
#include <locale>
#include <stdexcept>
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

LogSeparator LocaleLogSeparator()
{
    try {
        const std::locale user("");
        return std::use_facet<std::numpunct<char>>(user).decimal_point() == ',' ? LogSeparator::Semicolon
                                                                               : LogSeparator::Comma;
    } catch (const std::runtime_error&) {
        // A locale the system does not have: the neutral style.
        return LogSeparator::Comma;
    }
}

namespace {

struct LocalMoment {
    LocalTime local;
    long millis = 0;
};

LocalMoment ToLocal(std::chrono::system_clock::time_point time)
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
    return {ToLocalTime(seconds), millis};
}

} // namespace

std::string LogTimeStamp(std::chrono::system_clock::time_point time)
{
    const LocalMoment local = ToLocal(time);
    const std::tm& t = local.local.fields;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03ld", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec, local.millis);
    return text;
}

std::string LogTimeCaption(std::chrono::system_clock::time_point time)
{
    return "Время (UTC" + UtcOffsetText(ToLocal(time).local.utcOffsetMinutes) + ")";
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

bool DataLogWriter::WriteHeader(const std::vector<std::string>& captions, std::string& error,
                                std::chrono::system_clock::time_point now)
{
    std::vector<std::string> fields;
    fields.reserve(captions.size() + 1);
    fields.push_back(LogTimeCaption(now));
    fields.insert(fields.end(), captions.begin(), captions.end());
    // A file gets the byte-order mark that spreadsheets need to read it as
    // UTF-8; a pipe gets plain lines.
    const std::string bom = file_.IsStandardOutput() ? "" : "\xEF\xBB\xBF";
    return WriteLine(bom + CsvLine(fields, separator_), error);
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
