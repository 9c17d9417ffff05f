#include "frozen_sim.h"
#include "meter_sim.h"
#include "modal_answers.h"
#include "tarnel_forms.h"
#include "temp_dir.h"
#include "trend_chart.h"
#include "trends_tab.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

using Side = TTrendChart::Side;

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
        forms_ = std::make_unique<TarnelForms>(dir_.File("vok-tarnel.ini"), std::vector<PortChoice>{{"ttyS0"}});
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
        for (const TTrendChart::Line& line : Tab().Chart->Lines())
            names << line.name;
        return names;
    }
    const TTrendChart::Line& LineOf(const QString& name)
    {
        for (const TTrendChart::Line& line : Tab().Chart->Lines())
            if (line.name == name)
                return line;
        ADD_FAILURE() << "no line " << name.toStdString();
        static const TTrendChart::Line none{};
        return none;
    }
    std::int64_t Span() { return Tab().Chart->TimeTo() - Tab().Chart->TimeFrom(); }
    void Send(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QWidget* chart = Tab().Chart;
        QMouseEvent event(type, at, chart->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(chart, &event);
    }
    void Wheel(QPointF at, int delta)
    {
        QWidget* chart = Tab().Chart;
        QWheelEvent wheel(at, chart->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(chart, &wheel);
    }
    void DragRectangle(QPointF from, QPointF to)
    {
        Send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        Send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        Send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    // A day at one sample a second, with a spike, in the history (paused,
    // so that the day is not drawn poll by poll).
    void FillDay()
    {
        if (Tab().Following())
            Tab().PauseButton->click();
        const auto start = std::chrono::system_clock::now() - std::chrono::hours(24);
        for (int s = 0; s < 86'400; ++s) {
            Form().Registers.WaterCut.Set(static_cast<float>(10 + std::sin(s / 600.0) + (s == 40'000 ? 30 : 0)));
            Form().Registers.MediumTemperature.Set(static_cast<float>(20 + s % 7));
            Tab().AddPollAt(start + std::chrono::seconds(s), "NAN");
        }
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
    EXPECT_EQ(LineOf(board->text()).side, Side::Right);
    EXPECT_EQ(LineOf(QStringLiteral("Обводненность, %")).side, Side::Left);
    board->setChecked(false);
    EXPECT_EQ(Shown().size(), 2);

    // A day shown whole.
    Form().PageControl1->setCurrentWidget(&tab);
    tab.PauseButton->click();
    ASSERT_FALSE(tab.Following());
    EXPECT_EQ(tab.PauseButton->text(), QStringLiteral("Продолжить"));
    FillDay();
    ASSERT_EQ(tab.History().Size(), 86'400u);
    tab.ShowRange(tab.History().FirstTime(), tab.History().LastTime());
    Pump(50);
    const int width = static_cast<int>(tab.Chart->PlotArea().width());
    ASSERT_GT(width, 100);
    const std::vector<TrendPoint>& points = tab.DrawnPoints(tab.RowCheckBoxes[7]); // water cut
    EXPECT_LE(points.size(), 2u * width + 2);
    EXPECT_GT(points.size(), static_cast<std::size_t>(width));
    const auto [low, high] = std::minmax_element(points.begin(), points.end(),
                                                 [](TrendPoint a, TrendPoint b) { return a.value < b.value; });
    EXPECT_FLOAT_EQ(high->value, 10 + static_cast<float>(std::sin(40'000 / 600.0)) + 30);
    EXPECT_NEAR(low->value, 9.0, 1e-4);
    EXPECT_EQ(LineOf(QStringLiteral("Обводненность, %")).points.size(), points.size());
    EXPECT_GE(tab.Chart->Axis(Side::Right).max, 26.0);
    EXPECT_LE(tab.Chart->Axis(Side::Right).min, 20.0);
    EXPECT_GE(tab.Chart->Axis(Side::Left).max, 40.0);

    // The wheel zooms into the time axis; resuming follows the newest poll.
    const double span = static_cast<double>(Span());
    Wheel(tab.Chart->PlotArea().center(), 120);
    EXPECT_NEAR(static_cast<double>(Span()), span * 0.8, span * 0.01);
    // A rectangle zooms into its time range and its values.
    const QRectF plot = tab.Chart->PlotArea();
    const double valueSpan = tab.Chart->Axis(Side::Left).max - tab.Chart->Axis(Side::Left).min;
    DragRectangle(plot.topLeft() + QPointF(plot.width() / 4, plot.height() / 4),
                  plot.topLeft() + QPointF(plot.width() / 2, plot.height() / 2));
    Pump(20);
    EXPECT_NEAR(static_cast<double>(Span()), span * 0.8 / 4, span * 0.01);
    EXPECT_NEAR(tab.Chart->Axis(Side::Left).max - tab.Chart->Axis(Side::Left).min, valueSpan / 4, valueSpan * 0.01);
    EXPECT_LE(tab.DrawnPoints(tab.RowCheckBoxes[7]).size(), 2u * width + 2);
    // The right button zooms out, twice the span.
    Send(QEvent::MouseButtonPress, plot.center(), Qt::RightButton, Qt::RightButton);
    Send(QEvent::MouseButtonRelease, plot.center(), Qt::RightButton, Qt::NoButton);
    EXPECT_NEAR(static_cast<double>(Span()), span * 0.8 / 2, span * 0.01);
    EXPECT_NEAR(tab.Chart->Axis(Side::Left).max - tab.Chart->Axis(Side::Left).min, valueSpan / 2, valueSpan * 0.01);

    tab.PauseButton->click();
    EXPECT_TRUE(tab.Following());
    EXPECT_EQ(tab.Chart->TimeTo(), tab.History().LastTime());
    EXPECT_EQ(Span(), TTrendsTab::kFollowSpanMs);
}

TEST_F(TrendsTabTest, TicksStayAtRoundStepsAfterEveryZoom)
{
    TTrendsTab& tab = Tab();
    Form().PageControl1->setCurrentWidget(&tab);
    tab.RowCheckBoxes.back()->setChecked(true); // the board's temperature, at the right
    FillDay();
    tab.ShowRange(tab.History().FirstTime(), tab.History().LastTime());
    const QRectF plot = tab.Chart->PlotArea();
    const auto at = [&](double x, double y) { return plot.topLeft() + QPointF(plot.width() * x, plot.height() * y); };
    const struct {
        const char* name;
        std::function<void()> zoom;
    } cases[] = {
        {"the whole day", [] {}},
        {"an odd rectangle", [&] { DragRectangle(at(0.137, 0.211), at(0.583, 0.377)); }},
        {"the wheel, in", [&] { Wheel(at(0.31, 0.5), 120); }},
        {"a thin rectangle", [&] { DragRectangle(at(0.4, 0.48), at(0.403, 0.521)); }},
        {"the wheel, in to the shortest span", [&] { for (int i = 0; i < 40; ++i) Wheel(at(0.77, 0.5), 120); }},
        {"the right button", [&] {
             Send(QEvent::MouseButtonPress, at(0.5, 0.5), Qt::RightButton, Qt::RightButton);
             Send(QEvent::MouseButtonRelease, at(0.5, 0.5), Qt::RightButton, Qt::NoButton);
         }},
        {"the wheel, out", [&] { for (int i = 0; i < 7; ++i) Wheel(at(0.2, 0.5), -120); }},
    };
    const std::int64_t timeSteps[] = {1'000, 2'000, 5'000, 10'000, 15'000, 30'000, 60'000, 120'000, 300'000,
                                      600'000, 900'000, 1'800'000, 3'600'000, 7'200'000, 10'800'000,
                                      21'600'000, 43'200'000, 86'400'000};
    for (const auto& c : cases) {
        c.zoom();
        const TTrendChart& chart = *tab.Chart;
        // Times: evenly spaced by a round step, on the local clock's multiples of it.
        const std::vector<std::int64_t> times = chart.TimeTicks();
        ASSERT_GE(times.size(), 2u) << c.name;
        const std::int64_t step = times[1] - times[0];
        EXPECT_NE(std::find(std::begin(timeSteps), std::end(timeSteps), step), std::end(timeSteps))
            << c.name << ": " << step;
        const std::int64_t offset = QDateTime::fromMSecsSinceEpoch(times[0]).offsetFromUtc() * 1000LL;
        EXPECT_EQ((times[0] + offset) % step, 0) << c.name;
        EXPECT_GE(times.front(), chart.TimeFrom()) << c.name;
        EXPECT_LE(times.back(), chart.TimeTo()) << c.name;
        EXPECT_LT(times.front() - step, chart.TimeFrom()) << c.name;
        EXPECT_GT(times.back() + step, chart.TimeTo()) << c.name;
        for (std::size_t k = 1; k < times.size(); ++k)
            ASSERT_EQ(times[k] - times[k - 1], step) << c.name;
        // Values: multiples of 1, 2 or 5 times a power of ten, on both axes.
        for (const Side side : {Side::Left, Side::Right}) {
            const TTrendChart::ValueAxis& axis = chart.Axis(side);
            const std::vector<double> values = chart.ValueTicks(side);
            ASSERT_GE(values.size(), 2u) << c.name;
            const double valueStep = values[1] - values[0];
            const double power = std::pow(10.0, std::floor(std::log10(valueStep) + 1e-9));
            const double mantissa = valueStep / power;
            EXPECT_TRUE(std::abs(mantissa - 1) < 1e-6 || std::abs(mantissa - 2) < 1e-6 ||
                        std::abs(mantissa - 5) < 1e-6)
                << c.name << ": " << valueStep;
            for (const double v : values) {
                EXPECT_NEAR(v / valueStep, std::round(v / valueStep), 1e-6) << c.name << ": " << v;
                EXPECT_GE(v, axis.min - valueStep * 1e-6) << c.name;
                EXPECT_LE(v, axis.max + valueStep * 1e-6) << c.name;
            }
            EXPECT_LT(values.front() - valueStep, axis.min + valueStep * 1e-6) << c.name;
            EXPECT_GT(values.back() + valueStep, axis.max - valueStep * 1e-6) << c.name;
        }
    }
    EXPECT_FALSE(tab.Following());
}

TEST_F(TrendsTabTest, EachValueAxisCarriesTheUnitsOfItsLines)
{
    TTrendsTab& tab = Tab();
    const struct {
        std::vector<int> checked; // indexes of the float rows
        QString left, right;
        bool leftShown, rightShown;
    } cases[] = {
        {{7, 2}, "%", "С°", true, true}, // as at start: water cut, medium temperature
        {{7}, "%", "", true, false},
        {{10}, "", "С°", false, true},                    // the board's temperature
        {{1, 4, 8, 10}, "%, МГц", "С°", true, true},      // %, %, МГц on the left
        {{3}, "", "", true, false},                       // "Фаза эмульсии" has no unit
    };
    for (const auto& c : cases) {
        for (std::size_t i = 0; i < tab.RowCheckBoxes.size(); ++i)
            tab.RowCheckBoxes[i]->setChecked(std::find(c.checked.begin(), c.checked.end(), static_cast<int>(i)) !=
                                             c.checked.end());
        const TTrendChart& chart = *tab.Chart;
        EXPECT_EQ(chart.Axis(Side::Left).shown, c.leftShown) << c.left.toStdString();
        EXPECT_EQ(chart.Axis(Side::Right).shown, c.rightShown) << c.right.toStdString();
        if (c.leftShown) {
            EXPECT_EQ(chart.Axis(Side::Left).unit, c.left);
        }
        if (c.rightShown) {
            EXPECT_EQ(chart.Axis(Side::Right).unit, c.right);
        }
        // The legend names the checked rows in list order.
        QStringList ordered;
        for (QCheckBox* box : tab.RowCheckBoxes)
            if (box->isChecked())
                ordered << box->text();
        EXPECT_EQ(Shown(), ordered);
    }
}

TEST_F(TrendsTabTest, ABreakInThePollsIsDrawnAsABreak)
{
    Form().Registers.WaterCut.Set(12.5f);
    const auto start = std::chrono::system_clock::now() - std::chrono::minutes(5);
    const struct {
        const char* name;
        std::vector<int> pollsMs; // a negative time: a break is marked before the poll
        std::size_t pieces;
    } cases[] = {
        {"steady polls", {0, 1000, 2000, 3000, 4000}, 1},
        {"a silence of twice the period", {0, 1000, 3000, 4000}, 1},
        {"a silence of three periods", {0, 1000, 2000, 5000, 6000}, 2},
        {"a marked break, a lone poll, another", {0, 1000, -2000, -3000, 4000}, 3},
    };
    for (const auto& c : cases) {
        TTrendsTab tab(Form().Registers);
        tab.resize(814, 473);
        tab.show();
        tab.PauseButton->click();
        tab.SetPollPeriod(std::chrono::milliseconds(1000));
        for (const int ms : c.pollsMs) {
            if (ms < 0)
                tab.BreakLines();
            tab.AddPollAt(start + std::chrono::milliseconds(std::abs(ms)), "NAN");
        }
        tab.ShowRange(tab.History().FirstTime() - 500, tab.History().LastTime() + 500);
        const TTrendChart::Line& line = tab.Chart->Lines().at(1);
        ASSERT_EQ(line.name, QStringLiteral("Обводненность, %"));
        const auto pieces = tab.Chart->Pieces(line);
        std::size_t points = 0;
        for (const auto& piece : pieces)
            points += piece.size();
        EXPECT_EQ(pieces.size(), c.pieces) << c.name;
        EXPECT_EQ(points, c.pollsMs.size()) << c.name;
    }
}

TEST_F(TrendsTabTest, TheLinesBreakAtCloseAndAcrossALoad)
{
    TTrendsTab& tab = Tab();
    Form().PageControl1->setCurrentWidget(&tab);
    Open();
    ASSERT_TRUE(WaitUntil([&] { return tab.History().Size() >= 2; }));
    // Closed and opened again at once, well within twice the poll period:
    // the close breaks the lines.
    Form().Link1CloseButton->click();
    const std::size_t closedAt = tab.History().Size();
    Open();
    ASSERT_TRUE(WaitUntil([&] { return tab.History().Size() > closedAt; }));
    EXPECT_TRUE(tab.History().StartsAnew(closedAt));

    // A load: the first poll after it starts anew.
    const std::string file = dir_.File("p.txt");
    WriteText(file, "2021 float 2.75\r\n");
    ModalAnswers answers;
    answers.ExpectBox(QStringLiteral("Вы уверены?"), QMessageBox::Yes);
    answers.Expect(IsFileDialog, ModalAnswers::ChooseFile(file));
    TFSSyntaxRep& report = *forms_->FSSyntaxRep;
    answers.Expect([&](QWidget* w) { return w == &report; }, [&](QWidget*) { report.close(); });
    Form().LoadVokParamsButton->click();
    ASSERT_TRUE(answers.Done());
    const std::size_t loadedAt = tab.History().Size();
    ASSERT_TRUE(WaitUntil([&] { return tab.History().Size() > loadedAt; }));
    EXPECT_TRUE(tab.History().StartsAnew(loadedAt));
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
