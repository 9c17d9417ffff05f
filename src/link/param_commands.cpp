// The parameter file commands: the dump of the meter's configuration into a
// file, and the script run that validates a file and writes it to the meter.

#include "link_thread.h"

#include "codecs.h"
#include "file_write.h"
#include "layout_writer.h"
#include "link_messages.h"
#include "meter_config.h"
#include "register_map.h"
#include "script.h"
#include "text_file.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr std::uint16_t kApplyConfigCode = 10;
constexpr int kProgressStage = 150;

// The value objects of one calibration (a salt table's or a point set's),
// taken from an answer in the meter's order.
struct CalibrationRegs {
    ModBusFloatReg XMean, XStd, YMean, YStd;
    ModBusFloatReg P[10];

    void Take(ModBusAnswer& answer)
    {
        answer >> XMean >> XStd >> YMean >> YStd;
        for (auto& v : P)
            answer >> v;
    }
    void CopyTo(CalibrationConfig& config) const
    {
        config.XMean = XMean.Get();
        config.XStd = XStd.Get();
        config.YMean = YMean.Get();
        config.YStd = YStd.Get();
        for (int i = 0; i < 10; ++i)
            config.P[i] = P[i].Get();
    }
};

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

    ModBusRequest serialRequest(3, 2000, 2);
    ModBusRequest adjustRequest(3, 2022, 12);
    ModBusRequest set1Request(3, 53008, 10);
    ModBusRequest set2Request(3, 53026, 7);
    ModBusRequest phaseRequest(3, 0, 30);
    ModBusRequest saltRequest(3, 0, 30);
    ModBusRequest densityRequest(3, kDensityStart, 17);
    ModBusRequest gateRequest(3, 53020, 1);
    ModBusRequest pointSetRequest(3, 0, 114);

    // Value objects of the dump's own, reused across phases and salt tables:
    // a short answer leaves the values of the previous use.
    ModBusFloatReg skip;
    ModBusFloatReg serial, oilAdjust, waterAdjust, oilIndex, waterIndex;
    ModBusFloatReg pdFreq, nsStart, nsEnd, dacP0, dacP1;
    ModBusUShortReg pdThres, modAnalyzer;
    ModBusShortReg nShift;
    ModBusUShortReg sg1CrossN, sg2CrossN;
    ModBusFloatReg sg1Start, sg1End, sg2Win;
    ModBusFloatReg saltValue;
    CalibrationRegs saltCalibration;
    ModBusUShortReg densityEnable;
    ModBusFloatReg density[8];
    ModBusUShortReg firmware;
    ModBusUShortReg pointMode, pointCount;
    ModBusFloatReg pointT0, pointSalt;
    CalibrationRegs pointCalibration;
    ModBusFloatReg pairP[20], pairW[20];

    MeterConfig config;
    int progress = 0;
    SetProgress(progress);
    const auto advance = [&] {
        progress += kProgressStage;
        SetProgress(progress);
    };
    Guarded([&] {
        TransactWithRetry(serialRequest);
        FRtu >> serial;
        config.Serial = serial.Get();

        TransactWithRetry(adjustRequest);
        FRtu >> oilAdjust >> waterAdjust >> skip >> skip >> oilIndex >> waterIndex;
        config.OilAdjust = oilAdjust.Get();
        config.WaterAdjust = waterAdjust.Get();
        config.OilIndex = oilIndex.Get();
        config.WaterIndex = waterIndex.Get();

        TransactWithRetry(set1Request);
        FRtu >> pdFreq >> pdThres >> nsStart >> nsEnd >> skip >> modAnalyzer;
        config.PDFreq = pdFreq.Get();
        config.PDThres = pdThres.Get();
        config.NSStart = nsStart.Get();
        config.NSEnd = nsEnd.Get();
        config.ModAnalyzer = modAnalyzer.Get();
        advance();

        TransactWithRetry(set2Request);
        FRtu >> nShift >> skip >> dacP0 >> dacP1;
        config.NShift = nShift.Get();
        config.DacP0 = dacP0.Get();
        config.DacP1 = dacP1.Get();
        advance();

        for (int p = 0; p < 2; ++p) {
            PhaseConfig& phase = config.Phase[p];
            phaseRequest.SetAddress(kPhaseStart[p]);
            TransactWithRetry(phaseRequest);
            FRtu >> sg1CrossN >> sg1Start >> sg1End >> sg2CrossN >> sg2Win;
            for (int i = 0; i < 11; ++i)
                FRtu >> skip;
            phase.SG1CrossN = sg1CrossN.Get();
            phase.SG1Start = sg1Start.Get();
            phase.SG1End = sg1End.Get();
            phase.SG2CrossN = sg2CrossN.Get();
            phase.SG2Win = sg2Win.Get();
            advance();

            for (int s = 0; s < 10; ++s) {
                saltRequest.SetAddress(static_cast<std::uint16_t>(kSaltTableStart[p] + kSaltTableSize * s));
                TransactWithRetry(saltRequest);
                FRtu >> saltValue;
                saltCalibration.Take(FRtu);
                SaltTableConfig& table = phase.Salt[s];
                table.Salt = saltValue.Get();
                saltCalibration.CopyTo(table);
            }
            advance();
        }

        TransactWithRetry(densityRequest);
        FRtu >> densityEnable;
        for (auto& v : density)
            FRtu >> v;
        config.DensityEnable = densityEnable.Get();
        config.RoCurr = density[0].Get();
        config.RoMin = density[1].Get();
        config.RoMax = density[2].Get();
        config.DensityP1 = density[3].Get();
        config.DensityP2 = density[4].Get();
        config.DensityP3 = density[5].Get();
        config.DensityMean = density[6].Get();
        config.DensityStd = density[7].Get();
        advance();

        TransactWithRetry(gateRequest);
        FRtu >> firmware;
        config.FirmwareVersion = firmware.Get();

        if (config.FirmwareVersion >= kPointSetFirmware) {
            for (int p = 0; p < 2; ++p) {
                pointSetRequest.SetAddress(kPointSetStart[p]);
                TransactWithRetry(pointSetRequest);
                FRtu >> pointMode >> pointT0 >> pointSalt;
                pointCalibration.Take(FRtu);
                FRtu >> pointCount;
                for (int i = 0; i < 20; ++i)
                    FRtu >> pairP[i] >> pairW[i];
                PointSetConfig& set = config.PointSet[p];
                set.Mode = pointMode.Get();
                set.T0 = pointT0.Get();
                set.Salt = pointSalt.Get();
                pointCalibration.CopyTo(set);
                set.PCount = pointCount.Get();
                for (int i = 0; i < 20; ++i) {
                    set.PairP[i] = pairP[i].Get();
                    set.PairW[i] = pairW[i].Get();
                }
            }
        }

        std::string error;
        if (!stopping_ && !ReplaceFileContents(FFileName, ParamFileText(config), error))
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

    std::vector<std::wstring> lines;
    std::string readError;
    if (!ReadTextFileLines(FFileName, lines, readError)) {
        FReport.push_back("Не удалось прочитать файл " + FFileName + ": " + readError);
    } else {
        const ScriptValidation script = ValidateScript(lines, patterns);
        if (!script.messages.empty()) {
            FReport = script.messages;
        } else {
            bool lost = !RunScript(script);
            if (!lost) {
                try {
                    TransactWithRetry(loadConfigRequest);
                    FReport.push_back("Применена команда загрузки конфигурации (без записи в NVRAM).");
                } catch (ModBusPdu::error_t e) {
                    FReport.push_back(
                        Format("Команда загрузки конфигурации отвергнута (код %d).", static_cast<int>(e)));
                } catch (ModBusRtu::error_t e) {
                    FReport.push_back("Не удалось послать команду загрузки конфигурации (ошибка связи).");
                    lost = e == ModBusRtu::kPortLost;
                }
            }
            if (lost) {
                FReport.push_back(PortLostReportLine(PortName()));
                ReportPortLost();
            }
        }
    }

    RunOnUi([this] {
        // SyncShowReport: the link thread is released before the report
        // window's modal loop, and this step returns when it is closed.
        if (stopping_) {
            FDoneEvent.Set();
            return;
        }
        front_.CloseProgress();
        front_.FillReport(FReport);
        FDoneEvent.Set();
        front_.ExecReport();
    });
}

bool TLink1Thread::RunScript(const ScriptValidation& script)
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
            FReport.push_back(Format("Ошибка записи по адресу %d (запрос отвергнут).", line.registerNumber));
        } catch (ModBusRtu::error_t e) {
            FReport.push_back(Format("Ошибка записи по адресу %d (ошибка связи).", line.registerNumber));
            if (e == ModBusRtu::kPortLost)
                return false;
        }
    }
    return true;
}
