// The data log read back the way an engineer reads it: LibreOffice converts
// the CSV to a spreadsheet in a Russian and in an English locale, and the
// time column must come out as dates and the values as numbers. Skipped,
// with a notice, where LibreOffice is not installed.

#include "csv_log.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

std::string Output(const std::string& command)
{
    std::string text;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        text.append(buffer, n);
    return text;
}

// The value types of the cells of each row of the first sheet ("date",
// "float", "string", ...), from the document's content.xml.
std::vector<std::vector<std::string>> CellTypes(const std::string& contentXml)
{
    std::vector<std::vector<std::string>> rows;
    const std::regex type(R"re(office:value-type="([a-z]+)")re");
    const std::string rowStart = "<table:table-row", rowEnd = "</table:table-row>", cellStart = "<table:table-cell";
    for (std::size_t at = contentXml.find(rowStart); at != std::string::npos; at = contentXml.find(rowStart, at)) {
        const std::size_t end = contentXml.find(rowEnd, at);
        if (end == std::string::npos)
            break;
        std::vector<std::string> types;
        for (std::size_t c = contentXml.find(cellStart, at); c != std::string::npos && c < end;
             c = contentXml.find(cellStart, c + 1)) {
            const std::string tag = contentXml.substr(c, contentXml.find('>', c) - c);
            std::smatch t;
            types.push_back(std::regex_search(tag, t, type) ? t[1].str() : "empty");
        }
        rows.push_back(types);
        at = end;
    }
    return rows;
}

} // namespace

TEST(DataLogInASpreadsheet, TimesAreDatesAndValuesNumbersInRussianAndEnglish)
{
    if (std::system("command -v soffice >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "NOTICE: LibreOffice (soffice) is not installed; the data log is not read back by a spreadsheet";
    TempDir dir;
    const struct {
        const char* locale;
        LogSeparator separator; // what LocaleLogSeparator gives there
    } cases[] = {
        {"ru_RU.UTF-8", LogSeparator::Semicolon},
        {"en_US.UTF-8", LogSeparator::Comma},
    };
    for (const auto& c : cases) {
        const std::string name = c.separator == LogSeparator::Semicolon ? "ru" : "en";
        const std::string csv = dir.File(name + ".csv");
        std::string error;
        {
            auto writer = DataLogWriter::Open(csv, c.separator, true, error);
            ASSERT_TRUE(writer) << error;
            ASSERT_TRUE(writer->WriteHeader({"Серийный номер", "Температура среды, С°"}, error));
            const auto now = std::chrono::system_clock::now();
            ASSERT_TRUE(writer->WriteRecord(now, {"20417.000000", "24.523266"}, error));
            ASSERT_TRUE(writer->WriteRecord(now + std::chrono::milliseconds(1250), {"20417.000000", "-3.5"}, error));
        }
        const std::string profile = "file://" + dir.File("profile-" + name);
        const std::string convert = "env LANG=" + std::string(c.locale) + " LC_ALL=" + c.locale +
                                    " soffice -env:UserInstallation=" + profile +
                                    " --headless --convert-to ods --outdir '" + dir.Path().string() + "' '" + csv +
                                    "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(convert.c_str()), 0) << convert;
        const std::string content = Output("unzip -p '" + dir.File(name + ".ods") + "' content.xml");
        const auto rows = CellTypes(content);
        ASSERT_GE(rows.size(), 3u) << c.locale << content.substr(0, 400);
        // The first three cells of each row; a sheet may add empty ones.
        const auto firstThree = [&](std::size_t r) {
            return std::vector<std::string>(rows[r].begin(), rows[r].begin() + std::min<std::size_t>(3, rows[r].size()));
        };
        EXPECT_EQ(firstThree(0), (std::vector<std::string>{"string", "string", "string"})) << c.locale;
        for (std::size_t r = 1; r < 3; ++r)
            EXPECT_EQ(firstThree(r), (std::vector<std::string>{"date", "float", "float"})) << c.locale << " row " << r;
    }
}
