#pragma once
// The data log: one CSV record per successful poll, written and flushed
// whole, so that a crash or a pulled plug loses at most the record being
// written. The writer keeps nothing per record: a day of records costs the
// same memory as one.

#include "file_access.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// "," with "." as the decimal point, or ";" with "," so that a spreadsheet in
// a Russian locale reads the values as numbers.
enum class LogSeparator { Comma, Semicolon };

// LogSeparator of "," or ";"; nothing for any other text.
std::optional<LogSeparator> ParseLogSeparator(std::string_view text);

// The style that suits the user's locale (the environment's LC_NUMERIC):
// Semicolon where the decimal separator is a comma, Comma otherwise.
LogSeparator LocaleLogSeparator();

// Local time with milliseconds in the form spreadsheets read as a date and
// time: "2024-05-17 14:03:07.250". The UTC offset goes to the header.
std::string LogTimeStamp(std::chrono::system_clock::time_point time);

// The caption of the time column with the UTC offset of `time`:
// "Время (UTC+03:00)".
std::string LogTimeCaption(std::chrono::system_clock::time_point time);

// One CSV line (RFC 4180, CR LF at the end). A field that holds the
// separator, a double quote, CR or LF is quoted, its quotes doubled.
std::string CsvLine(const std::vector<std::string>& fields, LogSeparator separator);

// A value text ("12.375000", "NAN") with the decimal point of the style.
std::string LogNumber(std::string value, LogSeparator separator);

class DataLogWriter {
public:
    // Opens `path` for writing; "-" is the standard output. An existing file
    // is refused unless `replace`. Nothing with `error` = the system's reason.
    static std::optional<DataLogWriter> Open(const std::string& path, LogSeparator separator, bool replace,
                                             std::string& error);

    DataLogWriter(DataLogWriter&& other) noexcept;
    DataLogWriter& operator=(DataLogWriter&& other) noexcept;
    DataLogWriter(const DataLogWriter&) = delete;
    DataLogWriter& operator=(const DataLogWriter&) = delete;
    ~DataLogWriter();

    // The header line: the time caption (LogTimeCaption of `now`), then
    // `captions`. A file (not the standard output) begins with the UTF-8
    // byte-order mark, so that spreadsheets on Windows read the Cyrillic
    // captions as UTF-8.
    bool WriteHeader(const std::vector<std::string>& captions, std::string& error,
                     std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
    // One record: the time stamp, then `values` (with "." as decimal point;
    // the style's decimal separator is put in here). False with the
    // system's reason when the line could not be written whole.
    bool WriteRecord(std::chrono::system_clock::time_point time, const std::vector<std::string>& values,
                     std::string& error);

    LogSeparator Separator() const { return separator_; }

private:
    DataLogWriter(OutputFile file, bool durable, LogSeparator separator);
    bool WriteLine(const std::string& line, std::string& error);

    OutputFile file_; // the standard output is not closed
    bool durable_ = false; // a regular file: each line goes to the disk
    LogSeparator separator_ = LogSeparator::Comma;
};
