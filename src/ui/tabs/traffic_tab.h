#pragma once
// The tab "Обмен": the traffic of the link as a list (time, direction or
// event, frame, what it is; errors in colour) with pause, clear and saving
// the log to a text file, and the link's statistics below it, with the USB
// adapter's latency timer where the system shows it. It takes what the
// link's tap holds several times a second, so it follows each poll.

#include "link_tap.h"
#include "port_list.h"

#include <QWidget>

#include <optional>
#include <string>

class QFileDialog;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;
class TrafficLogModel;

class TTrafficTab : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDrainIntervalMs = 200;

    explicit TTrafficTab(LinkTap& tap, QWidget* parent = nullptr);

    QTableView* TrafficView;
    QPushButton* PauseButton;       // "Пауза", a toggle
    QPushButton* ClearButton;       // "Очистить"
    QPushButton* SaveLogButton;     // "Сохранить журнал"
    QPushButton* ResetStatsButton;  // "Сбросить статистику"
    QTableWidget* StatisticsView;   // pairs of name and value
    QLabel* LatencyHintLabel;       // advice on a slow adapter timer; hidden when there is none
    QFileDialog* SaveLogDialog;
    QTimer* DrainTimer;

    TrafficLogModel& Model() { return *model_; }

    // Takes the waiting entries into the list and shows the statistics.
    void Drain();
    void SaveLogButtonClick();
    void ResetStatsButtonClick();
    // The timer of the adapter the link has opened (empty: none shown), and
    // the framing, on which the advice depends.
    void SetAdapterLatency(std::optional<AdapterLatency> latency);
    void SetFastFraming(bool on);

private:
    void ShowStatistics();
    void ShowLatencyHint();

    LinkTap& tap_;
    TrafficLogModel* model_;
    std::uint64_t droppedSinceReset_ = 0;
    std::optional<AdapterLatency> latency_;
    bool fastFraming_ = false;
};
