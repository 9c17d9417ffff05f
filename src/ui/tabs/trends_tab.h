#pragma once
// The tab "Тренды": the live values of the float rows as lines over time,
// a check box per row, one time axis showing the last 10 minutes while it
// follows the polls, automatic value axes (temperatures on their own axis at
// the right), pause and zoom, and recording of every poll to a CSV file. The
// lines break where no good poll came.

#include "csv_log.h"
#include "register_map.h"
#include "trend_history.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QPushButton;
class TTrendChart;

class TTrendsTab : public QWidget {
    Q_OBJECT
public:
    // Its place among the window's tabs (after "Сервис", "Связь" and
    // "Обмен"; appended when fewer tabs exist).
    static constexpr int kPosition = 3;
    static constexpr std::int64_t kFollowSpanMs = 10 * 60 * 1000;
    static QString Caption();

    explicit TTrendsTab(MeterRegisters& registers, QWidget* parent = nullptr);
    ~TTrendsTab() override;

    // After each successful poll, once its values are in the registers: one
    // sample for the chart and, while recording, one record for the file.
    void AddPoll(const std::string& parameterText);
    void AddPollAt(std::chrono::system_clock::time_point time, const std::string& parameterText);
    // The period at which the window asks for polls.
    void SetPollPeriod(std::chrono::milliseconds period);
    // No good poll can join the ones before: a poll failed, the link was
    // closed or lost, a load or dump runs.
    void BreakLines();

    // Shows the given time range and stops following the polls.
    void ShowRange(std::int64_t fromMs, std::int64_t toMs);
    bool Following() const { return following_; }
    bool Recording() const { return writer_.has_value(); }
    const TrendHistory& History() const { return history_; }
    // Thins the visible range anew into the lines of the checked rows and
    // scales the value axes.
    void Redraw();

    // The thinned points of the row of `checkBox` as last drawn; empty while
    // unchecked.
    const std::vector<TrendPoint>& DrawnPoints(const QCheckBox* checkBox) const;

    // The time axis, the value axis at the left (every row but the
    // temperatures) and the one at the right ("Температура среды",
    // "Температура платы"), the legend and the lines.
    TTrendChart* Chart;
    std::vector<QCheckBox*> RowCheckBoxes; // one per float row, in list order
    QPushButton* PauseButton;    // "Пауза" / "Продолжить"
    QComboBox* SeparatorBox;     // the CSV style of the next recording
    QPushButton* RecordButton;   // "Начать запись" / "Остановить запись"
    QLabel* RecordFileLabel;     // the file being written
    QFileDialog* RecordFileDialog;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Line {
        const FloatRegListItemData* value;
        QCheckBox* checkBox;
        QString unit; // from the caption: what follows its last ", "
        QColor color;
        bool temperature;
        bool shownAtStart;
        std::vector<TrendPoint> drawn;
    };

    void SetFollowing(bool following);
    void FollowNewest();
    void ScaleValueAxis(bool temperature, const std::vector<TrendPoint>& points);
    void RecordButtonClick();
    void StartRecording(const std::string& path);
    void StopRecording();
    void ReportLater(const QString& text);

    MeterRegisters& registers_;
    std::vector<Line> lines_;
    TrendHistory history_;
    std::optional<DataLogWriter> writer_;
    std::string recordPath_;
    bool following_ = true;
    bool valuesByUser_ = false; // a zoom rectangle set the value axes
    bool stale_ = false;        // data came while the tab was hidden
};
