#include "traffic_log_model.h"

#include "local_time.h"

#include <QBrush>
#include <QColor>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

std::string MsText(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return text;
}

// Local time of day with milliseconds: "14:03:07.250".
std::string ClockText(std::int64_t wallUs)
{
    std::int64_t wallMs = wallUs / 1000;
    if (wallUs % 1000 < 0)
        --wallMs;
    std::time_t seconds = static_cast<std::time_t>(wallMs / 1000);
    int millis = static_cast<int>(wallMs % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    const std::tm local = ToLocalTime(seconds).fields;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec, millis);
    return text;
}

std::int64_t WallMinusSteadyUs()
{
    using namespace std::chrono;
    const auto wall = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return wall - TrafficMicros(steady_clock::now());
}

// The newest rows that a fold may look back over: a frame and its answer
// lie next to each other, save for an entry slipping in between.
constexpr std::size_t kFoldLookBack = 4;

} // namespace

TrafficLogModel::TrafficLogModel(QObject* parent) : QAbstractTableModel(parent), wallOffsetUs_(WallMinusSteadyUs()) {}

int TrafficLogModel::FoldAnswer(std::deque<Row>& rows, const TrafficEntry& answer)
{
    for (std::size_t back = 0; back < rows.size() && back < kFoldLookBack; ++back) {
        const std::size_t at = rows.size() - 1 - back;
        Row& row = rows[at];
        if (row.dropped == 0 && row.entry.kind == TrafficKind::Frame && row.answerUs < 0) {
            row.answerUs = answer.detail;
            return static_cast<int>(at);
        }
    }
    return -1;
}

void TrafficLogModel::Append(const std::vector<TrafficEntry>& entries, std::uint64_t dropped)
{
    std::deque<Row> fresh;
    for (const TrafficEntry& entry : entries) {
        if (entry.kind == TrafficKind::Answer) {
            if (FoldAnswer(fresh, entry) >= 0 || (paused_ && FoldAnswer(waiting_, entry) >= 0))
                continue;
            // The frame may already be in the list.
            if (const int row = FoldAnswer(rows_, entry); row >= 0) {
                emit dataChanged(index(row, SummaryColumn), index(row, SummaryColumn));
                continue;
            }
        }
        fresh.push_back(Row{entry, entry.timeUs, -1, 0});
    }
    if (dropped > 0) {
        Row row{};
        row.timeUs = !fresh.empty() ? fresh.back().timeUs : !rows_.empty() ? rows_.back().timeUs : 0;
        row.dropped = dropped;
        fresh.push_back(row);
    }
    if (!paused_) {
        AddRows(std::move(fresh));
        return;
    }
    for (Row& row : fresh)
        waiting_.push_back(std::move(row));
    while (waiting_.size() > kMaxRows) {
        waitingDropped_ += waiting_.front().dropped > 0 ? waiting_.front().dropped : 1;
        waiting_.pop_front();
    }
}

void TrafficLogModel::AddRows(std::deque<Row>&& incoming)
{
    if (incoming.empty())
        return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(incoming.size()) - 1);
    for (Row& row : incoming)
        rows_.push_back(std::move(row));
    endInsertRows();
    if (rows_.size() > kMaxRows) {
        const int excess = static_cast<int>(rows_.size() - kMaxRows);
        beginRemoveRows({}, 0, excess - 1);
        rows_.erase(rows_.begin(), rows_.begin() + excess);
        endRemoveRows();
    }
}

void TrafficLogModel::SetPaused(bool paused)
{
    if (paused == paused_)
        return;
    paused_ = paused;
    if (paused_)
        return;
    std::deque<Row> waiting = std::move(waiting_);
    waiting_.clear();
    if (waitingDropped_ > 0) {
        Row row{};
        row.timeUs = !waiting.empty() ? waiting.front().timeUs : !rows_.empty() ? rows_.back().timeUs : 0;
        row.dropped = waitingDropped_;
        waiting.push_front(row);
        waitingDropped_ = 0;
    }
    AddRows(std::move(waiting));
}

void TrafficLogModel::Clear()
{
    beginResetModel();
    rows_.clear();
    waiting_.clear();
    waitingDropped_ = 0;
    endResetModel();
}

std::vector<std::string> TrafficLogModel::RowTexts(int row) const
{
    const Row& r = rows_.at(static_cast<std::size_t>(row));
    if (r.dropped > 0)
        return {ClockText(r.timeUs + wallOffsetUs_), "—", "", DroppedText(r.dropped, TrafficWords::Russian)};
    std::string summary = TrafficSummary(r.entry, TrafficWords::Russian);
    if (r.answerUs >= 0)
        summary += ", время ответа " + MsText(static_cast<double>(r.answerUs) / 1000.0) + " мс";
    return {ClockText(r.timeUs + wallOffsetUs_), TrafficDirection(r.entry, TrafficWords::Russian), FrameHex(r.entry),
            summary};
}

TrafficSeverity TrafficLogModel::RowSeverity(int row) const
{
    const Row& r = rows_.at(static_cast<std::size_t>(row));
    return r.dropped > 0 ? TrafficSeverity::Error : Severity(r.entry);
}

std::string TrafficLogModel::LogText() const
{
    std::string text;
    for (int row = 0; row < rowCount(); ++row) {
        const std::vector<std::string> cells = RowTexts(row);
        for (std::size_t c = 0; c < cells.size(); ++c)
            text += (c ? "\t" : "") + cells[c];
        text += '\n';
    }
    return text;
}

int TrafficLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrafficLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant TrafficLogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return QString::fromStdString(RowTexts(index.row())[static_cast<std::size_t>(index.column())]);
    case Qt::ForegroundRole:
    case Qt::BackgroundRole: {
        // Errors in red, what was passed over or dropped in yellow.
        const TrafficSeverity severity = RowSeverity(index.row());
        if (severity == TrafficSeverity::Normal)
            return {};
        const bool error = severity == TrafficSeverity::Error;
        if (role == Qt::ForegroundRole)
            return QBrush(error ? QColor(0xB0, 0x00, 0x00) : QColor(0x80, 0x60, 0x00));
        return QBrush(error ? QColor(0xFF, 0xE0, 0xE0) : QColor(0xFF, 0xF6, 0xD8));
    }
    default:
        return {};
    }
}

QVariant TrafficLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kHeaders[kColumns] = {"Время", "Напр.", "Кадр", "Описание"};
    return section >= 0 && section < kColumns ? QString::fromUtf8(kHeaders[section]) : QVariant();
}
