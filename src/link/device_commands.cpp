// Commands that change the meter: the register write, the NVRAM commit and
// the factory load, the last two with their read-back loops.

#include "link_thread.h"

#include "link_messages.h"
#include "reg_list_item_data.h"
#include "register_map.h"

#include <chrono>
#include <thread>

namespace {

constexpr std::uint16_t kNvramCommandCode = 1234;
constexpr std::uint16_t kFactoryCommandCode = 101;
constexpr float kFactoryArgument = 101.0f;
constexpr int kReadBackPasses = 5;

} // namespace

void TLink1Thread::WriteReg(RegListItemData& target, const std::string& text)
{
    bool built = false;
    RunOnUi([&] {
        // SyncBuildWrite: the value and the request change only on good text.
        FWriteRequest.Rewind();
        try {
            target.BuildWriteRequest(FWriteRequest, text);
            built = true;
        } catch (...) {
            if (!stopping_)
                front_.ShowError("Неверный формат числа");
        }
        FDoneEvent.Set();
    });
    if (!built)
        return;
    Guarded([&] { TransactWithRetry(FWriteRequest); });
}

void TLink1Thread::ProgressSweep(int pauseMs)
{
    RunOnUi([this, pauseMs] {
        // SyncNvramWait / SyncFactoryWait: the window thread does nothing
        // else meanwhile, which is the point: the meter gets this time.
        for (int position = 0; position <= 1000 && !stopping_; position += 10) {
            front_.SetProgress(position);
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        FDoneEvent.Set();
    });
}

void TLink1Thread::SaveToNVRAM()
{
    // A meter that still shows the command after the last pass has not
    // confirmed the commit: that is a failure, not a silent end.
    bool passesEnded = false;
    bool confirmed = false;
    Guarded([&] {
        ModBusRequest request(6, kNvramCommandRegister, kNvramCommandCode);
        TransactWithRetry(request);
        request.Build(3, kNvramCommandRegister, 1);
        ModBusUShortReg readBack(0);
        for (int pass = 0; pass < kReadBackPasses && !stopping_; ++pass) {
            ProgressSweep(10);
            TransactWithRetry(request);
            FRtu >> readBack;
            if (readBack.Get() == 0) {
                confirmed = true;
                break;
            }
        }
        passesEnded = !stopping_;
    });
    if (passesEnded && !CommandLinkEnded()) {
        if (confirmed)
            ShowStatus(kNvramConfirmedText);
        else
            ShowError(kNvramUnconfirmedText);
    }
    CloseProgress();
    if (passesEnded && confirmed)
        TakeAsLeft();
}

void TLink1Thread::LoadFactory()
{
    ModBusRequest request(16, kConfigCommandRegister, 5);
    ModBusUShortReg code(kFactoryCommandCode);
    ModBusFloatReg first(kFactoryArgument);
    ModBusFloatReg second(kFactoryArgument);
    request.Rewind();
    request << code << first << second;
    Guarded([&] {
        TransactWithRetry(request);
        request.Build(3, kConfigCommandRegister, 5);
        for (int pass = 0; pass < kReadBackPasses && !stopping_; ++pass) {
            ProgressSweep(20);
            TransactWithRetry(request);
            FRtu >> code >> first >> second;
            // -0.0 compares equal to 0.0; a NaN never does.
            if (code.Get() == 0 && first.Get() == 0.0f && second.Get() == 0.0f)
                break;
        }
    });
    CloseProgress();
}
