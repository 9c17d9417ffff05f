#pragma once
// The tab "Тренды": the live values of the float rows as lines over time,
// a check box per row, one time axis showing the last 10 minutes while it
// follows the polls, automatic value axes (temperatures on their own axis at
// the right), pause and zoom, and recording of every poll to a CSV file.

#include "csv_log.h"
#include "register_map.h"
#include "trend_history.h"

#include <QString>
#include <QWidget>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class QChart;
class QCheckBox;
class QComboBox;
class QDateTimeAxis;
class QFileDialog;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;
class TTrendChartView;
class TTrendLinesItem;

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

    // Shows the given time range and stops following the polls.
    void ShowRange(std::int64_t fromMs, std::int64_t toMs);
    bool Following() const { return following_; }
    bool Recording() const { return writer_.has_value(); }
    const TrendHistory& History() const { return history_; }
    // Thins the visible range anew into the series of the checked rows and
    // scales the value axes.
    void Redraw();

    // The series of the row of `checkBox`, in the chart (for its legend and
    // axes) while it is checked.
    QLineSeries* SeriesOf(const QCheckBox* checkBox) const;
    // The thinned points of that row as last drawn; empty while unchecked.
    const std::vector<TrendPoint>& DrawnPoints(const QCheckBox* checkBox) const;

    QChart* Chart;
    TTrendChartView* ChartView;
    QDateTimeAxis* TimeAxis;
    QValueAxis* ValueAxis;       // left: every row but the temperatures
    QValueAxis* TemperatureAxis; // right: "Температура среды", "Температура платы"
    std::vector<QCheckBox*> RowCheckBoxes; // one per float row, in list order
    QPushButton* PauseButton;    // "Пауза" / "Продолжить"
    QComboBox* SeparatorBox;     // the CSV style of the next recording
    QPushButton* RecordButton;   // "Начать запись" / "Остановить запись"
    QLabel* RecordFileLabel;     // the file being written
    QFileDialog* RecordFileDialog;
    TTrendLinesItem* LinesItem;  // paints the lines

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Line {
        const FloatRegListItemData* value;
        QCheckBox* checkBox;
        QLineSeries* series;
        bool temperature;
        bool shownAtStart;
        std::vector<TrendPoint> drawn;
    };

    void SetFollowing(bool following);
    void ShowLine(Line& line, bool shown);
    void FollowNewest();
    void ScaleValueAxis(QValueAxis* axis, bool temperature, const std::vector<TrendPoint>& points);
    // Maps the drawn points into the plot area for the lines item.
    void Project();
    // One redraw from the event loop, however many changes ask for it.
    void RedrawLater();
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
    bool redrawing_ = false;
    bool redrawPosted_ = false;
    bool stale_ = false;        // data came while the tab was hidden
};
