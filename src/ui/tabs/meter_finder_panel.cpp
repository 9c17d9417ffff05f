#include "meter_finder_panel.h"

#include "caption_on_frame_style.h"
#include "link_thread.h"
#include "form_controls.h"
#include "link_value_list.h"
#include "message_boxes.h"
#include "value_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

namespace {

enum FoundColumn { AddressColumn, SpeedColumn, SerialColumn, FirmwareColumn };

QString Shown(const std::string& text) { return QString::fromStdString(text.empty() ? "-" : text); }

} // namespace

TMeterFinderPanel::TMeterFinderPanel(TLink1Thread& link, TLinkValueList& settings, QPushButton& openButton,
                                     QWidget* parent)
    : QGroupBox(QStringLiteral("Поиск влагомера"), parent), link_(link), settings_(settings), openButton_(openButton)
{
    setObjectName(QStringLiteral("MeterFinderGroupBox"));
    setGeometry(11, 170, 790, 208); // below the link settings and the fast framing box
    DrawCaptionOnFrame(*this);

    FindMeterButton = MakeButton(this, "FindMeterButton", QStringLiteral("Найти влагомер"), {10, 20, 130, 25});
    StopFindButton = MakeButton(this, "StopFindButton", QStringLiteral("Остановить"), {146, 20, 100, 25});
    StopFindButton->setEnabled(false);
    FindAllCheck = new QCheckBox(QStringLiteral("Искать все"), this);
    FindAllCheck->setObjectName(QStringLiteral("FindAllCheck"));
    FindAllCheck->setGeometry(258, 22, 110, 21);
    FindProgress = new QProgressBar(this);
    FindProgress->setObjectName(QStringLiteral("FindProgress"));
    FindProgress->setGeometry(374, 22, 406, 21);
    FindProgress->setRange(0, 1);
    FindProgress->setValue(0);
    // Probes made of probes planned: a scan that crawls still shows it moves.
    FindProgress->setFormat(QStringLiteral("%v из %m"));
    FindStatusLabel = new QLabel(this);
    FindStatusLabel->setObjectName(QStringLiteral("FindStatusLabel"));
    FindStatusLabel->setGeometry(10, 50, 770, 18);

    FoundMetersView = MakeRowList(this, "FoundMetersView", {10, 72, 770, 98},
                                  {QStringLiteral("Адрес"), QStringLiteral("Скорость, бод"),
                                   QStringLiteral("Серийный номер"), QStringLiteral("Версия прошивки")},
                                  {80, 120, 200});
    FoundMetersView->horizontalHeader()->setStretchLastSection(true);

    UseMeterButton = MakeButton(this, "UseMeterButton", QStringLiteral("В настройки"), {10, 176, 130, 25});
    UseMeterButton->setEnabled(false);

    connect(FindMeterButton, &QPushButton::clicked, this, [this] { FindMeterButtonClick(); });
    connect(StopFindButton, &QPushButton::clicked, this, [this] { StopFindButtonClick(); });
    connect(UseMeterButton, &QPushButton::clicked, this, [this] { UseMeterButtonClick(); });
    connect(FoundMetersView, &QTableWidget::cellDoubleClicked, this, [this](int, int) { UseMeterButtonClick(); });
    connect(FoundMetersView, &QTableWidget::itemSelectionChanged, this,
            [this] { UseMeterButton->setEnabled(!FoundMetersView->selectedItems().isEmpty()); });

    // Meters found on one port say nothing of another.
    connect(settings_.PortBox(), &QComboBox::currentTextChanged, this, [this] {
        if (!scanning_)
            ClearResults();
    });

    FindMeterButton->setEnabled(openButton_.isEnabled());
    openButton_.installEventFilter(this);
}

void TMeterFinderPanel::ClearResults()
{
    FoundMetersView->setRowCount(0);
    UseMeterButton->setEnabled(false);
    FindStatusLabel->clear();
    FindProgress->setRange(0, 1);
    FindProgress->setValue(0);
}

bool TMeterFinderPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &openButton_ && event->type() == QEvent::EnabledChange && !scanning_)
        FindMeterButton->setEnabled(openButton_.isEnabled());
    return QGroupBox::eventFilter(watched, event);
}

void TMeterFinderPanel::SetScanning(bool scanning)
{
    scanning_ = scanning;
    FindMeterButton->setEnabled(!scanning);
    StopFindButton->setEnabled(scanning);
    FindAllCheck->setEnabled(!scanning);
    openButton_.setEnabled(!scanning);
}

void TMeterFinderPanel::FindMeterButtonClick()
{
    const LinkSettingsTexts texts = settings_.Texts();
    if (texts.port.empty()) {
        ShowErrorBox(QStringLiteral("Неверное значение имени порта"));
        return;
    }
    // The settings' speed and address go first when they make sense; the
    // scan does not need them to.
    std::optional<std::uint32_t> speed;
    if (const auto n = ParseInt32(texts.speed); n && *n > 0)
        speed = static_cast<std::uint32_t>(*n);
    std::optional<std::uint8_t> address;
    if (const auto n = ParseInt32(texts.address); n && *n >= kFirstScanAddress && *n <= kLastScanAddress)
        address = static_cast<std::uint8_t>(*n);
    ScanRequest request;
    request.port = texts.port;
    request.probes = ScanOrder(DefaultScanSpeeds(speed), kFirstScanAddress, kLastScanAddress, speed, address);
    request.all = FindAllCheck->isChecked();
    if (const auto n = ParseInt32(texts.timeout); n && *n >= 20 && *n <= 500)
        request.identifyTimeoutMs = static_cast<std::uint32_t>(*n);
    const int total = static_cast<int>(request.probes.size());
    if (!link_.PostScan(std::move(request), *this)) {
        ShowErrorBox(QStringLiteral("Поиск не начат: связь открыта или занята"));
        return;
    }
    ClearResults();
    FindProgress->setRange(0, total);
    probesDone_ = 0;
    FindStatusLabel->setText(QStringLiteral("Поиск..."));
    SetScanning(true);
}

void TMeterFinderPanel::StopFindButtonClick() { link_.CancelScan(); }

void TMeterFinderPanel::UseMeterButtonClick()
{
    const QList<QTableWidgetItem*> selected = FoundMetersView->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = selected.front()->row();
    LinkSettingsTexts texts = settings_.Texts();
    texts.address = FoundMetersView->item(row, AddressColumn)->text().toStdString();
    texts.speed = FoundMetersView->item(row, SpeedColumn)->text().toStdString();
    settings_.SetTexts(texts);
}

void TMeterFinderPanel::ScanProgress(const ScanProbe& probe, std::size_t done, std::size_t)
{
    probesDone_ = static_cast<int>(done);
    FindProgress->setValue(probesDone_);
    FindStatusLabel->setText(QStringLiteral("Скорость %1 бод, адрес %2").arg(probe.baud).arg(probe.address));
}

void TMeterFinderPanel::MeterFound(const FoundMeter& meter)
{
    const int row = FoundMetersView->rowCount();
    FoundMetersView->insertRow(row);
    const QString texts[] = {QString::number(meter.address), QString::number(meter.baud), Shown(meter.serial),
                             Shown(meter.firmware)};
    for (int column = 0; column < 4; ++column)
        FoundMetersView->setItem(row, column, new QTableWidgetItem(texts[column]));
    // The probe that found it is done.
    FindProgress->setValue(probesDone_ + 1);
    if (row == 0)
        FoundMetersView->selectRow(0);
}

void TMeterFinderPanel::ScanEnded(const ScanOutcome& outcome)
{
    SetScanning(false);
    // A scan that went through its plan has made every probe; one that was
    // stopped, broken off or ended at its first meter shows how far it got.
    if (!outcome.cancelled && outcome.error.empty() && (outcome.found.empty() || FindAllCheck->isChecked()))
        FindProgress->setValue(FindProgress->maximum());
    const int found = static_cast<int>(outcome.found.size());
    QString status = outcome.cancelled          ? QStringLiteral("Поиск остановлен. ")
                     : !outcome.error.empty() ? QStringLiteral("Поиск прерван. ")
                                              : QString();
    status += found > 0 ? QStringLiteral("Найдено влагомеров: %1").arg(found) : QStringLiteral("Влагомер не найден");
    for (std::uint32_t baud : outcome.refusedSpeeds)
        status += QStringLiteral("; скорость %1 не поддерживается портом").arg(baud);
    FindStatusLabel->setText(status);
    if (!outcome.error.empty())
        ShowErrorBox(QString::fromStdString(outcome.error));
}
