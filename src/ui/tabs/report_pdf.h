#pragma once
// The service report's HTML printed to a PDF file with Qt's own PDF writer:
// A4, text that can be selected and searched, the fonts embedded.

#include <QString>

#include <string>

// False with `error` set when the file cannot be written.
bool WriteReportPdf(const std::string& html, const QString& path, const QString& title, QString& error);
