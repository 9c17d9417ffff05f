#include "trends_tab.h"

#include "form_font.h"
#include "message_boxes.h"
#include "poll_record.h"
#include "trend_chart.h"
#include "trend_ticks.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Register numbers of the rows on the temperature axis, and of the rows
// whose lines are shown at start (water cut, medium temperature).
constexpr std::uint16_t kTemperatureRows[] = {2013, 53022};
constexpr std::uint16_t kShownAtStart[] = {2029, 2013};
// A colour per float row, in list order, easy to tell apart on white.
const QColor kLineColors[] = {"#209fdf", "#99ca53", "#f6a625", "#6d5fd5", "#bf593e", "#38ad6b",
                              "#3c3c3c", "#d6325a", "#8c6d31", "#17becf", "#e377c2"};

template <std::size_t N>
bool Contains(const std::uint16_t (&set)[N], std::uint16_t number)
{
    return std::find(std::begin(set), std::end(set), number) != std::end(set);
}

std::int64_t MsOf(std::chrono::system_clock::time_point time)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

QString UnitOf(const QString& caption)
{
    const qsizetype comma = caption.lastIndexOf(QStringLiteral(", "));
    return comma < 0 ? QString() : caption.mid(comma + 2);
}

} // namespace

QString TTrendsTab::Caption() { return QStringLiteral("Тренды"); }

TTrendsTab::TTrendsTab(MeterRegisters& registers, QWidget* parent)
    : QWidget(parent), registers_(registers), history_(0)
{
    setObjectName(QStringLiteral("TrendsTab"));
    setFont(FormFont());

    Chart = new TTrendChart(this);
    Chart->setObjectName(QStringLiteral("TrendChart"));
    Chart->setFont(FormFont());

    auto* rows = new QGroupBox(QStringLiteral("Показать"), this);
    auto* rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setSpacing(2);
    for (const RegRow& row : RegRows(registers_)) {
        if (row.kind != rkFloat)
            continue;
        auto* box = new QCheckBox(QString::fromUtf8(row.caption), rows);
        box->setObjectName(QStringLiteral("Row%1CheckBox").arg(row.registerNumber));
        rowsLayout->addWidget(box);
        const QColor color = kLineColors[lines_.size() % std::size(kLineColors)];
        lines_.push_back({static_cast<const FloatRegListItemData*>(row.object), box, UnitOf(box->text()), color,
                          Contains(kTemperatureRows, row.registerNumber), Contains(kShownAtStart, row.registerNumber),
                          {}});
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
    layout->addWidget(Chart, 1);

    for (const Line& line : lines_)
        line.checkBox->setChecked(line.shownAtStart);
    for (const Line& line : lines_)
        connect(line.checkBox, &QCheckBox::toggled, this, [this] { Redraw(); });
    connect(PauseButton, &QPushButton::clicked, this, [this] { SetFollowing(!following_); });
    connect(RecordButton, &QPushButton::clicked, this, [this] { RecordButtonClick(); });
    connect(Chart, &TTrendChart::UserZoomed, this, [this](bool valuesToo) {
        valuesByUser_ = valuesByUser_ || valuesToo;
        SetFollowing(false);
        Redraw();
    });
    connect(Chart, &TTrendChart::PlotAreaResized, this, [this] { Redraw(); });

    const std::int64_t now = MsOf(std::chrono::system_clock::now());
    Chart->SetTimeRange(now - kFollowSpanMs, now);
    Redraw();
}

TTrendsTab::~TTrendsTab() = default;

const std::vector<TrendPoint>& TTrendsTab::DrawnPoints(const QCheckBox* checkBox) const
{
    static const std::vector<TrendPoint> none;
    for (const Line& line : lines_)
        if (line.checkBox == checkBox)
            return line.drawn;
    return none;
}

void TTrendsTab::AddPoll(const std::string& parameterText)
{
    AddPollAt(std::chrono::system_clock::now(), parameterText);
}

void TTrendsTab::SetPollPeriod(std::chrono::milliseconds period) { history_.SetPollPeriod(period.count()); }

void TTrendsTab::BreakLines() { history_.Break(); }

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
    Chart->SetTimeRange(newest - kFollowSpanMs, newest);
    Redraw();
}

void TTrendsTab::ShowRange(std::int64_t fromMs, std::int64_t toMs)
{
    SetFollowing(false);
    Chart->SetTimeRange(fromMs, toMs);
    Redraw();
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
    const std::int64_t from = Chart->TimeFrom();
    const std::int64_t to = Chart->TimeTo();
    QStringList units[2];
    for (const Line& line : lines_)
        if (line.checkBox->isChecked() && !line.unit.isEmpty() && !units[line.temperature].contains(line.unit))
            units[line.temperature].append(line.unit);
    const auto anyShown = [&](bool temperature) {
        return std::any_of(lines_.begin(), lines_.end(), [&](const Line& line) {
            return line.temperature == temperature && line.checkBox->isChecked();
        });
    };
    Chart->ShowValueAxis(TTrendChart::Side::Left, anyShown(false), units[0].join(QStringLiteral(", ")));
    Chart->ShowValueAxis(TTrendChart::Side::Right, anyShown(true), units[1].join(QStringLiteral(", ")));

    // Scaling the value axes may widen or narrow their labels, and so the
    // plot: then the lines are thinned once more for the new width.
    for (int pass = 0; pass < 2; ++pass) {
        const int width = static_cast<int>(Chart->PlotArea().width());
        const int columns = width > 10 ? width : 800;
        std::vector<TrendPoint> valuePoints, temperaturePoints;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            Line& line = lines_[i];
            if (!line.checkBox->isChecked()) {
                line.drawn.clear();
                continue;
            }
            history_.Thin(i, from, to, columns, line.drawn);
            auto& scaled = line.temperature ? temperaturePoints : valuePoints;
            for (const TrendPoint& p : line.drawn)
                if (p.timeMs >= from && p.timeMs <= to)
                    scaled.push_back(p);
        }
        if (valuesByUser_)
            break;
        ScaleValueAxis(false, valuePoints);
        ScaleValueAxis(true, temperaturePoints);
        if (static_cast<int>(Chart->PlotArea().width()) == width)
            break;
    }

    std::vector<TTrendChart::Line> drawn;
    for (const Line& line : lines_)
        if (line.checkBox->isChecked())
            drawn.push_back({line.checkBox->text(), line.color,
                             line.temperature ? TTrendChart::Side::Right : TTrendChart::Side::Left, line.drawn});
    Chart->SetLines(std::move(drawn));
}

void TTrendsTab::ScaleValueAxis(bool temperature, const std::vector<TrendPoint>& points)
{
    if (points.empty())
        return;
    const auto [low, high] = std::minmax_element(points.begin(), points.end(),
                                                 [](const TrendPoint& a, const TrendPoint& b) { return a.value < b.value; });
    const double min = low->value, max = high->value;
    const double pad = max > min ? (max - min) * 0.05 : std::max(std::abs(max) * 0.01, 0.5);
    // About one tick per two lines of text, as the chart draws them.
    const int maxTicks = std::max(2, static_cast<int>(Chart->PlotArea().height() / (2 * Chart->fontMetrics().height())));
    const trend_ticks::Range range = trend_ticks::RoundOut(min - pad, max + pad, maxTicks);
    Chart->SetValueRange(temperature ? TTrendChart::Side::Right : TTrendChart::Side::Left, range.min, range.max);
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
