#include "trends_tab.h"

#include "form_font.h"
#include "message_boxes.h"
#include "poll_record.h"
#include "trend_chart_view.h"
#include "trend_lines_item.h"

#include <QCheckBox>
#include <QChart>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QShowEvent>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Register numbers of the rows on the temperature axis, and of the rows
// whose lines are shown at start (water cut, medium temperature).
constexpr std::uint16_t kTemperatureRows[] = {2013, 53022};
constexpr std::uint16_t kShownAtStart[] = {2029, 2013};

template <std::size_t N>
bool Contains(const std::uint16_t (&set)[N], std::uint16_t number)
{
    return std::find(std::begin(set), std::end(set), number) != std::end(set);
}

QDateTime At(std::int64_t ms) { return QDateTime::fromMSecsSinceEpoch(ms); }

std::int64_t MsOf(std::chrono::system_clock::time_point time)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

} // namespace

QString TTrendsTab::Caption() { return QStringLiteral("Тренды"); }

TTrendsTab::TTrendsTab(MeterRegisters& registers, QWidget* parent)
    : QWidget(parent), registers_(registers), history_(0)
{
    setObjectName(QStringLiteral("TrendsTab"));
    setFont(FormFont());

    Chart = new QChart();
    Chart->setObjectName(QStringLiteral("TrendChart"));
    Chart->setFont(FormFont());
    Chart->legend()->setAlignment(Qt::AlignBottom);
    Chart->legend()->setFont(FormFont());
    Chart->setMargins(QMargins(4, 4, 4, 4));
    TimeAxis = new QDateTimeAxis(Chart);
    TimeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    TimeAxis->setTickCount(6);
    TimeAxis->setLabelsFont(FormFont());
    ValueAxis = new QValueAxis(Chart);
    ValueAxis->setLabelsFont(FormFont());
    TemperatureAxis = new QValueAxis(Chart);
    TemperatureAxis->setLabelsFont(FormFont());
    TemperatureAxis->setTitleText(QStringLiteral("С°"));
    TemperatureAxis->setTitleFont(FormFont());
    Chart->addAxis(TimeAxis, Qt::AlignBottom);
    Chart->addAxis(ValueAxis, Qt::AlignLeft);
    Chart->addAxis(TemperatureAxis, Qt::AlignRight);

    ChartView = new TTrendChartView(Chart, this);
    ChartView->setObjectName(QStringLiteral("TrendChartView"));
    LinesItem = new TTrendLinesItem(Chart);
    LinesItem->setZValue(10); // above the grid and the plot area's background

    auto* rows = new QGroupBox(QStringLiteral("Показать"), this);
    auto* rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setSpacing(2);
    for (const RegRow& row : RegRows(registers_)) {
        if (row.kind != rkFloat)
            continue;
        auto* box = new QCheckBox(QString::fromUtf8(row.caption), rows);
        box->setObjectName(QStringLiteral("Row%1CheckBox").arg(row.registerNumber));
        rowsLayout->addWidget(box);
        auto* series = new QLineSeries(this);
        series->setName(box->text());
        const bool temperature = Contains(kTemperatureRows, row.registerNumber);
        lines_.push_back({static_cast<const FloatRegListItemData*>(row.object), box, series, temperature,
                          Contains(kShownAtStart, row.registerNumber), {}});
        RowCheckBoxes.push_back(box);
    }
    history_ = TrendHistory(lines_.size());

    PauseButton = new QPushButton(QStringLiteral("Пауза"), this);
    PauseButton->setObjectName(QStringLiteral("PauseButton"));
    SeparatorBox = new QComboBox(this);
    SeparatorBox->setObjectName(QStringLiteral("SeparatorBox"));
    SeparatorBox->addItem(QStringLiteral("«,» и точка"));
    SeparatorBox->addItem(QStringLiteral("«;» и запятая"));
    RecordButton = new QPushButton(QStringLiteral("Начать запись"), this);
    RecordButton->setObjectName(QStringLiteral("RecordButton"));
    RecordFileLabel = new QLabel(this);
    RecordFileLabel->setObjectName(QStringLiteral("RecordFileLabel"));
    RecordFileLabel->setWordWrap(true);
    RecordFileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    RecordFileDialog = new QFileDialog(this);
    RecordFileDialog->setObjectName(QStringLiteral("RecordFileDialog"));
    RecordFileDialog->setAcceptMode(QFileDialog::AcceptSave);
    RecordFileDialog->setFileMode(QFileDialog::AnyFile);
    RecordFileDialog->setNameFilter(QStringLiteral("CSV (*.csv)"));
    RecordFileDialog->setDefaultSuffix(QStringLiteral("csv"));

    auto* side = new QVBoxLayout();
    side->addWidget(rows);
    side->addWidget(PauseButton);
    side->addSpacing(8);
    side->addWidget(new QLabel(QStringLiteral("Разделитель в файле:"), this));
    side->addWidget(SeparatorBox);
    side->addWidget(RecordButton);
    side->addWidget(RecordFileLabel);
    side->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(side);
    layout->addWidget(ChartView, 1);

    for (Line& line : lines_) {
        connect(line.checkBox, &QCheckBox::toggled, this, [this, &line](bool shown) {
            ShowLine(line, shown);
            Redraw();
        });
    }
    for (Line& line : lines_)
        line.checkBox->setChecked(line.shownAtStart);
    connect(PauseButton, &QPushButton::clicked, this, [this] { SetFollowing(!following_); });
    connect(RecordButton, &QPushButton::clicked, this, [this] { RecordButtonClick(); });
    // Changes that the chart makes while it lays itself out (zoom, size)
    // are answered once it has finished: it must not be changed meanwhile.
    connect(ChartView, &TTrendChartView::UserZoomed, this, [this](bool valuesToo) {
        valuesByUser_ = valuesByUser_ || valuesToo;
        SetFollowing(false);
        RedrawLater();
    });
    connect(TimeAxis, &QDateTimeAxis::rangeChanged, this, [this] {
        if (!following_)
            RedrawLater();
    });
    for (QValueAxis* axis : {ValueAxis, TemperatureAxis})
        connect(axis, &QValueAxis::rangeChanged, this, [this] {
            if (!redrawing_)
                RedrawLater();
        });
    connect(Chart, &QChart::plotAreaChanged, this, [this] { RedrawLater(); });

    const std::int64_t now = MsOf(std::chrono::system_clock::now());
    TimeAxis->setRange(At(now - kFollowSpanMs), At(now));
    Redraw();
}

TTrendsTab::~TTrendsTab() = default;

QLineSeries* TTrendsTab::SeriesOf(const QCheckBox* checkBox) const
{
    for (const Line& line : lines_)
        if (line.checkBox == checkBox)
            return line.series;
    return nullptr;
}

const std::vector<TrendPoint>& TTrendsTab::DrawnPoints(const QCheckBox* checkBox) const
{
    static const std::vector<TrendPoint> none;
    for (const Line& line : lines_)
        if (line.checkBox == checkBox)
            return line.drawn;
    return none;
}

void TTrendsTab::ShowLine(Line& line, bool shown)
{
    const bool attached = Chart->series().contains(line.series);
    if (shown == attached)
        return;
    if (shown) {
        Chart->addSeries(line.series);
        line.series->attachAxis(TimeAxis);
        line.series->attachAxis(line.temperature ? TemperatureAxis : ValueAxis);
    } else {
        Chart->removeSeries(line.series);
        line.series->setParent(this); // back from the chart's ownership
        line.drawn.clear();
    }
}

void TTrendsTab::AddPoll(const std::string& parameterText)
{
    AddPollAt(std::chrono::system_clock::now(), parameterText);
}

void TTrendsTab::AddPollAt(std::chrono::system_clock::time_point time, const std::string& parameterText)
{
    std::vector<float> values;
    values.reserve(lines_.size());
    for (const Line& line : lines_)
        values.push_back(line.value->Get());
    history_.Append(MsOf(time), values);

    if (writer_) {
        std::string error;
        if (!writer_->WriteRecord(time, PollRecordValues(registers_, parameterText), error)) {
            const QString path = QString::fromStdString(recordPath_);
            StopRecording();
            ReportLater(QStringLiteral("Запись в файл %1 остановлена: %2").arg(path, QString::fromStdString(error)));
        }
    }
    if (following_)
        FollowNewest();
}

void TTrendsTab::FollowNewest()
{
    if (!isVisible()) {
        stale_ = true;
        return;
    }
    const std::int64_t newest = history_.Empty() ? MsOf(std::chrono::system_clock::now()) : history_.LastTime();
    redrawing_ = true; // one redraw below, not one per axis end
    TimeAxis->setRange(At(newest - kFollowSpanMs), At(newest));
    redrawing_ = false;
    Redraw();
}

void TTrendsTab::ShowRange(std::int64_t fromMs, std::int64_t toMs)
{
    SetFollowing(false);
    TimeAxis->setRange(At(fromMs), At(toMs));
}

void TTrendsTab::SetFollowing(bool following)
{
    following_ = following;
    PauseButton->setText(following ? QStringLiteral("Пауза") : QStringLiteral("Продолжить"));
    if (following) {
        valuesByUser_ = false;
        FollowNewest();
    }
}

void TTrendsTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (std::exchange(stale_, false) && following_)
        FollowNewest();
}

void TTrendsTab::Redraw()
{
    if (redrawing_)
        return;
    redrawing_ = true;
    const std::int64_t from = TimeAxis->min().toMSecsSinceEpoch();
    const std::int64_t to = TimeAxis->max().toMSecsSinceEpoch();
    const int width = static_cast<int>(Chart->plotArea().width());
    const int columns = width > 10 ? width : 800;
    std::vector<TrendPoint> valuePoints, temperaturePoints;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        Line& line = lines_[i];
        if (!line.checkBox->isChecked())
            continue;
        history_.Thin(i, from, to, columns, line.drawn);
        auto& scaled = line.temperature ? temperaturePoints : valuePoints;
        for (const TrendPoint& p : line.drawn)
            if (p.timeMs >= from && p.timeMs <= to)
                scaled.push_back(p);
    }
    if (!valuesByUser_) {
        ScaleValueAxis(ValueAxis, false, valuePoints);
        ScaleValueAxis(TemperatureAxis, true, temperaturePoints);
    }
    redrawing_ = false;
    Project();
}

void TTrendsTab::RedrawLater()
{
    if (std::exchange(redrawPosted_, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            redrawPosted_ = false;
            Redraw();
        },
        Qt::QueuedConnection);
}

void TTrendsTab::Project()
{
    const QRectF plot = Chart->plotArea();
    const double from = static_cast<double>(TimeAxis->min().toMSecsSinceEpoch());
    const double to = static_cast<double>(TimeAxis->max().toMSecsSinceEpoch());
    std::vector<TTrendLinesItem::Line> drawn;
    for (const Line& line : lines_) {
        if (!line.checkBox->isChecked() || to <= from)
            continue;
        const QValueAxis* axis = line.temperature ? TemperatureAxis : ValueAxis;
        const double low = axis->min(), high = axis->max();
        const double xScale = plot.width() / (to - from);
        const double yScale = high > low ? plot.height() / (high - low) : 0;
        TTrendLinesItem::Line out{line.series->color(), {}};
        out.points.reserve(static_cast<qsizetype>(line.drawn.size()));
        for (const TrendPoint& p : line.drawn)
            out.points.append(QPointF(plot.left() + (static_cast<double>(p.timeMs) - from) * xScale,
                                      plot.bottom() - (p.value - low) * yScale));
        drawn.push_back(std::move(out));
    }
    LinesItem->SetLines(plot, std::move(drawn));
}

void TTrendsTab::ScaleValueAxis(QValueAxis* axis, bool temperature, const std::vector<TrendPoint>& points)
{
    bool any = false;
    for (const Line& line : lines_)
        any = any || (line.temperature == temperature && line.checkBox->isChecked());
    axis->setVisible(any);
    if (points.empty())
        return;
    const auto [low, high] = std::minmax_element(points.begin(), points.end(),
                                                 [](const TrendPoint& a, const TrendPoint& b) { return a.value < b.value; });
    const double min = low->value, max = high->value;
    const double pad = max > min ? (max - min) * 0.05 : std::max(std::abs(max) * 0.01, 0.5);
    // Set once: each change of an axis makes the chart lay out its series.
    QValueAxis nice;
    nice.setRange(min - pad, max + pad);
    nice.setTickCount(axis->tickCount());
    nice.applyNiceNumbers();
    if (axis->min() != nice.min() || axis->max() != nice.max() || axis->tickCount() != nice.tickCount()) {
        axis->setTickCount(nice.tickCount());
        axis->setRange(nice.min(), nice.max());
    }
}

void TTrendsTab::RecordButtonClick()
{
    if (writer_) {
        StopRecording();
        return;
    }
    if (RecordFileDialog->exec() != QDialog::Accepted || RecordFileDialog->selectedFiles().isEmpty())
        return;
    StartRecording(RecordFileDialog->selectedFiles().front().toStdString());
}

void TTrendsTab::StartRecording(const std::string& path)
{
    const LogSeparator separator = SeparatorBox->currentIndex() == 1 ? LogSeparator::Semicolon : LogSeparator::Comma;
    std::string error;
    std::optional<DataLogWriter> writer = DataLogWriter::Open(path, separator, true, error);
    if (!writer || !writer->WriteHeader(PollRecordCaptions(registers_), error)) {
        ShowErrorBox(QStringLiteral("Не удалось записать файл %1: %2")
                         .arg(QString::fromStdString(path), QString::fromStdString(error)));
        return;
    }
    writer_ = std::move(writer);
    recordPath_ = path;
    RecordButton->setText(QStringLiteral("Остановить запись"));
    RecordFileLabel->setText(QStringLiteral("Запись: %1").arg(QString::fromStdString(path)));
    SeparatorBox->setEnabled(false);
}

void TTrendsTab::StopRecording()
{
    writer_.reset();
    recordPath_.clear();
    RecordButton->setText(QStringLiteral("Начать запись"));
    RecordFileLabel->clear();
    SeparatorBox->setEnabled(true);
}

void TTrendsTab::ReportLater(const QString& text)
{
    // The poll's refresh step is running: the box waits until the step has
    // returned, so that the polls go on while it is shown.
    QMetaObject::invokeMethod(this, [text] { ShowErrorBox(text); }, Qt::QueuedConnection);
}
