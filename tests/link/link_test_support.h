#pragma once
// A recording front on the test's own Qt event loop, and a link thread
// connected to a simulated meter on a pseudo-terminal.

#include "link_front.h"
#include "link_thread.h"
#include "qt_dispatcher.h"
#include "frozen_sim.h"
#include "meter_sim.h"
#include "plain_reg_list.h"
#include "register_map.h"
#include "wait_until.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

inline QCoreApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "link-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                  : new QCoreApplication(argc, argv);
    return *app;
}

// The window's dispatcher, on the test's event loop.
inline QtDispatcher& TestDispatcher()
{
    TestApp();
    static QtDispatcher* dispatcher = new QtDispatcher;
    return *dispatcher;
}

class RecordingFront : public LinkFront {
public:
    std::vector<std::string> errors;
    std::vector<std::string> lostMessages;
    std::vector<std::string> parameterTexts;
    std::vector<int> progress;
    std::vector<std::string> statuses;
    std::vector<int> repeatAttempts; // of PollRepeating, in order
    int repeatTotal = 0;
    std::vector<std::string> report;
    int refreshes = 0;
    int pollFailures = 0;
    bool pollNoAnswer = false;               // of the last failure
    std::size_t errorsBeforePollFailure = 0; // at the last failure
    int progressCloses = 0;
    int reportsShown = 0;
    int verifyRequests = 0;          // the report window asks this many times for "Проверить"
    std::vector<bool> verifyOffered; // per report shown
    std::vector<VerifyResult> verifyResults;
    std::vector<ConfigReading> readings;
    std::string openFileName;
    std::string saveFileName;
    std::string saveFileFailure; // GetSaveFileName throws this when set
    bool wrongThread = false;

    // While set, an error box or a refresh stays "open" in a nested loop
    // until Release() is called; onHold runs as the loop starts.
    bool holdErrors = false;
    bool holdRefresh = false;
    bool holding = false;
    std::function<void()> onHold;

    // Ends the nested loop of a held step; call it from onHold or a timer.
    void Release()
    {
        releaseRequested_ = true;
        if (holdLoop_)
            holdLoop_->quit();
    }

    void RefreshList(const std::string& parameterText) override
    {
        CheckThread();
        ++refreshes;
        parameterTexts.push_back(parameterText);
        if (holdRefresh)
            Hold();
    }
    void PollFailed(bool noAnswer) override
    {
        CheckThread();
        ++pollFailures;
        pollNoAnswer = noAnswer;
        errorsBeforePollFailure = errors.size();
    }
    void ShowError(const std::string& text) override
    {
        CheckThread();
        errors.push_back(text);
        if (holdErrors)
            Hold();
    }
    void PollRepeating(int attempt, int attempts) override
    {
        CheckThread();
        repeatAttempts.push_back(attempt);
        repeatTotal = attempts;
    }
    void ShowStatus(const std::string& text) override
    {
        CheckThread();
        statuses.push_back(text);
    }
    void PortLost(const std::string& text) override
    {
        CheckThread();
        lostMessages.push_back(text);
    }
    void SetProgress(int position) override
    {
        CheckThread();
        progress.push_back(position);
    }
    void CloseProgress() override
    {
        CheckThread();
        ++progressCloses;
    }
    std::string GetOpenFileName() override { return openFileName; }
    std::string GetSaveFileName() override
    {
        if (!saveFileFailure.empty())
            throw std::runtime_error(saveFileFailure);
        return saveFileName;
    }
    void FillReport(const std::vector<std::string>& lines) override
    {
        CheckThread();
        report = lines;
    }
    ReportEnd ExecReport(bool offerVerify) override
    {
        CheckThread();
        ++reportsShown;
        verifyOffered.push_back(offerVerify);
        if (verifyRequests > 0 && offerVerify) {
            --verifyRequests;
            return ReportEnd::VerifyRequested;
        }
        return ReportEnd::Closed;
    }
    void ShowVerifyResult(const VerifyResult& result) override
    {
        CheckThread();
        verifyResults.push_back(result);
    }

    void ConfigurationRead(const ConfigReading& reading) override
    {
        CheckThread();
        readings.push_back(reading);
    }

    int Sweeps() const
    {
        int n = 0;
        for (int p : progress)
            n += p == 1000;
        return n;
    }

private:
    void CheckThread()
    {
        if (QThread::currentThread() != TestApp().thread())
            wrongThread = true;
    }
    // A nested event loop, as a modal box runs one.
    void Hold()
    {
        QEventLoop loop;
        holdLoop_ = &loop;
        holding = true;
        releaseRequested_ = false;
        if (onHold)
            onHold();
        if (!releaseRequested_)
            loop.exec();
        holding = false;
        holdLoop_ = nullptr;
    }
    QEventLoop* holdLoop_ = nullptr;
    bool releaseRequested_ = false;
};

class LinkTest : public ::testing::Test {
protected:
    // An answer is handed over only after 20 ms of line silence, so the
    // budget of a transaction must be well above that.
    static constexpr std::uint32_t kTimeoutMs = 200;
    // The shortest budget the settings allow, for meters that never answer.
    static constexpr std::uint32_t kShortTimeoutMs = 20;

    void SetUp() override
    {
        TestApp();
        AddRegListRows(regs, list);
        sim = StartFrozenSim();
        ASSERT_TRUE(sim->Running());
        link = std::make_unique<TLink1Thread>(regs, front, TestDispatcher());
        // The simulator's line has no echo. Said so, the request log holds
        // the commands' own requests only: while the echo is not known, the
        // first write of an open period is preceded by a read that tells.
        link->SetEcho(EchoMode::Off);
        ASSERT_TRUE(link->OpenLink(sim->PortPath(), 115200, kTimeoutMs, 1));
    }

    void TearDown() override
    {
        link.reset();
        sim.reset();
        EXPECT_FALSE(front.wrongThread) << "a front step ran outside the front's thread";
    }

    // Posts a poll and runs the loop until it has refreshed the front.
    void UseShortTimeout()
    {
        link->CloseLink();
        ASSERT_TRUE(link->OpenLink(sim->PortPath(), 115200, kShortTimeoutMs, 1));
    }

    bool RunPoll()
    {
        const int before = front.refreshes;
        return link->PostCommand(Poll) && WaitUntil([&] { return front.refreshes > before; });
    }

    std::vector<std::uint8_t> Pdu(std::initializer_list<int> bytes)
    {
        std::vector<std::uint8_t> out;
        for (int b : bytes)
            out.push_back(static_cast<std::uint8_t>(b));
        return out;
    }

    MeterRegisters regs;
    PlainRegList list;
    RecordingFront front;
    std::unique_ptr<MeterSim> sim;
    std::unique_ptr<TLink1Thread> link;
};
