#include "frozen_sim.h"
#include "meter_sim.h"
#include "modal_answers.h"
#include "tarnel_forms.h"
#include "temp_dir.h"
#include "trend_chart_view.h"
#include "trend_lines_item.h"
#include "trends_tab.h"

#include <QChart>
#include <QCheckBox>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QValueAxis>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

std::size_t LineCount(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class TrendsTabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = StartFrozenSim();
        ASSERT_TRUE(sim_->Running());
        forms_ = std::make_unique<TarnelForms>(dir_.File("vok-tarnel.ini"), std::vector<std::string>{"ttyS0"});
        Form().show();
    }
    void TearDown() override
    {
        forms_.reset();
        sim_.reset();
    }
    TTMainForm& Form() { return *forms_->MainForm; }
    TTrendsTab& Tab() { return *Form().Trends; }
    void Open()
    {
        Form().SetLinkSettingsTexts({sim_->PortPath(), "115200", "200", "1"});
        Form().Link1OpenButton->click();
        ASSERT_TRUE(Form().Link1CloseButton->isEnabled());
    }
    QStringList Shown()
    {
        QStringList names;
        for (QAbstractSeries* s : Tab().Chart->series())
            names << s->name();
        return names;
    }

    TempDir dir_;
    std::unique_ptr<MeterSim> sim_;
    std::unique_ptr<TarnelForms> forms_;
};

} // namespace

TEST_F(TrendsTabTest, ALineForEachCheckedFloatRowThinnedToTheWidth)
{
    TTrendsTab& tab = Tab();
    // The fourth tab, after "Обмен".
    ASSERT_EQ(Form().PageControl1->indexOf(&tab), 3);
    EXPECT_EQ(Form().PageControl1->tabText(3), QStringLiteral("Тренды"));
    ASSERT_EQ(tab.RowCheckBoxes.size(), 11u);
    EXPECT_EQ(Shown(), (QStringList{"Температура среды, С°", "Обводненность, %"}));
    QCheckBox* board = tab.RowCheckBoxes.back();
    ASSERT_EQ(board->text(), QStringLiteral("Температура платы, С°"));
    board->setChecked(true);
    EXPECT_EQ(Shown().size(), 3);
    EXPECT_TRUE(tab.SeriesOf(board)->attachedAxes().contains(tab.TemperatureAxis));
    EXPECT_TRUE(tab.SeriesOf(tab.RowCheckBoxes[7])->attachedAxes().contains(tab.ValueAxis)); // water cut
    board->setChecked(false);
    EXPECT_EQ(Shown().size(), 2);

    // A day at one sample a second, with a spike, shown whole.
    Form().PageControl1->setCurrentWidget(&tab);
    tab.PauseButton->click();
    ASSERT_FALSE(tab.Following());
    EXPECT_EQ(tab.PauseButton->text(), QStringLiteral("Продолжить"));
    const auto start = std::chrono::system_clock::now() - std::chrono::hours(24);
    for (int s = 0; s < 86'400; ++s) {
        Form().Registers.WaterCut.Set(static_cast<float>(10 + std::sin(s / 600.0) + (s == 40'000 ? 30 : 0)));
        Form().Registers.MediumTemperature.Set(static_cast<float>(20 + s % 7));
        tab.AddPollAt(start + std::chrono::seconds(s), "NAN");
    }
    ASSERT_EQ(tab.History().Size(), 86'400u);
    tab.ShowRange(tab.History().FirstTime(), tab.History().LastTime());
    Pump(50);
    const int width = static_cast<int>(tab.Chart->plotArea().width());
    ASSERT_GT(width, 100);
    const std::vector<TrendPoint>& points = tab.DrawnPoints(tab.RowCheckBoxes[7]); // water cut
    EXPECT_LE(points.size(), 2u * width + 2);
    EXPECT_GT(points.size(), static_cast<std::size_t>(width));
    const auto [low, high] = std::minmax_element(points.begin(), points.end(),
                                                 [](TrendPoint a, TrendPoint b) { return a.value < b.value; });
    EXPECT_FLOAT_EQ(high->value, 10 + static_cast<float>(std::sin(40'000 / 600.0)) + 30);
    EXPECT_NEAR(low->value, 9.0, 1e-4);
    EXPECT_EQ(tab.LinesItem->Lines().size(), 2u);
    EXPECT_EQ(tab.LinesItem->Lines()[1].points.size(), static_cast<qsizetype>(points.size()));
    EXPECT_GE(tab.TemperatureAxis->max(), 26.0);
    EXPECT_LE(tab.TemperatureAxis->min(), 20.0);

    // The wheel zooms into the time axis; resuming follows the newest poll.
    const double span = tab.TimeAxis->max().toMSecsSinceEpoch() - tab.TimeAxis->min().toMSecsSinceEpoch();
    QWidget* viewport = tab.ChartView->viewport();
    const QPointF at = tab.Chart->plotArea().center();
    QWheelEvent wheel(at, viewport->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    EXPECT_NEAR(tab.TimeAxis->max().toMSecsSinceEpoch() - tab.TimeAxis->min().toMSecsSinceEpoch(), span * 0.8,
                span * 0.01);
    // A rectangle zooms into its time range and its values.
    const QRectF plot = tab.Chart->plotArea();
    const double valueSpan = tab.ValueAxis->max() - tab.ValueAxis->min();
    const QPointF corner1 = plot.topLeft() + QPointF(plot.width() / 4, plot.height() / 4);
    const QPointF corner2 = plot.topLeft() + QPointF(plot.width() / 2, plot.height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, corner1, viewport->mapToGlobal(corner1), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, corner2, viewport->mapToGlobal(corner2), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, corner2, viewport->mapToGlobal(corner2), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    for (QMouseEvent* e : {&press, &move, &release})
        QApplication::sendEvent(viewport, e);
    Pump(20);
    EXPECT_NEAR(tab.TimeAxis->max().toMSecsSinceEpoch() - tab.TimeAxis->min().toMSecsSinceEpoch(), span * 0.8 / 4,
                span * 0.01);
    EXPECT_NEAR(tab.ValueAxis->max() - tab.ValueAxis->min(), valueSpan / 4, valueSpan * 0.01);
    EXPECT_LE(tab.DrawnPoints(tab.RowCheckBoxes[7]).size(), 2u * width + 2);

    tab.PauseButton->click();
    EXPECT_TRUE(tab.Following());
    EXPECT_EQ(tab.TimeAxis->max().toMSecsSinceEpoch(), tab.History().LastTime());
    EXPECT_EQ(tab.TimeAxis->max().toMSecsSinceEpoch() - tab.TimeAxis->min().toMSecsSinceEpoch(),
              TTrendsTab::kFollowSpanMs);
}

TEST_F(TrendsTabTest, RecordingFollowsThePollsAndAFileThatFailsStopsItOnly)
{
    Open();
    Form().Timer1->setInterval(200); // polls come faster; the steps are the same
    TTrendsTab& tab = Tab();
    const std::string path = dir_.File("trend.csv");
    ModalAnswers answers;
    answers.Expect(IsFileDialog, ModalAnswers::ChooseFile(path));
    tab.RecordButton->click();
    ASSERT_TRUE(answers.Done());
    ASSERT_TRUE(tab.Recording());
    EXPECT_EQ(tab.RecordButton->text(), QStringLiteral("Остановить запись"));
    EXPECT_TRUE(tab.RecordFileLabel->text().contains(QString::fromStdString(path)));
    ASSERT_TRUE(WaitUntil([&] { return LineCount(ReadText(path)) >= 3; }));

    // The file cannot grow any more: the next record fails, one box says so.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = static_cast<rlim_t>(ReadText(path).size());
    setrlimit(RLIMIT_FSIZE, &limit);
    QString message;
    answers.Expect([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                   [&](QWidget* w) {
                       message = qobject_cast<QMessageBox*>(w)->text();
                       qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
                   });
    const bool stopped = WaitUntil([&] { return answers.Done(); });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(stopped);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Запись в файл %1 остановлена: ").arg(QString::fromStdString(path))))
        << message.toStdString();
    EXPECT_FALSE(tab.Recording());
    EXPECT_EQ(tab.RecordButton->text(), QStringLiteral("Начать запись"));
    EXPECT_TRUE(tab.RecordFileLabel->text().isEmpty());
    const std::string kept = ReadText(path);
    EXPECT_EQ(kept.back(), '\n');
    // The polls go on, with nothing more in the file.
    const std::size_t samples = tab.History().Size();
    ASSERT_TRUE(WaitUntil([&] { return tab.History().Size() >= samples + 2; }));
    EXPECT_EQ(ReadText(path), kept);
}

TEST_F(TrendsTabTest, TheLoadReportVerifiesTheFileBelowItsOwnLines)
{
    Open();
    const std::string file = dir_.File("p.txt");
    WriteText(file, "2021 float 2.75\r\n42102 ushort 5\r\n");
    TFSSyntaxRep& report = *forms_->FSSyntaxRep;
    ModalAnswers answers;
    answers.ExpectBox(QStringLiteral("Вы уверены?"), QMessageBox::Yes);
    answers.Expect(IsFileDialog, ModalAnswers::ChooseFile(file));
    answers.Expect([&](QWidget* w) { return w == &report; },
                   [&](QWidget*) {
                       ASSERT_TRUE(report.VerifyButton->isVisible());
                       report.VerifyButton->click();
                   });
    QString text;
    answers.Expect([&](QWidget* w) { return w == &report && report.Memo->toPlainText().contains("Проверка"); },
                   [&](QWidget*) {
                       text = report.Memo->toPlainText();
                       report.close();
                   });
    Form().LoadVokParamsButton->click();
    ASSERT_TRUE(WaitUntil([&] { return answers.Done(); }));
    EXPECT_EQ(text, QStringLiteral("Запись по адресу 2021 выполнена.\nЗапись по адресу 42102 выполнена.\n"
                                   "Применена команда загрузки конфигурации (без записи в NVRAM).\n"
                                   "Проверка: все значения совпадают (2)."));
    EXPECT_FALSE(report.isVisible());
}
