#include "service_report.h"

#include <sstream>

namespace {

// A4 portrait with print margins; the table keeps its header on every page.
constexpr const char* kStyle =
    "@page { size: A4; margin: 15mm 15mm 18mm 15mm; }\n"
    "body { font-family: 'DejaVu Sans', Arial, sans-serif; font-size: 10pt; color: #000; }\n"
    "h1 { font-size: 16pt; margin: 0 0 6pt 0; }\n"
    "h2 { font-size: 12pt; margin: 12pt 0 4pt 0; }\n"
    "table { border-collapse: collapse; width: 100%; }\n"
    "th, td { border: 1px solid #888; padding: 2pt 4pt; text-align: left; vertical-align: top; }\n"
    "th { background: #e8e8e8; }\n"
    "thead { display: table-header-group; }\n"
    "tr { page-break-inside: avoid; }\n"
    "td.num { text-align: right; }\n"
    ".facts td { border: none; padding: 1pt 8pt 1pt 0; }\n"
    ".footer { margin-top: 14pt; font-size: 8pt; color: #444; }\n"
    "@media print { body { margin: 0; } }\n";

std::string LinkText(const SnapshotLink& link)
{
    std::string text = link.port + ", " + std::to_string(link.baud) + " бит/с, адрес " +
                       std::to_string(link.address) + ", тайм-аут " + std::to_string(link.timeoutMs) + " мс";
    if (link.fastFraming)
        text += ", быстрое разделение кадров";
    return text;
}

std::string SnapshotLine(const Snapshot& s)
{
    std::string text = "№ " + std::to_string(s.id) + ", " + s.takenLocal + ", " + SnapshotKindCaption(s.kind);
    if (!s.note.empty())
        text += " (" + s.note + ")";
    return text;
}

void Fact(std::ostringstream& out, const std::string& name, const std::string& value)
{
    out << "<tr><td>" << HtmlEscape(name) << "</td><td><b>" << HtmlEscape(value) << "</b></td></tr>\n";
}

} // namespace

std::string HtmlEscape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string ServiceReportHtml(const Snapshot& before, const Snapshot& after, const ConfigDiff& diff,
                              const ReportHeader& header)
{
    std::ostringstream out;
    const std::string serial = after.serial.empty() ? "не прочитан" : after.serial;
    out << "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
        << "<title>Сервисный отчёт, влагомер " << HtmlEscape(serial) << "</title>\n<style>\n"
        << kStyle << "</style>\n</head>\n<body>\n";
    out << "<h1>Сервисный отчёт</h1>\n<table class=\"facts\">\n";
    Fact(out, "Влагомер, серийный номер", serial);
    Fact(out, "Версия прошивки", std::to_string(after.firmware));
    Fact(out, "Инженер", header.engineer);
    Fact(out, "Место", header.place);
    Fact(out, "Дата", after.takenLocal.substr(0, 10));
    Fact(out, "Связь", LinkText(after.link));
    Fact(out, "Было", SnapshotLine(before));
    Fact(out, "Стало", SnapshotLine(after));
    out << "</table>\n";

    out << "<h2>Изменённые параметры</h2>\n";
    if (!diff.valid) {
        for (const std::string& m : diff.messages)
            out << "<p>" << HtmlEscape(m) << "</p>\n";
    } else if (diff.changes.empty()) {
        out << "<p>Конфигурация не изменилась.</p>\n";
    } else {
        out << "<table class=\"changes\">\n<thead><tr><th>Раздел</th><th>Регистр</th><th>Параметр</th>"
               "<th>Тип</th><th>Было</th><th>Стало</th></tr></thead>\n<tbody>\n";
        for (const ConfigChange& c : diff.changes) {
            out << "<tr><td>" << HtmlEscape(c.section) << "</td><td class=\"num\">" << c.registerNumber << "</td><td>"
                << HtmlEscape(c.caption) << "</td><td>" << HtmlEscape(c.typeWord) << "</td><td class=\"num\">"
                << HtmlEscape(c.oldValue) << "</td><td class=\"num\">" << HtmlEscape(c.newValue) << "</td></tr>\n";
        }
        out << "</tbody>\n</table>\n";
    }

    out << "<h2>Текущие значения (" << HtmlEscape(after.takenLocal) << ")</h2>\n";
    if (after.liveValues.empty()) {
        out << "<p>Опрос не выполнялся.</p>\n";
    } else {
        out << "<table class=\"live\">\n<thead><tr><th>Параметр</th><th>Значение</th></tr></thead>\n<tbody>\n";
        std::istringstream lines(after.liveValues);
        std::string line;
        while (std::getline(lines, line)) {
            const auto tab = line.find('\t');
            if (tab == std::string::npos)
                continue;
            out << "<tr><td>" << HtmlEscape(line.substr(0, tab)) << "</td><td class=\"num\">"
                << HtmlEscape(line.substr(tab + 1)) << "</td></tr>\n";
        }
        out << "</tbody>\n</table>\n";
    }
    out << "<p class=\"footer\">VOK Tarnel V2 " << HtmlEscape(header.programVersion) << "</p>\n</body>\n</html>\n";
    return out.str();
}
