#include "traffic_tab.h"

#include "file_write.h"
#include "form_controls.h"
#include "message_boxes.h"
#include "traffic_log_model.h"
#include "traffic_text.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

constexpr int kStatisticsRows = 7; // two name/value pairs a row

// Widens a column whose texts have outgrown it; it never narrows, so the
// list does not jitter.
void FitColumn(QTableView& view, int column)
{
    const int needed = static_cast<const QAbstractItemView&>(view).sizeHintForColumn(column);
    if (needed > view.columnWidth(column))
        view.setColumnWidth(column, needed);
}

} // namespace

TTrafficTab::TTrafficTab(LinkTap& tap, QWidget* parent) : QWidget(parent), tap_(tap)
{
    setObjectName(QStringLiteral("TrafficTab"));
    model_ = new TrafficLogModel(this);

    TrafficView = new QTableView(this);
    TrafficView->setObjectName(QStringLiteral("TrafficView"));
    TrafficView->setGeometry(8, 8, 798, 250);
    TrafficView->setModel(model_);
    TrafficView->setSelectionBehavior(QAbstractItemView::SelectRows);
    TrafficView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TrafficView->setWordWrap(false);
    TrafficView->verticalHeader()->setVisible(false);
    TrafficView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    TrafficView->verticalHeader()->setDefaultSectionSize(18);
    const int widths[] = {72, 62, 360};
    for (int column = 0; column < 3; ++column)
        TrafficView->setColumnWidth(column, widths[column]);
    // The clock time has a fixed form: its column fits it from the start.
    const int cellMargin = 2 * TrafficView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, TrafficView) + 12;
    TrafficView->setColumnWidth(TrafficLogModel::TimeColumn,
                                std::max(widths[0], TrafficView->fontMetrics().horizontalAdvance(
                                                        QStringLiteral("00:00:00.000")) + cellMargin));
    TrafficView->horizontalHeader()->setStretchLastSection(true);
    TrafficView->horizontalHeader()->setHighlightSections(false);

    PauseButton = MakeButton(this, "PauseButton", QStringLiteral("Пауза"), {8, 265, 100, 25});
    PauseButton->setCheckable(true);
    ClearButton = MakeButton(this, "ClearButton", QStringLiteral("Очистить"), {114, 265, 100, 25});
    SaveLogButton = MakeButton(this, "SaveLogButton", QStringLiteral("Сохранить журнал"), {220, 265, 140, 25});
    ResetStatsButton =
        MakeButton(this, "ResetStatsButton", QStringLiteral("Сбросить статистику"), {646, 265, 160, 25});

    StatisticsView = new QTableWidget(kStatisticsRows, 4, this);
    StatisticsView->setObjectName(QStringLiteral("StatisticsView"));
    StatisticsView->setGeometry(8, 296, 798, kStatisticsRows * 20 + 4);
    StatisticsView->horizontalHeader()->setVisible(false);
    StatisticsView->verticalHeader()->setVisible(false);
    StatisticsView->verticalHeader()->setDefaultSectionSize(20);
    StatisticsView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StatisticsView->setSelectionMode(QAbstractItemView::NoSelection);
    StatisticsView->setFocusPolicy(Qt::NoFocus);
    StatisticsView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StatisticsView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int statWidths[] = {190, 170, 264, 170};
    for (int column = 0; column < 4; ++column)
        StatisticsView->setColumnWidth(column, statWidths[column]);

    LatencyHintLabel = new QLabel(this);
    LatencyHintLabel->setObjectName(QStringLiteral("LatencyHintLabel"));
    LatencyHintLabel->setGeometry(8, 296 + kStatisticsRows * 20 + 6, 798, 30);
    LatencyHintLabel->setWordWrap(true);
    LatencyHintLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LatencyHintLabel->hide();

    SaveLogDialog = new QFileDialog(this);
    SaveLogDialog->setObjectName(QStringLiteral("SaveLogDialog"));
    SaveLogDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveLogDialog->setFileMode(QFileDialog::AnyFile);

    connect(PauseButton, &QPushButton::toggled, this, [this](bool paused) { model_->SetPaused(paused); });
    connect(ClearButton, &QPushButton::clicked, this, [this] { model_->Clear(); });
    connect(SaveLogButton, &QPushButton::clicked, this, [this] { SaveLogButtonClick(); });
    connect(ResetStatsButton, &QPushButton::clicked, this, [this] { ResetStatsButtonClick(); });

    DrainTimer = new QTimer(this);
    DrainTimer->setInterval(kDrainIntervalMs);
    connect(DrainTimer, &QTimer::timeout, this, [this] { Drain(); });
    DrainTimer->start();
    ShowStatistics();
}

void TTrafficTab::Drain()
{
    std::vector<TrafficEntry> entries;
    tap_.Drain(entries, LinkTap::kQueueCapacity);
    const std::uint64_t dropped = tap_.TakeDropped();
    droppedSinceReset_ += dropped;
    if (!entries.empty() || dropped > 0) {
        // The list follows the traffic unless the user has scrolled up.
        QScrollBar* bar = TrafficView->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        model_->Append(entries, dropped);
        if (atEnd && !model_->Paused())
            TrafficView->scrollToBottom();
        FitColumn(*TrafficView, TrafficLogModel::DirectionColumn);
    }
    ShowStatistics();
}

void TTrafficTab::ShowStatistics()
{
    std::vector<StatisticsRow> rows = StatisticsRows(tap_.Counters(), TrafficWords::Russian);
    rows.push_back({"Пропущено записей", std::to_string(droppedSinceReset_)});
    if (latency_)
        rows.push_back(LatencyTimerRow(latency_->ms, TrafficWords::Russian));
    // A row that goes (another port) leaves no text behind.
    for (std::size_t i = rows.size(); i < 2 * kStatisticsRows; ++i)
        rows.push_back({"", ""});
    for (std::size_t i = 0; i < rows.size() && i < 2 * kStatisticsRows; ++i) {
        const int row = static_cast<int>(i % kStatisticsRows);
        const int column = static_cast<int>(i / kStatisticsRows) * 2;
        for (int part = 0; part < 2; ++part) {
            const QString text = QString::fromStdString(part == 0 ? rows[i].name : rows[i].value);
            QTableWidgetItem* cell = StatisticsView->item(row, column + part);
            if (!cell) {
                cell = new QTableWidgetItem;
                StatisticsView->setItem(row, column + part, cell);
            }
            if (cell->text() != text)
                cell->setText(text);
        }
    }
    for (int column = 0; column < StatisticsView->columnCount(); ++column)
        FitColumn(*StatisticsView, column);
}

void TTrafficTab::SaveLogButtonClick()
{
    if (SaveLogDialog->exec() != QDialog::Accepted || SaveLogDialog->selectedFiles().isEmpty())
        return;
    const std::string path = SaveLogDialog->selectedFiles().front().toStdString();
    std::string error;
    if (!ReplaceFileContents(path, model_->LogText(), error))
        ShowErrorBox(QString::fromStdString("Не удалось записать файл " + path + ": " + error));
}

void TTrafficTab::ResetStatsButtonClick()
{
    tap_.ResetStatistics();
    droppedSinceReset_ = 0;
    ShowStatistics();
}

void TTrafficTab::SetAdapterLatency(std::optional<AdapterLatency> latency)
{
    latency_ = std::move(latency);
    ShowStatistics();
    ShowLatencyHint();
}

void TTrafficTab::SetFastFraming(bool on)
{
    fastFraming_ = on;
    ShowLatencyHint();
}

void TTrafficTab::ShowLatencyHint()
{
    const std::string hint =
        latency_ ? LatencyTimerHint(latency_->ms, latency_->lowerCommand, fastFraming_, TrafficWords::Russian) : "";
    LatencyHintLabel->setText(QString::fromStdString(hint));
    LatencyHintLabel->setVisible(!hint.empty());
}
