#pragma once
// The finder on the tab "Связь", beside the link settings: "Найти влагомер"
// scans the port of the settings for meters (the settings' speed and
// address first), shows progress, can be stopped, and lists each meter
// found; "В настройки" (or a double click) puts a found meter's address and
// speed into the link settings. It works while the link is closed, and
// keeps "Открыть" disabled while it scans. Its bar counts probes made of
// probes planned; choosing another port clears its results.

#include "scan_front.h"

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class TLink1Thread;
class TLinkValueList;

class TMeterFinderPanel : public QGroupBox, public ScanFront {
    Q_OBJECT
public:
    TMeterFinderPanel(TLink1Thread& link, TLinkValueList& settings, QPushButton& openButton,
                      QWidget* parent = nullptr);

    QPushButton* FindMeterButton;  // "Найти влагомер"
    QPushButton* StopFindButton;   // "Остановить"
    QCheckBox* FindAllCheck;       // "Искать все": go on after the first meter
    QProgressBar* FindProgress;
    QLabel* FindStatusLabel;
    QTableWidget* FoundMetersView; // address, speed, serial number, firmware version
    QPushButton* UseMeterButton;   // "В настройки"

    void FindMeterButtonClick();
    void StopFindButtonClick();
    void UseMeterButtonClick();

    // ScanFront: the finder's steps.
    void ScanProgress(const ScanProbe& probe, std::size_t done, std::size_t total) override;
    void MeterFound(const FoundMeter& meter) override;
    void ScanEnded(const ScanOutcome& outcome) override;

protected:
    // "Найти влагомер" follows "Открыть": usable exactly while the link is closed.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetScanning(bool scanning);
    void ClearResults();

    TLink1Thread& link_;
    TLinkValueList& settings_;
    QPushButton& openButton_;
    bool scanning_ = false;
    int probesDone_ = 0;
};
