#pragma once
// The list of the tab "Обмен": the last entries of the traffic tap as rows
// (time since the link opened, direction or event, frame, what it is). A
// frame taken as an answer shows its answer time in its own row. While
// paused, new entries wait aside and come in when the list goes on.

#include "traffic.h"
#include "traffic_text.h"

#include <QAbstractTableModel>

#include <deque>
#include <string>
#include <vector>

class TrafficLogModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr std::size_t kMaxRows = 10000;
    enum Column { TimeColumn, DirectionColumn, FrameColumn, SummaryColumn, kColumns };

    explicit TrafficLogModel(QObject* parent = nullptr);

    // Takes entries in their order; `dropped` entries were lost before
    // them, which a row of its own says.
    void Append(const std::vector<TrafficEntry>& entries, std::uint64_t dropped);
    void SetPaused(bool paused);
    bool Paused() const { return paused_; }
    void Clear();

    // The texts of a row as the list shows them.
    std::vector<std::string> RowTexts(int row) const;
    TrafficSeverity RowSeverity(int row) const;
    // The rows as text, one line each, columns tab-separated.
    std::string LogText() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Row {
        TrafficEntry entry;
        std::int64_t timeUs = 0; // steady clock, as the entries' times
        std::int64_t answerUs = -1; // a frame taken as the answer: its answer time
        std::uint64_t dropped = 0;  // a row that stands for lost entries
    };
    void AddRows(std::deque<Row>&& incoming);
    // Folds an answer into the frame row it belongs to: that row's index,
    // or -1 when there is none.
    static int FoldAnswer(std::deque<Row>& rows, const TrafficEntry& answer);

    std::deque<Row> rows_;
    std::deque<Row> waiting_; // while paused
    std::uint64_t waitingDropped_ = 0;
    bool paused_ = false;
    // Wall clock minus steady clock, in microseconds: the rows show the
    // time of day of their entries.
    std::int64_t wallOffsetUs_ = 0;
};
