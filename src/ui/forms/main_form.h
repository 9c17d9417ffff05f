#pragma once
// The main window: the "Сервис" tab with the register list and the command
// buttons, the "Связь" tab with the link settings (and below them the
// finder), the "Обмен" tab with the link's traffic. It owns the register
// objects and the link thread, and is the front whose steps the link
// thread's commands run.

#include "echo_mode.h"
#include "link_front.h"
#include "link_settings.h"
#include "link_value_list.h"
#include "port_return.h"
#include "register_map.h"

#include <QFileDialog>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;
class TDialogFolders;
class TFSSyntaxRep;
class THistoryTab;
struct HistoryTabHooks;
class QtDispatcher;
class TLink1Thread;
class TLineGroup;
class TLinkValueList;
class TMeterFinderPanel;
class TModBusRegEditForm;
class TProgressBarForm;
class TTrafficTab;
class TPortReturnWaiter;
class TTrendsTab;
class TValueFreshness;

class TTMainForm : public QMainWindow, public LinkFront {
    Q_OBJECT
public:
    // `iniPath` is the INI file of the link settings; `ports` fills the
    // port drop-down list.
    TTMainForm(std::string iniPath, const std::vector<PortChoice>& ports,
               QWidget* parent = nullptr);
    ~TTMainForm() override;

    // The dialogs are created after the window; the window uses them from
    // then on and does not own them.
    void AttachDialogs(TModBusRegEditForm& edit, TProgressBarForm& progress, TFSSyntaxRep& report);

    void SetLinkSettingsTexts(const LinkSettingsTexts& texts);
    LinkSettingsTexts GetLinkSettingsTexts() const;

    // The row-data object of a list row, or nullptr.
    RegListItemData* RowData(int row) const;

    // LinkFront: the steps of the link thread's commands.
    void RefreshList(const std::string& parameterText) override;
    void PollFailed(bool noAnswer) override;
    void PollRepeating(int attempt, int attempts) override;
    void ShowStatus(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void PortLost(const std::string& message) override;
    void SetProgress(int position) override;
    void CloseProgress() override;
    std::string GetOpenFileName() override;
    std::string GetSaveFileName() override;
    void FillReport(const std::vector<std::string>& lines) override;
    ReportEnd ExecReport(bool offerVerify) override;
    void ShowVerifyResult(const VerifyResult& result) override;
    void ConfigurationRead(const ConfigReading& reading) override;

    // Controls, named by role.
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QAction* ExitMenuItem;
    QTableWidget* RegListView;
    QPushButton* SaveToNVRAMButton;
    QWidget* Link1GroupBox;
    TLinkValueList* Link1ValueList;
    QPushButton* Link1OpenButton;
    QPushButton* Link1CloseButton;
    QWidget* Panel1;
    QTimer* Timer1;
    QPushButton* LoadFactoryButton;
    QWidget* Panel2;
    QLabel* Image1;
    QPushButton* LoadVokParamsButton;
    QFileDialog* OpenVokParamsDialog;
    QPushButton* SaveVokParamsButton;
    QFileDialog* SaveVokParamsDialog;
    QLineEdit* EParValue;
    QLabel* Label1;
    QLabel* Image2;
    TTrendsTab* Trends; // the tab "Тренды"
    // Beside the value box: says that the last poll got no answer.
    QLabel* PollStatusLabel;
    TTrafficTab* TrafficTab = nullptr;       // the third tab, "Обмен"
    TMeterFinderPanel* MeterFinder = nullptr; // on the tab "Связь", below the link settings
    TLineGroup* LineGroup = nullptr;          // on the tab "Связь", below the meter finder
    THistoryTab* HistoryTab = nullptr;        // the last tab, "История"
    // Below the link settings: fast framing of the meter's answers, kept
    // in the INI file's section of its own.
    QCheckBox* FastFramingBox;
    // Beside it: the line's local echo, off, on or auto, in its own section.
    QComboBox* EchoModeBox;
    EchoMode ChosenEchoMode() const;
    // The last folder of each kind of file, for the file dialogs.
    TDialogFolders* DialogFolders = nullptr;

    MeterRegisters Registers;
    QtDispatcher* linkDispatcher_ = nullptr;
    std::unique_ptr<TLink1Thread> linkThread_;
    TLink1Thread* LinkThread = nullptr;
    RegListItemData* EditedRegData = nullptr;

    // Handlers.
    void EditSelectedReg();
    void SaveToNVRAMButtonClick();
    void LoadFactoryButtonClick();
    void LoadVokParamsButtonClick();
    void SaveVokParamsButtonClick();
    void Link1OpenButtonClick();
    void Link1CloseButtonClick();
    // The link is open again on the port that was lost.
    void LinkReopened();
    void OnTimer();
    void EnableServiceControls();
    void DisableServiceControls();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildServiceTab();
    void BuildLinkTab();
    void SetServiceControlsEnabled(bool enabled);
    void PostWithProgress(int command);
    // What the tab "История" needs of the window: the link and the load.
    HistoryTabHooks HistoryHooks();
    void FormClose();
    // Runs a handler; an exception that escapes it is reported and the
    // window goes on.
    void Guarded(const std::function<void()>& handler);

    std::string iniPath_;
    TModBusRegEditForm* editForm_ = nullptr;
    TProgressBarForm* progressForm_ = nullptr;
    TFSSyntaxRep* reportForm_ = nullptr;
    std::string openFileName_;
    std::string saveFileName_;
    std::unique_ptr<TValueFreshness> freshness_;
    // The port of the open link by its stable name, and the wait for it to
    // come back after it was lost ("Ждать порт").
    std::optional<PortReturn> portReturn_;
    TPortReturnWaiter* portWaiter_ = nullptr;
};
