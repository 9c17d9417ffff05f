#include "history_tab.h"

#include "config_diff.h"
#include "file_write.h"
#include "history_settings.h"
#include "message_boxes.h"
#include "program_version.h"
#include "report_pdf.h"
#include "service_report.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>

namespace {

QTableWidget* MakeTable(QWidget* parent, const char* name, const QStringList& headers)
{
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setObjectName(QString::fromLatin1(name));
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells)
{
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells[column]));
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

} // namespace

QString THistoryTab::Caption() { return QStringLiteral("История"); }

THistoryTab::THistoryTab(const std::string& storePath, std::string iniPath, HistoryTabHooks hooks, QWidget* parent)
    : QWidget(parent), iniPath_(std::move(iniPath)), hooks_(std::move(hooks))
{
    setObjectName(QStringLiteral("HistoryTab"));
    MetersView = MakeTable(this, "MetersView",
                           {QStringLiteral("Серийный номер"), QStringLiteral("Прошивка"),
                            QStringLiteral("Последний раз"), QStringLiteral("Снимков")});
    MetersView->setSelectionMode(QAbstractItemView::SingleSelection);
    SnapshotsView = MakeTable(this, "SnapshotsView",
                              {QStringLiteral("№"), QStringLiteral("Время"), QStringLiteral("Вид"),
                               QStringLiteral("Примечание")});
    SnapshotsView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DiffView = MakeTable(this, "DiffView",
                         {QStringLiteral("Раздел"), QStringLiteral("Регистр"), QStringLiteral("Параметр"),
                          QStringLiteral("Было"), QStringLiteral("Стало")});
    DiffView->setSelectionMode(QAbstractItemView::NoSelection);

    TakeSnapshotButton = new QPushButton(QStringLiteral("Снять конфигурацию"), this);
    TakeSnapshotButton->setObjectName(QStringLiteral("TakeSnapshotButton"));
    SaveSnapshotButton = new QPushButton(QStringLiteral("Сохранить в файл"), this);
    SaveSnapshotButton->setObjectName(QStringLiteral("SaveSnapshotButton"));
    RestoreButton = new QPushButton(QStringLiteral("Восстановить"), this);
    RestoreButton->setObjectName(QStringLiteral("RestoreButton"));
    ReportButton = new QPushButton(QStringLiteral("Отчёт"), this);
    ReportButton->setObjectName(QStringLiteral("ReportButton"));
    AsFoundBox = new QCheckBox(QStringLiteral("Снимок при подключении"), this);
    AsFoundBox->setObjectName(QStringLiteral("AsFoundBox"));
    AsFoundBox->setChecked(LoadAsFoundSnapshots(iniPath_));
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("HistoryStatusLabel"));
    StatusLabel->setWordWrap(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(MetersView, 0, 0);
    grid->addWidget(SnapshotsView, 0, 1);
    grid->addWidget(DiffView, 1, 0, 1, 2);
    auto* buttons = new QHBoxLayout();
    for (QPushButton* b : {TakeSnapshotButton, SaveSnapshotButton, RestoreButton, ReportButton})
        buttons->addWidget(b);
    buttons->addWidget(AsFoundBox);
    buttons->addWidget(StatusLabel, 1);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->setColumnStretch(0, 5);
    grid->setColumnStretch(1, 6);

    connect(MetersView, &QTableWidget::itemSelectionChanged, this, [this] { ShowSnapshotsOfChosenMeter(); });
    connect(SnapshotsView, &QTableWidget::itemSelectionChanged, this, [this] {
        ShowDiffOfChosen();
        UpdateButtons();
    });
    connect(TakeSnapshotButton, &QPushButton::clicked, this, [this] { TakeSnapshotClick(); });
    connect(SaveSnapshotButton, &QPushButton::clicked, this, [this] { SaveSnapshotClick(); });
    connect(RestoreButton, &QPushButton::clicked, this, [this] { RestoreClick(); });
    connect(ReportButton, &QPushButton::clicked, this, [this] { ReportClick(); });
    connect(AsFoundBox, &QCheckBox::toggled, this, [this](bool on) {
        if (const auto error = SaveAsFoundSnapshots(iniPath_, on))
            ShowErrorBox(Q(*error));
        if (hooks_.asFoundChanged)
            hooks_.asFoundChanged(on);
    });

    if (storePath.empty())
        StatusLabel->setText(QStringLiteral("История недоступна: не задан HOME"));
    else if (!store_.Open(storePath))
        ReportStoreFailure();
    Reload();
}

THistoryTab::~THistoryTab() = default;

void THistoryTab::ReportStoreFailure()
{
    const std::string message = store_.TakeFailureMessage();
    if (message.empty())
        return;
    StatusLabel->setText(Q(message));
    // Once, and after the step that met the failure has returned.
    QTimer::singleShot(0, this, [text = Q(message)] { ShowErrorBox(text); });
}

void THistoryTab::SetLinkOpen(bool open)
{
    linkOpen_ = open;
    UpdateButtons();
}

void THistoryTab::Reload(std::optional<std::int64_t> meterId)
{
    const std::int64_t chosen = meterId                               ? *meterId
                                : MetersView->currentRow() >= 0 &&
                                        MetersView->currentRow() < static_cast<int>(meters_.size())
                                    ? meters_[static_cast<std::size_t>(MetersView->currentRow())].id
                                    : 0;
    meters_ = store_.Meters();
    ReportStoreFailure();
    const QSignalBlocker block(MetersView);
    MetersView->setRowCount(static_cast<int>(meters_.size()));
    int chosenRow = meters_.empty() ? -1 : 0;
    for (int row = 0; row < static_cast<int>(meters_.size()); ++row) {
        const MeterSummary& m = meters_[static_cast<std::size_t>(row)];
        const QString serial = m.serial.empty() ? QStringLiteral("? (%1)").arg(Q(m.place)) : Q(m.serial);
        SetRow(MetersView, row,
               {serial, QString::number(m.firmware), Q(m.lastSeenLocal).replace(QLatin1Char('T'), QLatin1Char(' ')),
                QString::number(m.snapshots)});
        if (m.id == chosen)
            chosenRow = row;
    }
    MetersView->resizeColumnsToContents();
    if (chosenRow >= 0)
        MetersView->selectRow(chosenRow);
    ShowSnapshotsOfChosenMeter();
}

void THistoryTab::ShowSnapshotsOfChosenMeter()
{
    const int row = MetersView->currentRow();
    snapshots_.clear();
    if (row >= 0 && row < static_cast<int>(meters_.size()))
        snapshots_ = store_.SnapshotsOfMeter(meters_[static_cast<std::size_t>(row)].id);
    const QSignalBlocker block(SnapshotsView);
    SnapshotsView->clearSelection();
    SnapshotsView->setRowCount(static_cast<int>(snapshots_.size()));
    for (int i = 0; i < static_cast<int>(snapshots_.size()); ++i) {
        const SnapshotSummary& s = snapshots_[static_cast<std::size_t>(i)];
        SetRow(SnapshotsView, i,
               {QString::number(s.id), Q(s.takenLocal).replace(QLatin1Char('T'), QLatin1Char(' ')),
                QString::fromUtf8(SnapshotKindCaption(s.kind)), Q(s.note)});
    }
    SnapshotsView->resizeColumnsToContents();
    if (!snapshots_.empty())
        SnapshotsView->scrollToBottom();
    ShowDiffOfChosen();
    UpdateButtons();
}

std::vector<std::int64_t> THistoryTab::ChosenSnapshots() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : SnapshotsView->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<std::int64_t> ids;
    for (const int row : rows)
        if (row >= 0 && row < static_cast<int>(snapshots_.size()))
            ids.push_back(snapshots_[static_cast<std::size_t>(row)].id);
    return ids;
}

void THistoryTab::ShowDiffOfChosen()
{
    DiffView->setRowCount(0);
    const std::vector<std::int64_t> chosen = ChosenSnapshots();
    if (chosen.size() != 2)
        return;
    const auto before = store_.Get(chosen[0]);
    const auto after = store_.Get(chosen[1]);
    if (!before || !after)
        return;
    const ConfigDiff diff = DiffConfigurations(before->config, after->config);
    DiffView->setRowCount(static_cast<int>(diff.changes.size()));
    for (int row = 0; row < static_cast<int>(diff.changes.size()); ++row) {
        const ConfigChange& c = diff.changes[static_cast<std::size_t>(row)];
        SetRow(DiffView, row,
               {Q(c.section), QString::number(c.registerNumber), Q(c.caption), Q(c.oldValue), Q(c.newValue)});
    }
    DiffView->resizeColumnsToContents();
    StatusLabel->setText(diff.changes.empty() ? QStringLiteral("Снимки не различаются")
                                              : QStringLiteral("Различий: %1").arg(diff.changes.size()));
}

void THistoryTab::UpdateButtons()
{
    const std::size_t chosen = ChosenSnapshots().size();
    TakeSnapshotButton->setEnabled(linkOpen_ && store_.IsUsable());
    SaveSnapshotButton->setEnabled(chosen == 1);
    RestoreButton->setEnabled(linkOpen_ && chosen == 1);
    ReportButton->setEnabled(chosen == 2);
}

void THistoryTab::Record(const ConfigReading& reading)
{
    if (restoring_ && reading.kind == SnapshotKind::ByHand) {
        // "Восстановить" read the meter for its preview; that is no snapshot.
        QTimer::singleShot(0, this, [this, text = reading.text] { ConfirmRestore(text); });
        return;
    }
    Snapshot snapshot = SnapshotOfReading(reading, hooks_.link ? hooks_.link() : SnapshotLink{});
    if (hooks_.liveValues)
        snapshot.liveValues = hooks_.liveValues();
    std::optional<std::int64_t> meter;
    if (const auto id = store_.Add(snapshot)) {
        StatusLabel->setText(QStringLiteral("Снимок сохранён"));
        if (const auto stored = store_.Get(*id))
            meter = stored->meterId;
    }
    ReportStoreFailure();
    Reload(meter);
}

void THistoryTab::TakeSnapshotClick()
{
    if (hooks_.takeSnapshot && !hooks_.takeSnapshot())
        StatusLabel->setText(QStringLiteral("Связь занята, повторите"));
}

void THistoryTab::SaveSnapshotClick()
{
    const std::vector<std::int64_t> chosen = ChosenSnapshots();
    if (chosen.size() != 1)
        return;
    const auto snapshot = store_.Get(chosen[0]);
    if (!snapshot)
        return;
    const QString path = QFileDialog::getSaveFileName(this, QString(), QStringLiteral("snapshot-%1.txt").arg(chosen[0]));
    if (path.isEmpty())
        return;
    std::string error;
    if (!ReplaceFileContents(path.toStdString(), snapshot->config, error))
        ShowErrorBox(QStringLiteral("Не удалось записать файл %1: %2").arg(path, Q(error)));
}

void THistoryTab::RestoreClick()
{
    const std::vector<std::int64_t> chosen = ChosenSnapshots();
    if (chosen.size() != 1 || !hooks_.takeSnapshot)
        return;
    restoring_ = chosen[0];
    if (!hooks_.takeSnapshot()) {
        restoring_.reset();
        StatusLabel->setText(QStringLiteral("Связь занята, повторите"));
    }
}

void THistoryTab::ConfirmRestore(const std::string& meterNow)
{
    const std::int64_t id = *restoring_;
    restoring_.reset();
    const auto snapshot = store_.Get(id);
    if (!snapshot)
        return;
    const ConfigDiff diff = DiffConfigurations(meterNow, snapshot->config);
    if (!diff.valid || diff.changes.empty()) {
        StatusLabel->setText(diff.valid ? QStringLiteral("Влагомер уже содержит этот снимок")
                                        : Q(diff.messages.front()));
        return;
    }
    QString details;
    for (const ConfigChange& c : diff.changes)
        details += QStringLiteral("%1 %2 %3: %4 → %5\n")
                       .arg(Q(c.section), QString::number(c.registerNumber), Q(c.caption), Q(c.oldValue),
                            Q(c.newValue));
    QMessageBox box(QMessageBox::Question, QString(),
                    QStringLiteral("Загрузить снимок %1 во влагомер? Изменится параметров: %2.")
                        .arg(id)
                        .arg(diff.changes.size()),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("RestoreConfirmBox"));
    box.setDetailedText(details);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return;
    restoreFile_ = std::make_unique<QTemporaryFile>();
    std::string error;
    if (!restoreFile_->open() ||
        !ReplaceFileContents(restoreFile_->fileName().toStdString(), snapshot->config, error)) {
        ShowErrorBox(QStringLiteral("Не удалось записать временный файл: %1").arg(Q(error)));
        return;
    }
    restoreFile_->close();
    if (hooks_.loadFile)
        hooks_.loadFile(restoreFile_->fileName().toStdString());
}

bool THistoryTab::WriteReport(std::int64_t beforeId, std::int64_t afterId, const QString& path)
{
    const auto before = store_.Get(beforeId);
    const auto after = store_.Get(afterId);
    if (!before || !after)
        return false;
    const ReportPeopleSettings people = LoadReportPeople(iniPath_);
    const std::string html = ServiceReportHtml(*before, *after, DiffConfigurations(before->config, after->config),
                                               {people.engineer, people.place, ToolVersion()});
    QString error;
    if (!WriteReportPdf(html, path, QStringLiteral("Сервисный отчёт, влагомер %1").arg(Q(after->serial)), error)) {
        ShowErrorBox(QStringLiteral("Не удалось записать файл %1: %2").arg(path, error));
        return false;
    }
    return true;
}

void THistoryTab::ReportClick()
{
    const std::vector<std::int64_t> chosen = ChosenSnapshots();
    if (chosen.size() != 2)
        return;
    ReportPeopleSettings people = LoadReportPeople(iniPath_);
    if (people.engineer.empty()) {
        // Asked once; kept in the INI file's section of its own.
        bool ok = false;
        const QString name = QInputDialog::getText(this, QString(), QStringLiteral("Инженер (для отчётов):"),
                                                   QLineEdit::Normal, QString(), &ok);
        if (!ok)
            return;
        people.engineer = name.trimmed().toStdString();
        if (const auto error = SaveReportPeople(iniPath_, people))
            ShowErrorBox(Q(*error));
    }
    const QString path = QFileDialog::getSaveFileName(this, QString(), QStringLiteral("report.pdf"),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty() && WriteReport(chosen[0], chosen[1], path))
        StatusLabel->setText(QStringLiteral("Отчёт сохранён: %1").arg(path));
}
