// The tab "История" in the window against the simulator, on a history file
// of the test's own: snapshots by hand, their differences, "Восстановить"
// with its preview, the PDF report, the snapshot as found at the first poll,
// and the window and vokctl writing the one store at the same time.

#include "frozen_sim.h"
#include "history_tab.h"
#include "meter_sim.h"
#include "modal_answers.h"
#include "tarnel_forms.h"
#include "temp_dir.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/wait.h>

namespace {

// Runs a shell command; its standard output and exit status.
std::pair<std::string, int> RunShell(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return {"", -1};
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = ::pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

class HistoryTabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
        WriteText(ini_, iniText_);
        sim_ = StartFrozenSim();
        ASSERT_TRUE(sim_->Running());
        forms_ = std::make_unique<TarnelForms>(ini_, std::vector<PortChoice>{{"ttyS0"}});
        Form().show();
        Form().SetLinkSettingsTexts({sim_->PortPath(), "115200", "200", "1"});
        Form().Link1OpenButton->click();
        ASSERT_TRUE(Form().Link1CloseButton->isEnabled());
        ASSERT_NE(Form().HistoryTab, nullptr);
        ASSERT_TRUE(Tab().Store().IsUsable()) << Tab().Store().FailureMessage();
    }
    void TearDown() override
    {
        forms_.reset();
        sim_.reset();
        ::unsetenv("XDG_DATA_HOME");
    }
    TTMainForm& Form() { return *forms_->MainForm; }
    THistoryTab& Tab() { return *Form().HistoryTab; }

    // "Снять конфигурацию" and the row it adds to the list of its meter, which
    // the tab then shows (vokctl may add rows of its own meanwhile).
    void TakeSnapshot()
    {
        const std::size_t before = SnapshotsOfWindow();
        ASSERT_TRUE(WaitUntil([&] { return Tab().TakeSnapshotButton->isEnabled(); }));
        Tab().TakeSnapshotButton->click();
        ASSERT_TRUE(WaitUntil([&] { return SnapshotsOfWindow() > before; }))
            << Tab().StatusLabel->text().toStdString();
    }
    // The snapshots in the store that vokctl did not take.
    std::size_t SnapshotsOfWindow()
    {
        std::size_t count = 0;
        for (const MeterSummary& m : Tab().Store().Meters())
            for (const SnapshotSummary& s : Tab().Store().SnapshotsOfMeter(m.id))
                count += s.note != "cli";
        return count;
    }
    void Choose(std::initializer_list<int> rows)
    {
        Tab().SnapshotsView->clearSelection();
        for (const int row : rows)
            Tab().SnapshotsView->selectionModel()->select(Tab().SnapshotsView->model()->index(row, 0),
                                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    std::int64_t IdOfRow(int row) { return Tab().SnapshotsView->item(row, 0)->text().toLongLong(); }

    TempDir dir_;
    std::string ini_ = dir_.File("vok-tarnel.ini");
    // The snapshot as found is off, so that only the test's own snapshots
    // are in the store.
    std::string iniText_ = "[History]\nAsFound=0\n";
    std::unique_ptr<MeterSim> sim_;
    std::unique_ptr<TarnelForms> forms_;
};

// A user's INI file without the key: the snapshot as found is on.
class HistoryTabAsFoundTest : public HistoryTabTest {
protected:
    HistoryTabAsFoundTest() { iniText_ = "[Link1]\nAddress=1\n"; }
};

} // namespace

TEST_F(HistoryTabAsFoundTest, TheFirstPollOfAMeterLeavesOneSnapshotAsFoundUntilTheBoxIsCleared)
{
    ASSERT_TRUE(Tab().AsFoundBox->isChecked());
    const auto asFound = [&] {
        std::vector<SnapshotSummary> found;
        for (const MeterSummary& m : Tab().Store().Meters())
            for (const SnapshotSummary& s : Tab().Store().SnapshotsOfMeter(m.id))
                if (s.kind == SnapshotKind::AsFound)
                    found.push_back(s);
        return found;
    };
    ASSERT_TRUE(WaitUntil([&] { return asFound().size() == 1; }));
    EXPECT_EQ(asFound()[0].serial, "20417.000000");
    // Polls of the same meter go on; a snapshot by hand is no second one as found.
    TakeSnapshot();
    EXPECT_EQ(asFound().size(), 1u);

    // Cleared, kept in the INI file, and a new open leaves none.
    Tab().AsFoundBox->setChecked(false);
    EXPECT_NE(ReadText(ini_).find("[History]\nAsFound=0\n"), std::string::npos) << ReadText(ini_);
    Form().Link1CloseButton->click();
    Form().Link1OpenButton->click();
    ASSERT_TRUE(Form().Link1CloseButton->isEnabled());
    // Closing greyed the values; the first poll of the new open shows them current.
    ASSERT_TRUE(WaitUntil([&] { return !Form().RegListView->item(0, 3)->data(Qt::ForegroundRole).isValid(); }));
    TakeSnapshot();
    EXPECT_EQ(asFound().size(), 1u);
}

TEST_F(HistoryTabTest, TwoSnapshotsShowTheirDifferencesAndRestoreBringsTheFirstBack)
{
    TakeSnapshot();
    const float oilAdjust = sim_->Float(2022);
    sim_->SetFloat(2022, oilAdjust + 2.0f);
    TakeSnapshot();
    EXPECT_EQ(Tab().MetersView->rowCount(), 1);
    EXPECT_EQ(Tab().MetersView->item(0, 3)->text(), QStringLiteral("2"));

    Choose({0, 1});
    ASSERT_EQ(Tab().DiffView->rowCount(), 1);
    EXPECT_EQ(Tab().DiffView->item(0, 1)->text(), QStringLiteral("2023"));
    EXPECT_EQ(Tab().DiffView->item(0, 2)->text(), QStringLiteral("Oil Adjust, %"));
    EXPECT_EQ(Tab().DiffView->item(0, 3)->text().toFloat(), oilAdjust);
    EXPECT_EQ(Tab().DiffView->item(0, 4)->text().toFloat(), oilAdjust + 2.0f);
    EXPECT_FALSE(Tab().RestoreButton->isEnabled()); // one snapshot at a time
    EXPECT_TRUE(Tab().ReportButton->isEnabled());

    // "Восстановить": the preview names the change; No leaves the meter, Yes loads.
    Choose({0});
    ASSERT_TRUE(Tab().RestoreButton->isEnabled());
    for (const auto button : {QMessageBox::No, QMessageBox::Yes}) {
        ModalAnswers answers;
        QString details;
        answers.Expect([](QWidget* w) { return w->objectName() == QStringLiteral("RestoreConfirmBox"); },
                       [&](QWidget* w) {
                           auto* box = qobject_cast<QMessageBox*>(w);
                           details = box->detailedText();
                           box->button(button)->click();
                       });
        if (button == QMessageBox::Yes)
            answers.Expect([&](QWidget* w) { return w == forms_->FSSyntaxRep.get(); },
                           [&](QWidget*) { forms_->FSSyntaxRep->close(); });
        Tab().RestoreButton->click();
        ASSERT_TRUE(WaitUntil([&] { return answers.Done(); }, std::chrono::seconds(60)));
        EXPECT_NE(details.indexOf(QStringLiteral("2023 Oil Adjust, %")), -1) << details.toStdString();
        EXPECT_EQ(sim_->Float(2022), button == QMessageBox::Yes ? oilAdjust : oilAdjust + 2.0f);
    }
    // The preview's read is no snapshot.
    EXPECT_EQ(Tab().SnapshotsView->rowCount(), 2);
}

TEST_F(HistoryTabTest, TheReportIsAPdfWhoseTextHoldsTheSerialAndTheChangedValue)
{
    TakeSnapshot();
    const std::int64_t before = IdOfRow(0);
    sim_->SetFloat(2000, 31000.0f);
    TakeSnapshot(); // a meter of its own now, shown with this one snapshot
    ASSERT_EQ(Tab().MetersView->rowCount(), 2);
    ASSERT_EQ(Tab().SnapshotsView->rowCount(), 1);
    const std::int64_t after = IdOfRow(0);
    ASSERT_NE(before, after);
    const std::string pdf = dir_.File("report.pdf");
    ASSERT_TRUE(Tab().WriteReport(before, after, QString::fromStdString(pdf)));

    const auto [info, infoStatus] = RunShell("pdfinfo '" + pdf + "'");
    ASSERT_EQ(infoStatus, 0) << info;
    EXPECT_NE(info.find("A4"), std::string::npos) << info;
    const auto [fonts, fontsStatus] = RunShell("pdffonts '" + pdf + "'");
    ASSERT_EQ(fontsStatus, 0);
    EXPECT_NE(fonts.find(" yes "), std::string::npos) << fonts; // embedded
    const auto [text, textStatus] = RunShell("pdftotext -layout '" + pdf + "' -");
    ASSERT_EQ(textStatus, 0);
    for (const char* expected : {"31000", "Серийный номер", "20417", "Сервисный отчёт", "2001"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    // The HTML of vokctl holds the same table.
    const std::string html = dir_.File("report.html");
    const auto [out, status] = RunShell(std::string(VOKCTL_PATH) + " report " + std::to_string(before) + " " +
                                   std::to_string(after) + " -o '" + html + "'");
    ASSERT_EQ(status, 0) << out;
    const std::string page = ReadText(html);
    EXPECT_NE(page.find("<td class=\"num\">2001</td><td>Серийный номер</td><td>float</td><td class=\"num\">20417"
                        "</td><td class=\"num\">31000</td>"),
              std::string::npos);
}

TEST_F(HistoryTabTest, TheWindowAndVokctlWriteTheStoreAtTheSameTime)
{
    // vokctl keeps a second meter's history while the window takes its own
    // snapshots: both land, neither meets a locked database.
    std::unique_ptr<MeterSim> second = StartFrozenSim();
    ASSERT_TRUE(second->Running());
    const std::string snapshot = std::string(VOKCTL_PATH) + " --port '" + second->PortPath() +
                                 "' --speed 115200 --timeout 200 --address 1 snapshot --note cli";
    const std::string log = dir_.File("cli.err");
    FILE* background = ::popen(("for i in 1 2 3 4 5 6 7 8; do " + snapshot + " >/dev/null 2>>'" + log +
                                "'; echo rc=$? >>'" + log + "'; done")
                                   .c_str(),
                               "r");
    ASSERT_NE(background, nullptr);
    for (int i = 0; i < 4; ++i)
        TakeSnapshot();
    ::pclose(background);
    const std::string err = ReadText(log);
    std::size_t good = 0;
    for (std::size_t at = err.find("rc=0\n"); at != std::string::npos; at = err.find("rc=0\n", at + 1))
        ++good;
    EXPECT_EQ(good, 8u) << err;
    EXPECT_EQ(Tab().Store().TakeFailureMessage(), "");
    std::size_t cli = 0, window = 0;
    for (const MeterSummary& m : Tab().Store().Meters())
        for (const SnapshotSummary& s : Tab().Store().SnapshotsOfMeter(m.id))
            ++(s.note == "cli" ? cli : window);
    EXPECT_EQ(cli, 8u);
    EXPECT_EQ(window, 4u);
    EXPECT_EQ(Tab().Store().IntegrityCheck(), "ok");
}
