#pragma once
// A front for the benchmarks: it shows nothing and keeps what it was told.

#include "link_front.h"

#include <string>
#include <vector>

class QuietFront : public LinkFront {
public:
    void RefreshList(const std::string&) override { ++refreshes; }
    void PollFailed(bool) override {}
    void PollRepeating(int, int) override {}
    void ShowStatus(const std::string&) override {}
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void PortLost(const std::string& text) override { errors.push_back(text); }
    void SetProgress(int) override {}
    void CloseProgress() override {}
    std::string GetOpenFileName() override { return fileName; }
    std::string GetSaveFileName() override { return fileName; }
    void FillReport(const std::vector<std::string>& lines) override { report = lines; }
    ReportEnd ExecReport(bool) override { return ReportEnd::Closed; }
    void ShowVerifyResult(const VerifyResult& result) override { verify = result; }

    int refreshes = 0;
    std::vector<std::string> errors;
    std::vector<std::string> report;
    VerifyResult verify;
    std::string fileName;
};
