#pragma once
// The terminal as the front of the link thread: what the window would show
// goes to stdout (list, report) and stderr (messages, progress).

#include "link_front.h"
#include "plain_reg_list.h"
#include "register_map.h"

#include <functional>
#include <string>
#include <vector>

class CliFront : public LinkFront {
public:
    explicit CliFront(MeterRegisters& registers);

    void RefreshList(const std::string& parameterText) override;
    // The terminal prints the rows only after a poll that succeeded, so
    // nothing stale is ever shown; failed polls are counted for the status.
    void PollFailed(bool) override { ++failedPolls; }
    void ShowError(const std::string& text) override;
    // The terminal waits for the poll's end: its failure is the message.
    void PollRepeating(int, int) override {}
    void ShowStatus(const std::string& text) override;
    void PortLost(const std::string& message) override;
    void SetProgress(int position) override;
    void CloseProgress() override;
    std::string GetOpenFileName() override { return fileName; }
    std::string GetSaveFileName() override { return fileName; }
    void FillReport(const std::vector<std::string>& lines) override;
    ReportEnd ExecReport(bool) override { return ReportEnd::Closed; }
    void ShowVerifyResult(const VerifyResult& result) override { verify = result; }
    void ConfigurationRead(const ConfigReading& reading) override { readings.push_back(reading); }

    // When set, a refresh goes here instead of being printed.
    std::function<void(const std::string& parameterText)> onRefresh;

    std::string fileName;
    std::vector<std::string> errors;
    bool portLost = false;
    std::vector<std::string> report;
    VerifyResult verify;
    std::vector<ConfigReading> readings; // in the order read; the command that ran decides what to keep
    int refreshes = 0;
    int failedPolls = 0;
    bool quietList = false; // refreshes print nothing (vokctl stats)

private:
    MeterRegisters& registers_;
    // The rows exist only to give the objects their register numbers.
    PlainRegList rows_;
    bool progressShown_ = false;
    bool progressOnTerminal_ = false;
};
