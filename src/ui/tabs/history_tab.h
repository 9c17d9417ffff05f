#pragma once
// The tab "История": the meters met, the snapshots of the chosen one, the
// differences of two chosen snapshots in the meter's terms, and what can be
// done with a snapshot: take one, save it as a parameter file, load it back
// into the meter ("Восстановить", after a preview and a confirmation), and
// print the service report of two to PDF.

#include "config_reading.h"
#include "history_store.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTemporaryFile;

// What the tab needs of the window.
struct HistoryTabHooks {
    // Posts the snapshot command; false when the link refused it.
    std::function<bool()> takeSnapshot;
    // Loads a parameter file into the meter as "Загрузить из файла" does.
    std::function<void(const std::string& path)> loadFile;
    // The snapshot as found has been switched on or off.
    std::function<void(bool on)> asFoundChanged;
    // The settings of the open link.
    std::function<SnapshotLink()> link;
    // The register list as a snapshot keeps it; "" before a good poll.
    std::function<std::string()> liveValues;
};

class THistoryTab : public QWidget {
    Q_OBJECT
public:
    static QString Caption();

    // `storePath`: the history file ("" when there is none); `iniPath`: the
    // window's INI file, for the report's engineer and place.
    THistoryTab(const std::string& storePath, std::string iniPath, HistoryTabHooks hooks, QWidget* parent = nullptr);
    ~THistoryTab() override;

    // A configuration the link thread has read: kept as a snapshot, or,
    // when it was read for "Восстановить", the preview's "meter now".
    void Record(const ConfigReading& reading);
    void SetLinkOpen(bool open);

    // Reads the meters and snapshots anew from the store; shows the
    // snapshots of `meterId`, or of the meter chosen before.
    void Reload(std::optional<std::int64_t> meterId = std::nullopt);
    // The snapshots chosen in the list, oldest first.
    std::vector<std::int64_t> ChosenSnapshots() const;
    // The service report of the two snapshots to `path`; false with a message shown.
    bool WriteReport(std::int64_t before, std::int64_t after, const QString& path);

    HistoryStore& Store() { return store_; }

    QTableWidget* MetersView;
    QTableWidget* SnapshotsView;
    QTableWidget* DiffView;
    QPushButton* TakeSnapshotButton;
    QPushButton* SaveSnapshotButton;
    QPushButton* RestoreButton;
    QPushButton* ReportButton;
    QLabel* StatusLabel;
    // "Снимок при подключении": the configuration as found, saved in the INI file.
    QCheckBox* AsFoundBox;

private:
    void ShowSnapshotsOfChosenMeter();
    void ShowDiffOfChosen();
    void UpdateButtons();
    void ReportStoreFailure();
    void TakeSnapshotClick();
    void SaveSnapshotClick();
    void RestoreClick();
    void ReportClick();
    // The preview of "Восстановить" and its confirmation, once the meter's
    // configuration has been read.
    void ConfirmRestore(const std::string& meterNow);

    HistoryStore store_;
    std::string iniPath_;
    HistoryTabHooks hooks_;
    bool linkOpen_ = false;
    std::vector<MeterSummary> meters_;
    std::vector<SnapshotSummary> snapshots_;
    std::optional<std::int64_t> restoring_;     // the snapshot "Восстановить" waits to preview
    std::unique_ptr<QTemporaryFile> restoreFile_;
};
