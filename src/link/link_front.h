#pragma once
// What the link thread's commands need of their front (the window, or the
// terminal of the command-line tool). Every operation runs on the front's
// own thread, handed over by the link thread, which waits meanwhile.

#include "config_reading.h"
#include "verify_result.h"

#include <string>
#include <vector>

// How the report window of a load was left.
enum class ReportEnd { Closed, VerifyRequested };

class LinkFront {
public:
    // Rewrites the value text of every list row from its object, and the
    // parameter value box with `parameterText`.
    virtual void RefreshList(const std::string& parameterText) = 0;
    // A poll has failed while the link is open: the values shown are those of
    // an earlier poll. `noAnswer`: the meter gave no valid answer; otherwise
    // it refused the poll with an exception. Runs before the poll's error
    // message, if any.
    virtual void PollFailed(bool noAnswer) = 0;
    // Error box (OK button, error icon); returns once the user has dismissed it.
    virtual void ShowError(const std::string& text) = 0;
    // The port is gone and the channel closed: the front ends the link as
    // its own close would, then shows `message` as ShowError does.
    virtual void PortLost(const std::string& message) = 0;
    // A poll's request got no answer and goes out again as attempt
    // `attempt` of `attempts`; called from the first unanswered attempt on.
    virtual void PollRepeating(int attempt, int attempts) = 0;
    // A short note for the status line (a confirmed commit); it does not
    // wait for the user.
    virtual void ShowStatus(const std::string& text) = 0;
    // Progress bar of the progress dialog, range 0..1000.
    virtual void SetProgress(int position) = 0;
    // Ends the progress dialog's modal loop.
    virtual void CloseProgress() = 0;
    // The file chosen for loading a parameter file / for saving a dump.
    virtual std::string GetOpenFileName() = 0;
    virtual std::string GetSaveFileName() = 0;
    // Fills the script report window with `lines`; ExecReport then shows it
    // modally and returns when the user has closed it, or, with
    // `offerVerify`, has asked for the verification of the loaded file
    // ("Проверить"), while the window stays shown for its result.
    virtual void FillReport(const std::vector<std::string>& lines) = 0;
    virtual ReportEnd ExecReport(bool offerVerify) = 0;
    // The outcome of a verification against the file: the window appends it
    // below the report's lines.
    virtual void ShowVerifyResult(const VerifyResult& result) = 0;
    // A configuration read in full (a snapshot, a dump, ...), for the
    // meter's history; fronts without one ignore it.
    virtual void ConfigurationRead(const ConfigReading& /*reading*/) {}

protected:
    ~LinkFront() = default;
};
