// The parameter file commands: the dump of the meter's configuration into a
// file, and the script run that validates a file and writes it to the meter.

#include "link_thread.h"

#include "codecs.h"
#include "dump_plan.h"
#include "file_write.h"
#include "layout_writer.h"
#include "link_messages.h"
#include "meter_config.h"
#include "register_map.h"
#include "script.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr std::uint16_t kApplyConfigCode = 10;
constexpr int kProgressStage = 150;

template <class... Args>
std::string Format(const char* format, Args... args)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

} // namespace

void TLink1Thread::SaveVokParams()
{
    RunOnUi([this] {
        // SyncGetSaveFileName
        if (!stopping_)
            FFileName = front_.GetSaveFileName();
        FDoneEvent.Set();
    });

    MeterConfig config;
    int progress = 0;
    SetProgress(progress);
    Guarded([&] {
        ReadConfiguration(config, [&] {
            progress += kProgressStage;
            SetProgress(progress);
        });

        std::string error;
        if (stopping_)
            return;
        if (ReplaceFileContents(FFileName, ParamFileText(config), error))
            HandOverConfiguration(config, SnapshotKind::Dump);
        else
            ShowError("Не удалось записать файл " + FFileName + ": " + error);
    });
    CloseProgress();
}

void TLink1Thread::LoadVokParams()
{
    RunOnUi([this] {
        // SyncGetOpenFileName
        if (!stopping_)
            FFileName = front_.GetOpenFileName();
        FDoneEvent.Set();
    });

    const ModBusRequest loadConfigRequest(6, kConfigCommandRegister, kApplyConfigCode);
    const ScriptPatterns patterns;
    FReport.clear();

    ScriptValidation script;
    std::string readError;
    bool executed = false;
    bool clean = false;
    if (!ValidateScriptFile(FFileName, patterns, script, readError)) {
        FReport.push_back("Не удалось прочитать файл " + FFileName + ": " + readError);
    } else {
        if (!script.messages.empty()) {
            FReport = std::move(script.messages);
        } else {
            int failedWrites = 0;
            bool lost = !RunScript(script, failedWrites);
            if (!lost) {
                try {
                    TransactWithRetry(loadConfigRequest);
                    FReport.push_back("Применена команда загрузки конфигурации (без записи в NVRAM).");
                    clean = failedWrites == 0;
                } catch (ModBusPdu::error_t e) {
                    FReport.push_back(
                        Format("Команда загрузки конфигурации отвергнута (код %d).", static_cast<int>(e)));
                } catch (ModBusRtu::error_t e) {
                    FReport.push_back("Не удалось послать команду загрузки конфигурации (ошибка связи).");
                    lost = e == ModBusRtu::kPortLost;
                }
            }
            // Nothing to verify on a port that is gone.
            executed = !lost;
            if (lost) {
                FReport.push_back(PortLostReportLine(PortName()));
                ReportPortLost();
            }
        }
    }

    ReportEnd end = ReportEnd::Closed;
    RunOnUi([&] {
        // SyncShowReport: the link thread is released before the report
        // window's modal loop, and this step returns when it is closed (or
        // when the user asks for a verification).
        if (stopping_) {
            FDoneEvent.Set();
            return;
        }
        front_.CloseProgress();
        front_.FillReport(FReport);
        FDoneEvent.Set();
        end = front_.ExecReport(executed);
    });
    // "Проверить": the comparison runs as part of this command, while the
    // report window stays shown, and its lines go below the report's.
    while (end == ReportEnd::VerifyRequested && !stopping_) {
        const VerifyResult result = VerifyAgainstFile(FFileName);
        RunOnUi([&] {
            end = ReportEnd::Closed;
            if (!stopping_) {
                front_.ShowVerifyResult(result);
                FDoneEvent.Set();
                end = front_.ExecReport(true);
                return;
            }
            FDoneEvent.Set();
        });
    }
    if (clean)
        TakeAsLeft();
}

bool TLink1Thread::RunScript(const ScriptValidation& script, int& failedWrites)
{
    const std::int32_t step = script.weight <= 0 ? 0 : script.weight <= 1000 ? 1000 / script.weight : 1;
    std::int32_t position = 0;
    SetProgress(position);

    ModBusRequest write;
    ModBusFloatReg floatValue;
    for (const ScriptStep& line : script.steps) {
        if (stopping_)
            return true;
        if (line.kind == ScriptStep::Kind::Pause) {
            for (int tick = 0; tick < line.pauseMs / 100 && !stopping_; ++tick) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                SetProgress(position);
                position += step;
            }
            continue;
        }
        const auto address = static_cast<std::uint16_t>(line.registerNumber - 1);
        if (line.type == ScriptValueType::Float) {
            floatValue.Set(line.floatValue);
            write.Build(16, address, 2);
            write.Rewind();
            write << floatValue;
        } else {
            write.Build(6, address, static_cast<std::uint16_t>(line.intValue));
        }
        try {
            TransactWithRetry(write);
            FReport.push_back(Format("Запись по адресу %d выполнена.", line.registerNumber));
            position += step;
            SetProgress(position);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } catch (ModBusPdu::error_t) {
            ++failedWrites;
            FReport.push_back(Format("Ошибка записи по адресу %d (запрос отвергнут).", line.registerNumber));
        } catch (ModBusRtu::error_t e) {
            ++failedWrites;
            FReport.push_back(Format("Ошибка записи по адресу %d (ошибка связи).", line.registerNumber));
            if (e == ModBusRtu::kPortLost)
                return false;
        }
    }
    return true;
}
