#include "main_form.h"

#include "caption_on_frame_style.h"
#include "csv_log.h"
#include "dialog_folders.h"
#include "dialog_owner.h"
#include "form_controls.h"
#include "form_font.h"
#include "echo_settings.h"
#include "line_group.h"
#include "line_settings.h"
#include "framing_settings.h"
#include "history_place.h"
#include "history_tab.h"
#include "link_messages.h"
#include "link_thread.h"
#include "qt_dispatcher.h"
#include "link_value_list.h"
#include "message_boxes.h"
#include "port_list.h"
#include "port_return_waiter.h"
#include "meter_finder_panel.h"
#include "progress_bar_form.h"
#include "reg_edit_form.h"
#include "syntax_rep_form.h"
#include "title_bar.h"
#include "traffic_tab.h"
#include "trends_tab.h"
#include "user_guide.h"
#include "value_freshness.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <stdexcept>

namespace {

constexpr int kClientWidth = 822;
constexpr int kClientHeight = 501;
constexpr int kValueColumn = 3;

// The register list as the rows' target: one table row per object, the
// object's address kept in the first cell's user data.
class RegListViewRows final : public RegListItems {
public:
    explicit RegListViewRows(QTableWidget& view) : view_(view) {}

    int AddRow(const std::vector<std::string>& texts, RegListItemData& data) override
    {
        static constexpr Qt::Alignment kAlign[] = {
            Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter, Qt::AlignLeft};
        const int row = view_.rowCount();
        view_.insertRow(row);
        for (std::size_t column = 0; column < texts.size() && column < 6; ++column) {
            auto* cell = new QTableWidgetItem(QString::fromStdString(texts[column]));
            cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            cell->setTextAlignment(kAlign[column] | Qt::AlignVCenter);
            view_.setItem(row, static_cast<int>(column), cell);
        }
        if (QTableWidgetItem* first = view_.item(row, 0))
            first->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(&data)));
        return row;
    }

private:
    QTableWidget& view_;
};

QPixmap MeterPicture() { return QPixmap(QStringLiteral(":/vok-tarnel/meter.png")); }

QLabel* MakePicture(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(8, 384, 130, 82);
    label->setPixmap(MeterPicture());
    label->setScaledContents(true);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

} // namespace

TTMainForm::TTMainForm(std::string iniPath, const std::vector<PortChoice>& ports, QWidget* parent)
    : QMainWindow(parent), iniPath_(std::move(iniPath))
{
    Q_INIT_RESOURCE(vok_tarnel);

    setObjectName(QStringLiteral("TMainForm"));
    setWindowTitle(QStringLiteral("VOK Tarnel V2"));
    setFont(FormFont());
    TitleBarButtons buttons;
    buttons.systemMenu = buttons.minimise = buttons.close = true;
    new TTitleBar(*this, buttons);

    auto* menu = menuBar();
    menu->setObjectName(QStringLiteral("MainMenu1"));
    menu->setLayoutDirection(Qt::RightToLeft);
    ExitMenuItem = menu->addAction(QStringLiteral("Выход"));
    ExitMenuItem->setObjectName(QStringLiteral("ExitMenuItem"));
    connect(ExitMenuItem, &QAction::triggered, this, [this] { close(); });

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(PageControl1);
    TabSheet1 = new QWidget();
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget();
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Сервис"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Связь"));

    BuildServiceTab();
    BuildLinkTab();
    Trends = new TTrendsTab(Registers);
    PageControl1->insertTab(TTrendsTab::kPosition, Trends, TTrendsTab::Caption());
    // The data log's style follows the user's locale unless chosen otherwise.
    Trends->SeparatorBox->setCurrentIndex(LocaleLogSeparator() == LogSeparator::Semicolon ? 1 : 0);

    OpenVokParamsDialog = new QFileDialog(this);
    OpenVokParamsDialog->setObjectName(QStringLiteral("OpenVokParamsDialog"));
    OpenVokParamsDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenVokParamsDialog->setFileMode(QFileDialog::ExistingFile);
    SaveVokParamsDialog = new QFileDialog(this);
    SaveVokParamsDialog->setObjectName(QStringLiteral("SaveVokParamsDialog"));
    SaveVokParamsDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveVokParamsDialog->setFileMode(QFileDialog::AnyFile);
    // The handler asks its own question about an existing file.
    SaveVokParamsDialog->setOption(QFileDialog::DontConfirmOverwrite, true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { OnTimer(); }); });

    PageControl1->setCurrentWidget(TabSheet2);
    const int menuHeight = menu->sizeHint().height();
    setFixedSize(kClientWidth, kClientHeight + menuHeight);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    // Float texts use '.' whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");

    Link1ValueList->SetPortChoices(ports);
    Link1ValueList->SetTexts(LoadLinkSettings(iniPath_));
    FastFramingBox->setChecked(LoadFastFraming(iniPath_));
    EchoModeBox->setCurrentIndex(EchoModeBox->findData(static_cast<int>(LoadEchoMode(iniPath_))));

    RegListViewRows rows(*RegListView);
    AddRegListRows(Registers, rows);
    freshness_ = std::make_unique<TValueFreshness>(*RegListView, kValueColumn, *EParValue, *PollStatusLabel);

    linkDispatcher_ = new QtDispatcher(this);
    linkThread_ = std::make_unique<TLink1Thread>(Registers, *this, *linkDispatcher_);
    LinkThread = linkThread_.get();
    LinkThread->SetFastFraming(FastFramingBox->isChecked());
    LinkThread->SetEcho(ChosenEchoMode());
    LinkThread->SetAsLeftSnapshots(true);
    TrafficTab = new TTrafficTab(LinkThread->WatchTraffic());
    PageControl1->insertTab(2, TrafficTab, QStringLiteral("Обмен"));
    TrafficTab->SetFastFraming(FastFramingBox->isChecked());
    portWaiter_ = new TPortReturnWaiter(*LinkThread, this);
    MeterFinder = new TMeterFinderPanel(*LinkThread, *Link1ValueList, *Link1OpenButton, Panel1);
    LineGroup = new TLineGroup(Panel1);
    LineGroup->SetOptions(LoadLineOptions(iniPath_));
    LinkThread->SetLineOptions(LineGroup->Options());
    // The meter finder's opens take the options as they stand.
    connect(LineGroup, &TLineGroup::Changed, this, [this] { LinkThread->SetLineOptions(LineGroup->Options()); });

    // F1: the user guide, from any tab.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, [this] { Guarded([] { OpenUserGuide(); }); });

    DialogFolders = new TDialogFolders(iniPath_, this);
    DialogFolders->Follow(*OpenVokParamsDialog, TDialogFolders::kParamFiles);
    DialogFolders->Follow(*SaveVokParamsDialog, TDialogFolders::kParamFiles);
    DialogFolders->Follow(*Trends->RecordFileDialog, TDialogFolders::kDataLog);
    DialogFolders->Follow(*TrafficTab->SaveLogDialog, TDialogFolders::kTrafficLog);
    HistoryTab = new THistoryTab(DefaultHistoryPath(), iniPath_, HistoryHooks());
    PageControl1->addTab(HistoryTab, THistoryTab::Caption());
    LinkThread->SetAsFoundSnapshots(HistoryTab->AsFoundBox->isChecked());
    Timer1->start();
}

TTMainForm::~TTMainForm()
{
    Timer1->stop();
    if (portWaiter_)
        portWaiter_->Cancel();
    if (LinkThread)
        LinkThread->Stop();
}

void TTMainForm::BuildServiceTab()
{
    Panel2 = new QWidget(TabSheet1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, 0, 814, 473);

    RegListView = MakeRowList(Panel2, "RegListView", {8, 9, 793, 328},
                              {QStringLiteral("Название"), QStringLiteral("Адрес"), QStringLiteral("Тип"),
                               QStringLiteral("Значение"), QStringLiteral("WR"), QStringLiteral("Примечание")},
                              {200, 50, 50, 100, 30, 340});
    const Qt::Alignment headerAlign[] = {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft,
                                         Qt::AlignRight, Qt::AlignHCenter, Qt::AlignLeft};
    for (int column = 0; column < 6; ++column)
        RegListView->horizontalHeaderItem(column)->setTextAlignment(headerAlign[column] | Qt::AlignVCenter);
    RegListView->horizontalHeader()->setSectionsClickable(false);
    RegListView->horizontalHeader()->setHighlightSections(false);
    RegListView->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    RegListView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    RegListView->setShowGrid(true);
    RegListView->setWordWrap(false);
    RegListView->setEnabled(false);
    RegListView->installEventFilter(this);
    connect(RegListView, &QTableWidget::cellDoubleClicked, this,
            [this](int, int) { Guarded([this] { EditSelectedReg(); }); });

    Label1 = new QLabel(QStringLiteral("Значение параметра:"), Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 346);
    Label1->adjustSize();

    EParValue = new QLineEdit(Panel2);
    EParValue->setObjectName(QStringLiteral("EParValue"));
    // With a font wider than Tahoma the label would run under the box.
    EParValue->setGeometry(std::max(123, Label1->geometry().right() + 4), 343, 86, 21);

    PollStatusLabel = new QLabel(Panel2);
    PollStatusLabel->setObjectName(QStringLiteral("PollStatusLabel"));
    PollStatusLabel->move(EParValue->geometry().right() + 12, 346);

    SaveToNVRAMButton = MakeButton(Panel2, "SaveToNVRAMButton", QStringLiteral("Сохранить изменения в NVRAM"),
                                   {600, 352, 201, 25});
    SaveVokParamsButton =
        MakeButton(Panel2, "SaveVokParamsButton", QStringLiteral("Сохранить в файл"), {600, 391, 201, 25});
    LoadVokParamsButton =
        MakeButton(Panel2, "LoadVokParamsButton", QStringLiteral("Загрузить из файла"), {600, 432, 201, 25});
    LoadFactoryButton = MakeButton(Panel2, "LoadFactoryButton", QStringLiteral("Загрузить заводские настройки"),
                                   {368, 432, 201, 25});
    LoadFactoryButton->setVisible(false);
    for (QPushButton* button : {SaveToNVRAMButton, SaveVokParamsButton, LoadVokParamsButton, LoadFactoryButton})
        button->setEnabled(false);

    connect(SaveToNVRAMButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { SaveToNVRAMButtonClick(); }); });
    connect(LoadFactoryButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { LoadFactoryButtonClick(); }); });
    connect(LoadVokParamsButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { LoadVokParamsButtonClick(); }); });
    connect(SaveVokParamsButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { SaveVokParamsButtonClick(); }); });

    Image1 = MakePicture(Panel2, "Image1");

    QWidget::setTabOrder(RegListView, SaveToNVRAMButton);
    QWidget::setTabOrder(SaveToNVRAMButton, LoadFactoryButton);
    QWidget::setTabOrder(LoadFactoryButton, LoadVokParamsButton);
    QWidget::setTabOrder(LoadVokParamsButton, SaveVokParamsButton);
    QWidget::setTabOrder(SaveVokParamsButton, EParValue);
}

void TTMainForm::BuildLinkTab()
{
    Panel1 = new QWidget(TabSheet2);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 814, 473);

    auto* group = new QGroupBox(QStringLiteral("Параметры связи с влагомером"), Panel1);
    Link1GroupBox = group;
    group->setObjectName(QStringLiteral("Link1GroupBox"));
    group->setGeometry(11, 11, 430, 126);
    DrawCaptionOnFrame(*group);

    Link1ValueList = new TLinkValueList(group);
    Link1ValueList->setGeometry(5, 18, 335, 103);

    Link1OpenButton = MakeButton(group, "Link1OpenButton", QStringLiteral("Открыть"), {346, 15, 75, 25});
    Link1CloseButton = MakeButton(group, "Link1CloseButton", QStringLiteral("Закрыть"), {346, 46, 75, 25});
    Link1CloseButton->setEnabled(false);
    connect(Link1OpenButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { Link1OpenButtonClick(); }); });
    connect(Link1CloseButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { Link1CloseButtonClick(); }); });

    FastFramingBox = new QCheckBox(QStringLiteral("Быстрый приём: ответ принят, как только он полон"), Panel1);
    FastFramingBox->setObjectName(QStringLiteral("FastFramingBox"));
    FastFramingBox->setGeometry(16, 144, 425, 20);
    FastFramingBox->setToolTip(QStringLiteral("Без паузы 20 мс после каждого ответа; действует сразу"));
    connect(FastFramingBox, &QCheckBox::toggled, this, [this](bool on) {
        if (LinkThread)
            LinkThread->SetFastFraming(on);
        if (TrafficTab)
            TrafficTab->SetFastFraming(on);
    });

    auto* echoLabel = new QLabel(QStringLiteral("Эхо:"), Panel1);
    echoLabel->setGeometry(456, 144, 36, 20);
    EchoModeBox = new QComboBox(Panel1);
    EchoModeBox->setObjectName(QStringLiteral("EchoModeBox"));
    EchoModeBox->setGeometry(494, 142, 80, 22);
    EchoModeBox->addItem(QStringLiteral("авто"), static_cast<int>(EchoMode::Auto));
    EchoModeBox->addItem(QStringLiteral("нет"), static_cast<int>(EchoMode::Off));
    EchoModeBox->addItem(QStringLiteral("есть"), static_cast<int>(EchoMode::On));
    EchoModeBox->setToolTip(QStringLiteral("Возвращает ли адаптер запрос перед ответом; «авто» узнаёт это при первом обмене"));
    echoLabel->setBuddy(EchoModeBox);
    connect(EchoModeBox, &QComboBox::currentIndexChanged, this, [this] {
        if (LinkThread)
            LinkThread->SetEcho(ChosenEchoMode());
    });

    Image2 = MakePicture(Panel1, "Image2");
}

EchoMode TTMainForm::ChosenEchoMode() const { return static_cast<EchoMode>(EchoModeBox->currentData().toInt()); }

void TTMainForm::AttachDialogs(TModBusRegEditForm& edit, TProgressBarForm& progress, TFSSyntaxRep& report)
{
    editForm_ = &edit;
    progressForm_ = &progress;
    reportForm_ = &report;
    for (QWidget* dialog : std::initializer_list<QWidget*>{&edit, &progress, &report})
        KeepTransientFor(*dialog, *this);
}

void TTMainForm::SetLinkSettingsTexts(const LinkSettingsTexts& texts) { Link1ValueList->SetTexts(texts); }

LinkSettingsTexts TTMainForm::GetLinkSettingsTexts() const { return Link1ValueList->Texts(); }

RegListItemData* TTMainForm::RowData(int row) const
{
    const QTableWidgetItem* first = RegListView->item(row, 0);
    if (!first)
        return nullptr;
    return reinterpret_cast<RegListItemData*>(first->data(Qt::UserRole).value<quintptr>());
}

void TTMainForm::Guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        ShowExceptionReport(std::current_exception());
    }
}

// --- service controls -------------------------------------------------------

void TTMainForm::SetServiceControlsEnabled(bool enabled)
{
    for (QWidget* control : std::initializer_list<QWidget*>{RegListView, SaveToNVRAMButton, LoadFactoryButton,
                                                            LoadVokParamsButton, SaveVokParamsButton})
        control->setEnabled(enabled);
}

void TTMainForm::EnableServiceControls()
{
    SetServiceControlsEnabled(true);
    HistoryTab->SetLinkOpen(true);
    LineGroup->setEnabled(false);
}

void TTMainForm::DisableServiceControls()
{
    SetServiceControlsEnabled(false);
    HistoryTab->SetLinkOpen(false);
    LineGroup->setEnabled(true);
}

HistoryTabHooks TTMainForm::HistoryHooks()
{
    HistoryTabHooks hooks;
    hooks.takeSnapshot = [this] { return LinkThread->PostCommand(TakeSnapshot); };
    hooks.asFoundChanged = [this](bool on) { LinkThread->SetAsFoundSnapshots(on); };
    hooks.loadFile = [this](const std::string& path) {
        openFileName_ = path;
        PostWithProgress(LoadVokParams);
    };
    hooks.link = [this] {
        const LinkCheck check = CheckLinkSettings(Link1ValueList->Texts());
        const LinkParameters& p = check.parameters;
        return SnapshotLink{p.port, p.baud, p.timeoutMs, p.address, FastFramingBox->isChecked()};
    };
    hooks.liveValues = [this] { return freshness_->IsStale() ? std::string() : RegisterListText(Registers); };
    return hooks;
}

void TTMainForm::ConfigurationRead(const ConfigReading& reading) { HistoryTab->Record(reading); }

void TTMainForm::OnTimer() { LinkThread->PostCommand(Poll); }

bool TTMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == RegListView && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Guarded([this] { EditSelectedReg(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TTMainForm::EditSelectedReg()
{
    if (!RegListView->isEnabled())
        return;
    const QModelIndexList selected = RegListView->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    RegListItemData* data = RowData(selected.front().row());
    if (!data)
        return;
    EditedRegData = data;
    if (data->Writable == 0)
        return;
    editForm_->ERegValue->setText(QString::fromStdString(data->GetValueText()));
    if (editForm_->exec() != QDialog::Accepted)
        return;
    // The write is bound to this row and this text now: a later edit cannot
    // change what the confirmed one sends.
    LinkThread->PostWrite(*data, editForm_->ERegValue->text().toStdString());
}

void TTMainForm::PostWithProgress(int command)
{
    // The polls stop while the command runs and the meter may come out of
    // it changed: the trend lines do not run across it.
    Trends->BreakLines();
    if (LinkThread->PostCommand(command))
        progressForm_->exec();
    Trends->BreakLines();
}

void TTMainForm::SaveToNVRAMButtonClick()
{
    if (!Confirm(QStringLiteral("Вы уверены?")))
        return;
    PostWithProgress(SaveToNVRAM);
}

void TTMainForm::LoadFactoryButtonClick()
{
    if (!Confirm(QStringLiteral("Вы уверены?")))
        return;
    PostWithProgress(LoadFactory);
}

void TTMainForm::LoadVokParamsButtonClick()
{
    if (!Confirm(QStringLiteral("Вы уверены?")))
        return;
    if (OpenVokParamsDialog->exec() != QDialog::Accepted || OpenVokParamsDialog->selectedFiles().isEmpty())
        return;
    openFileName_ = OpenVokParamsDialog->selectedFiles().front().toStdString();
    PostWithProgress(LoadVokParams);
}

void TTMainForm::SaveVokParamsButtonClick()
{
    if (SaveVokParamsDialog->exec() != QDialog::Accepted || SaveVokParamsDialog->selectedFiles().isEmpty())
        return;
    const QString chosen = SaveVokParamsDialog->selectedFiles().front();
    if (QFileInfo::exists(chosen) && !Confirm(QStringLiteral("Файл существует. Переписать?")))
        return;
    saveFileName_ = chosen.toStdString();
    PostWithProgress(SaveVokParams);
}

// --- link settings ----------------------------------------------------------

void TTMainForm::Link1OpenButtonClick()
{
    const LinkCheck check = CheckLinkSettings(Link1ValueList->Texts());
    switch (check.outcome) {
    case LinkCheck::Outcome::Refused:
        ShowErrorBox(QString::fromStdString(check.message));
        return;
    case LinkCheck::Outcome::ConversionError:
        throw std::invalid_argument(check.message);
    case LinkCheck::Outcome::Accepted:
        break;
    }
    const LinkParameters& p = check.parameters;
    // The line options go with this open, and are kept as the echo is.
    const LineOptions line = LineGroup->Options();
    LinkThread->SetLineOptions(line);
    if (const auto error = SaveLineOptions(iniPath_, line))
        ShowErrorBox(QString::fromStdString(*error));
    PortOpenFailure why;
    if (!LinkThread->OpenLink(p.port, p.baud, p.timeoutMs, p.address, &why)) {
        ShowErrorBox(QString::fromStdString(OpenFailureMessage(why, p.port, p.baud)));
        return;
    }
    portReturn_.emplace(p.port, p.baud, p.timeoutMs, p.address);
    LinkReopened();
}

void TTMainForm::LinkReopened()
{
    EnableServiceControls();
    Link1CloseButton->setEnabled(true);
    Link1OpenButton->setEnabled(false);
    TrafficTab->SetAdapterLatency(AdapterLatencyTimer(portReturn_->WatchedName()));
}

void TTMainForm::Link1CloseButtonClick()
{
    portWaiter_->Cancel();
    DisableServiceControls();
    Link1CloseButton->setEnabled(false);
    Link1OpenButton->setEnabled(true);
    LinkThread->CloseLink();
    Trends->BreakLines();
    freshness_->Stale(TValueFreshness::Reason::Closed);
}

void TTMainForm::FormClose()
{
    auto error = SaveLinkSettings(iniPath_, Link1ValueList->Texts());
    if (!error)
        error = SaveFastFraming(iniPath_, FastFramingBox->isChecked());
    if (!error)
        error = SaveEchoMode(iniPath_, ChosenEchoMode());
    if (!error)
        error = SaveLineOptions(iniPath_, LineGroup->Options());
    if (!error)
        error = DialogFolders->Save();
    if (error)
        ShowErrorBox(QString::fromStdString(*error));
}

void TTMainForm::closeEvent(QCloseEvent* event)
{
    // A value being typed into the grid counts as entered.
    if (QWidget* focus = QApplication::focusWidget(); focus && Link1ValueList->isAncestorOf(focus))
        Link1ValueList->setFocus();
    Guarded([this] { FormClose(); });
    event->accept();
}

// --- steps of the link thread ----------------------------------------------

void TTMainForm::RefreshList(const std::string& parameterText)
{
    for (int row = 0; row < RegListView->rowCount(); ++row) {
        const RegListItemData* data = RowData(row);
        QTableWidgetItem* cell = RegListView->item(row, kValueColumn);
        if (data && cell)
            cell->setText(QString::fromStdString(data->GetValueText()));
    }
    EParValue->setText(QString::fromStdString(parameterText));
    Trends->SetPollPeriod(std::chrono::milliseconds(Timer1->interval()));
    Trends->AddPoll(parameterText);
    freshness_->Fresh();
}

void TTMainForm::PollFailed(bool noAnswer)
{
    Trends->BreakLines();
    freshness_->Stale(noAnswer ? TValueFreshness::Reason::NoAnswer : TValueFreshness::Reason::Refused);
}

void TTMainForm::PollRepeating(int attempt, int attempts) { freshness_->Repeating(attempt, attempts); }

void TTMainForm::ShowStatus(const std::string& text) { freshness_->Note(QString::fromStdString(text)); }

void TTMainForm::ShowError(const std::string& text) { ShowErrorBox(QString::fromStdString(text)); }

void TTMainForm::PortLost(const std::string& message)
{
    Link1CloseButtonClick();
    if (!ShowPortLostBox(QString::fromStdString(message)) || !portReturn_ || !Link1OpenButton->isEnabled())
        return;
    // Waiting: "Закрыть" ends the wait, the link opens by itself when the
    // port is back.
    Link1OpenButton->setEnabled(false);
    Link1CloseButton->setEnabled(true);
    LineGroup->setEnabled(false); // the port comes back with the options it had
    const QString waiting = QStringLiteral("Ожидание порта ") + QString::fromStdString(portReturn_->WatchedName());
    // Started once this step of the link thread has ended: the attempts
    // open the link, which the step still holds.
    QTimer::singleShot(0, this, [this, waiting] {
        if (!Link1CloseButton->isEnabled())
            return; // "Закрыть" came first
        portWaiter_->Start(
            *portReturn_, [this, waiting] { freshness_->Note(waiting); },
            [this] {
                LinkReopened();
                freshness_->Note(QStringLiteral("Порт снова открыт"));
            });
    });
}

void TTMainForm::SetProgress(int position) { progressForm_->SetPosition(position); }

void TTMainForm::CloseProgress() { progressForm_->CloseProgress(); }

std::string TTMainForm::GetOpenFileName() { return openFileName_; }

std::string TTMainForm::GetSaveFileName() { return saveFileName_; }

void TTMainForm::FillReport(const std::vector<std::string>& lines) { reportForm_->Fill(lines); }

ReportEnd TTMainForm::ExecReport(bool offerVerify)
{
    return reportForm_->ExecOfferingVerify(offerVerify) ? ReportEnd::VerifyRequested : ReportEnd::Closed;
}

void TTMainForm::ShowVerifyResult(const VerifyResult& result) { reportForm_->Append(VerifyReportLines(result)); }
