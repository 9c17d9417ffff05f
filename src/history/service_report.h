#pragma once
// The service report of a visit (as found → as left) or of any two
// snapshots, as one self-contained HTML page: UTF-8, A4 print styles, no
// external files. The window prints it to PDF; vokctl writes it as it is.

#include "config_diff.h"
#include "snapshot.h"

#include <string>

struct ReportHeader {
    std::string engineer; // the engineer's name
    std::string place;    // where the meter stands
    std::string programVersion;
};

std::string ServiceReportHtml(const Snapshot& before, const Snapshot& after, const ConfigDiff& diff,
                              const ReportHeader& header);

// "&", "<", ">", '"' as entities.
std::string HtmlEscape(const std::string& text);
