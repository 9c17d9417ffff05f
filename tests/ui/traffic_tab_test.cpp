// The tab "Обмен" and the finder on the tab "Связь", with real widgets
// offscreen against the simulator.

#include "crc16.h"
#include "frozen_sim.h"
#include "link_value_list.h"
#include "meter_finder_panel.h"
#include "modal_answers.h"
#include "tarnel_forms.h"
#include "temp_dir.h"
#include "traffic_log_model.h"
#include "traffic_tab.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

namespace {

using namespace std::chrono_literals;

class TrafficWindowTest : public ::testing::Test {
protected:
    void CreateForms(MeterSimOptions options = {})
    {
        sim_ = StartFrozenSim(options);
        ASSERT_TRUE(sim_->Running());
        forms_ = std::make_unique<TarnelForms>(dir_.File("vok-tarnel.ini"), std::vector<PortChoice>{{"ttyS0"}});
        Form().show();
    }
    // The window, with the simulated meter at address 37 and 19200 baud.
    void CreateFormsWithMeter37()
    {
        MeterSimOptions options;
        options.address = 37;
        options.speed = 19200;
        CreateForms(options);
    }
    void TearDown() override
    {
        forms_.reset();
        sim_.reset();
    }

    TTMainForm& Form() { return *forms_->MainForm; }
    TTrafficTab& Tab() { return *Form().TrafficTab; }
    TrafficLogModel& Model() { return Tab().Model(); }
    TMeterFinderPanel& Finder() { return *Form().MeterFinder; }

    void Open(const std::string& speed = "115200", const std::string& address = "1")
    {
        Form().SetLinkSettingsTexts({sim_->PortPath(), speed, "200", address});
        Form().Link1OpenButton->click();
        ASSERT_TRUE(Form().Link1CloseButton->isEnabled());
    }

    // The first row at or after `from` whose direction and summary start so; -1 for none.
    int FindRow(const std::string& direction, const std::string& summary, int from = 0)
    {
        for (int row = from; row < Model().rowCount(); ++row) {
            const std::vector<std::string> texts = Model().RowTexts(row);
            if (texts[1] == direction && texts[3].rfind(summary, 0) == 0)
                return row;
        }
        return -1;
    }

    QString Statistic(const char* name)
    {
        QTableWidget* view = Tab().StatisticsView;
        for (int row = 0; row < view->rowCount(); ++row)
            for (int column = 0; column < view->columnCount(); column += 2)
                if (view->item(row, column) && view->item(row, column)->text() == QString::fromUtf8(name))
                    return view->item(row, column + 1)->text();
        return QStringLiteral("<none>");
    }

    TempDir dir_;
    std::unique_ptr<MeterSim> sim_;
    std::unique_ptr<TarnelForms> forms_;
};

} // namespace

TEST_F(TrafficWindowTest, TheThirdTabFollowsThePollsAndShowsErrorsInColour)
{
    CreateForms();
    EXPECT_EQ(Form().PageControl1->tabText(0), QStringLiteral("Сервис"));
    EXPECT_EQ(Form().PageControl1->tabText(1), QStringLiteral("Связь"));
    EXPECT_EQ(Form().PageControl1->tabText(2), QStringLiteral("Обмен"));
    EXPECT_EQ(Form().PageControl1->widget(2), &Tab());
    EXPECT_EQ(Model().rowCount(), 0);
    Open();
    ASSERT_TRUE(WaitUntil([&] { return FindRow("←", "ответ: 2 регистра, время ответа") >= 0; }, 10s));
    const std::vector<std::string> opened = Model().RowTexts(0);
    EXPECT_EQ(std::vector<std::string>(opened.begin() + 1, opened.end()),
              (std::vector<std::string>{"открыт", "", "порт открыт, 115200 бод"}));
    // The time of day with milliseconds, whole in its column.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"))
                    .match(QString::fromStdString(opened[0]))
                    .hasMatch())
        << opened[0];
    const auto fits = [](QTableView& view, int row, int column) {
        const QString text = view.model()->index(row, column).data().toString();
        return view.fontMetrics().horizontalAdvance(text) < view.columnWidth(column);
    };
    EXPECT_TRUE(fits(*Tab().TrafficView, 0, TrafficLogModel::TimeColumn));
    EXPECT_TRUE(fits(*Tab().TrafficView, 0, TrafficLogModel::DirectionColumn));
    const int request = FindRow("→", "чтение 2000×30");
    ASSERT_GE(request, 0);
    EXPECT_EQ(Model().RowTexts(request)[2], "01 03 07 D0 00 1E C5 4F");
    EXPECT_GE(FindRow("←", "ответ: 30 регистров, время ответа", request), request + 1);
    EXPECT_NE(Statistic("Запросы"), QStringLiteral("0"));
    EXPECT_EQ(Statistic("Ошибки CRC"), QStringLiteral("0"));
    EXPECT_EQ(Statistic("Пропущено записей"), QStringLiteral("0"));
    // A pseudo-terminal has no adapter timer to show.
    EXPECT_EQ(Statistic("Таймер задержки адаптера, мс"), QStringLiteral("<none>"));
    EXPECT_TRUE(Tab().LatencyHintLabel->isHidden());
    for (int row = 0; row < Tab().StatisticsView->rowCount(); ++row)
        for (int column = 0; column < Tab().StatisticsView->columnCount(); ++column)
            EXPECT_TRUE(fits(*Tab().StatisticsView, row, column)) << row << "," << column;

    // One damaged answer: its frame and the verdict stand out, the repeat
    // follows, and the statistics count it.
    sim_->SetBadCrcAnswers(1);
    ASSERT_TRUE(WaitUntil([&] { return FindRow("CRC", "ошибка CRC") >= 0; }, 10s));
    const int verdict = FindRow("CRC", "ошибка CRC");
    const int frame = verdict - 1;
    EXPECT_EQ(Model().RowTexts(frame)[3], "ошибка CRC");
    EXPECT_GE(FindRow("→", "", verdict), 0);
    ASSERT_TRUE(WaitUntil([&] { return Statistic("Ошибки CRC") == QStringLiteral("1"); }, 5s));
    EXPECT_EQ(Statistic("Повторы"), QStringLiteral("1"));
    const auto background = [&](int row) {
        return Model().data(Model().index(row, TrafficLogModel::SummaryColumn), Qt::BackgroundRole);
    };
    EXPECT_FALSE(background(request).isValid());
    ASSERT_TRUE(background(verdict).isValid());
    EXPECT_NE(background(verdict).value<QBrush>().color(), Tab().TrafficView->palette().base().color());
    EXPECT_EQ(Model().RowSeverity(verdict), TrafficSeverity::Error);
}

TEST_F(TrafficWindowTest, PauseClearSaveAndResetTheStatistics)
{
    CreateForms();
    Open();
    ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() > 10; }, 10s));

    Tab().PauseButton->click();
    ASSERT_TRUE(Tab().PauseButton->isChecked());
    const int paused = Model().rowCount();
    const std::size_t requests = sim_->RequestCount();
    ASSERT_TRUE(WaitUntil([&] { return sim_->RequestCount() >= requests + 5; }, 10s));
    Pump(2 * TTrafficTab::kDrainIntervalMs);
    EXPECT_EQ(Model().rowCount(), paused) << "a paused list takes nothing in";
    Tab().PauseButton->click();
    EXPECT_GE(Model().rowCount(), paused + 10) << "what came during the pause comes in after it";

    Tab().ClearButton->click();
    EXPECT_EQ(Model().rowCount(), 0);
    ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() >= 3; }, 10s));

    const std::string file = dir_.File("traffic.txt");
    ModalAnswers answers;
    answers.Expect(IsFileDialog, ModalAnswers::ChooseFile(file));
    Tab().SaveLogButton->click();
    EXPECT_TRUE(answers.Done());
    std::istringstream log(ReadText(file));
    std::string line;
    int lines = 0;
    while (std::getline(log, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        ASSERT_GE(cells.size(), 3u) << line;
        if (lines < Model().rowCount()) {
            const std::vector<std::string> shown = Model().RowTexts(lines);
            EXPECT_EQ(cells[0], shown[0]);
            EXPECT_EQ(cells[1], shown[1]);
        }
        ++lines;
    }
    EXPECT_GE(lines, 3);

    ASSERT_NE(Statistic("Запросы"), QStringLiteral("0"));
    Tab().ResetStatsButton->click();
    EXPECT_EQ(Statistic("Запросы"), QStringLiteral("0"));
    EXPECT_EQ(Statistic("Время ответа, мс (мин / медиана / макс)"), QStringLiteral("-"));
}

TEST(TrafficLogModel, KeepsTheLastTenThousandAndSaysWhatWasLost)
{
    TrafficLogModel model;
    std::vector<TrafficEntry> entries(TrafficLogModel::kMaxRows + 50);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].kind = TrafficKind::Request;
        entries[i].timeUs = static_cast<std::int64_t>(i) * 1000;
        entries[i].length = 0;
    }
    model.Append(entries, 0);
    ASSERT_EQ(model.rowCount(), static_cast<int>(TrafficLogModel::kMaxRows));
    // The first kept entry is the 51st: 9.999 s of clock time before the last.
    const auto msOfDay = [](const std::string& t) {
        return ((std::stoi(t.substr(0, 2)) * 60 + std::stoi(t.substr(3, 2))) * 60 + std::stoi(t.substr(6, 2))) * 1000 +
               std::stoi(t.substr(9, 3));
    };
    const int span = msOfDay(model.RowTexts(model.rowCount() - 1)[0]) - msOfDay(model.RowTexts(0)[0]);
    EXPECT_EQ((span + 86400000) % 86400000, 9999);

    // A frame taken as the answer carries its answer time; lost entries get a row.
    std::vector<std::uint8_t> bytes = {1, 3, 2, 0, 7, 0, 0};
    PutCrc(bytes.data(), 5);
    TrafficEntry frame;
    frame.kind = TrafficKind::Frame;
    frame.SetBytes(bytes.data(), bytes.size());
    TrafficEntry answer;
    answer.kind = TrafficKind::Answer;
    answer.detail = 1500;
    answer.length = 0;
    model.Append({frame, answer}, 7);
    const int last = model.rowCount() - 1;
    EXPECT_EQ(model.RowTexts(last - 1)[3], "ответ: 1 регистр, время ответа 1.500 мс");
    EXPECT_EQ(model.RowTexts(last)[3], "пропущено записей: 7");
    EXPECT_EQ(model.RowSeverity(last), TrafficSeverity::Error);
}

TEST_F(TrafficWindowTest, TheFinderFindsTheMeterAndPutsItIntoTheSettings)
{
    CreateFormsWithMeter37();
    TMeterFinderPanel& f = Finder();
    EXPECT_FALSE(Form().Link1GroupBox->isAncestorOf(f.FindMeterButton));
    EXPECT_EQ(f.FindMeterButton->text(), QStringLiteral("Найти влагомер"));
    // The settings' address at 9600 first, then at the other speeds: 19200 is the fifth probe.
    Form().SetLinkSettingsTexts({sim_->PortPath(), "9600", "200", "37"});
    ASSERT_TRUE(f.FindMeterButton->isEnabled());
    f.FindMeterButton->click();
    EXPECT_FALSE(Form().Link1OpenButton->isEnabled());
    EXPECT_TRUE(f.StopFindButton->isEnabled());
    EXPECT_FALSE(f.FindMeterButton->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return f.FindMeterButton->isEnabled(); }, 30s));
    EXPECT_EQ(f.FindStatusLabel->text(), QStringLiteral("Найдено влагомеров: 1"));
    ASSERT_EQ(f.FoundMetersView->rowCount(), 1);
    const QString shown[] = {"37", "19200", "20417.000000", "10712"};
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(f.FoundMetersView->item(0, column)->text(), shown[column]);
    // Five probes made of those planned: the bar does not claim the rest.
    EXPECT_EQ(f.FindProgress->value(), 5);
    EXPECT_GT(f.FindProgress->maximum(), 5);
    EXPECT_EQ(f.FindProgress->text(), QStringLiteral("5 из %1").arg(f.FindProgress->maximum()));
    EXPECT_TRUE(Form().Link1OpenButton->isEnabled());
    EXPECT_FALSE(f.StopFindButton->isEnabled());

    ASSERT_TRUE(f.UseMeterButton->isEnabled());
    f.UseMeterButton->click();
    EXPECT_EQ(Form().GetLinkSettingsTexts(), (LinkSettingsTexts{sim_->PortPath(), "19200", "200", "37"}));
    Form().Link1OpenButton->click();
    ASSERT_TRUE(Form().Link1CloseButton->isEnabled());
    EXPECT_FALSE(f.FindMeterButton->isEnabled()) << "no scan while the link is open";
    ASSERT_TRUE(WaitUntil([&] { return Form().RegListView->item(0, 3)->text() == "20417.000000"; }, 10s));
    Form().Link1CloseButton->click();
    EXPECT_TRUE(f.FindMeterButton->isEnabled());

    // Another port: the meters found on this one are no longer listed.
    Form().SetLinkSettingsTexts({"ttyS0", "19200", "200", "37"});
    EXPECT_EQ(f.FoundMetersView->rowCount(), 0);
    EXPECT_FALSE(f.UseMeterButton->isEnabled());
    EXPECT_EQ(f.FindProgress->value(), 0);
}

TEST_F(TrafficWindowTest, TheFinderStopsAtOnceAndNeedsAPort)
{
    CreateFormsWithMeter37();
    TMeterFinderPanel& f = Finder();
    {
        ModalAnswers answers;
        answers.ExpectBox(QStringLiteral("Неверное значение имени порта"), QMessageBox::Ok);
        Form().SetLinkSettingsTexts({"", "115200", "200", "1"});
        f.FindMeterButton->click();
        EXPECT_TRUE(answers.Done());
        EXPECT_TRUE(f.FindMeterButton->isEnabled());
    }
    // Address 1 first at every speed, then 2.. at 115200: the meter is far off.
    Form().SetLinkSettingsTexts({sim_->PortPath(), "115200", "200", "1"});
    f.FindMeterButton->click();
    ASSERT_TRUE(f.StopFindButton->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return f.FindProgress->value() >= 8; }, 10s));
    const auto stopped = std::chrono::steady_clock::now();
    f.StopFindButton->click();
    ASSERT_TRUE(WaitUntil([&] { return f.FindMeterButton->isEnabled(); }, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 3s) << "the rest of the scan takes over a minute";
    EXPECT_TRUE(f.FindStatusLabel->text().startsWith(QStringLiteral("Поиск остановлен"))) << f.FindStatusLabel->text().toStdString();
    EXPECT_GE(f.FindProgress->value(), 8);
    EXPECT_LT(f.FindProgress->value(), f.FindProgress->maximum()) << "a stopped scan did not make every probe";
    EXPECT_EQ(f.FoundMetersView->rowCount(), 0);
    EXPECT_TRUE(Form().Link1OpenButton->isEnabled());
    EXPECT_FALSE(f.UseMeterButton->isEnabled());
}

TEST_F(TrafficWindowTest, TheFinderIsAsQuickAfterAMeterStalledAsInAFreshProgram)
{
    CreateFormsWithMeter37();
    TMeterFinderPanel& f = Finder();
    Open("19200", "37");
    ASSERT_TRUE(WaitUntil([&] { return Form().RegListView->item(0, 3)->text() == "20417.000000"; }, 10s));
    // One answer seconds late: the link repeats meanwhile and learns how
    // slow the meter was; then it is answered again.
    const auto stalled = std::chrono::steady_clock::now();
    sim_->SetLateAnswer(1, 3000);
    ASSERT_TRUE(WaitUntil([&] { return std::chrono::steady_clock::now() - stalled > 3500ms; }, 10s));
    const int after = Model().rowCount();
    ASSERT_TRUE(WaitUntil([&] { return FindRow("←", "ответ: ", after) >= 0; }, 20s));
    Form().Link1CloseButton->click();
    ASSERT_TRUE(f.FindMeterButton->isEnabled());

    // The meter is the fifth probe: a finder that still waited for the slow
    // answer at every opening of the port would take over 20 s. The polls
    // the window queued meanwhile end first: until then the finder is
    // refused with a message, which is dismissed here.
    Form().SetLinkSettingsTexts({sim_->PortPath(), "9600", "200", "37"});
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] {
        ModalAnswers busy;
        started = std::chrono::steady_clock::now();
        f.FindMeterButton->click();
        return f.StopFindButton->isEnabled();
    }, 10s));
    ASSERT_TRUE(WaitUntil([&] { return f.FindMeterButton->isEnabled(); }, 60s));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 12s);
    EXPECT_EQ(f.FindStatusLabel->text(), QStringLiteral("Найдено влагомеров: 1"));
    EXPECT_EQ(f.FindProgress->value(), 5);
}

TEST_F(TrafficWindowTest, ASlowAdapterTimerIsShownWithAdviceWhileFramingBySilence)
{
    CreateForms();
    ASSERT_FALSE(Form().FastFramingBox->isChecked()) << "the test starts framing by silence";
    const std::string command = "echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
    Tab().SetAdapterLatency(AdapterLatency{16, command});
    EXPECT_EQ(Statistic("Таймер задержки адаптера, мс"), QStringLiteral("16"));
    EXPECT_FALSE(Tab().LatencyHintLabel->isHidden());
    EXPECT_TRUE(Tab().LatencyHintLabel->text().contains(QString::fromStdString(command)))
        << Tab().LatencyHintLabel->text().toStdString();
    // Within the page, as large as the panel of the tab "Связь".
    EXPECT_TRUE(Form().Panel1->rect().contains(Tab().LatencyHintLabel->geometry()));

    Form().FastFramingBox->setChecked(true); // the advice is taken
    EXPECT_TRUE(Tab().LatencyHintLabel->isHidden());
    Form().FastFramingBox->setChecked(false);
    EXPECT_FALSE(Tab().LatencyHintLabel->isHidden());

    Tab().SetAdapterLatency(std::nullopt); // another port, without a timer
    EXPECT_EQ(Statistic("Таймер задержки адаптера, мс"), QStringLiteral("<none>"));
    EXPECT_TRUE(Tab().LatencyHintLabel->isHidden());
}
