// The trend chart with 24 hours of samples at 1 Hz on 10 lines, shown whole
// and as the last 10 minutes: the time of a redraw (thinning into the lines,
// then painting the chart), median and worst of 50, by the clock and by the
// processor time of the thread (which a machine busy with other work leaves
// nearly as it is).

#include "bench_figures.h"
#include "register_map.h"
#include "trend_chart.h"
#include "trend_history.h"
#include "trends_tab.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

struct Figures {
    std::vector<double> thin, paint, total, cpu;
};

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

Figures Measure(TTrendsTab& tab)
{
    QImage image(tab.Chart->size(), QImage::Format_ARGB32_Premultiplied);
    Figures f;
    for (int i = 0; i < 50; ++i) {
        const double cpu = ThreadCpuMs();
        QElapsedTimer t;
        t.start();
        tab.Redraw();
        const double a = static_cast<double>(t.nsecsElapsed()) / 1e6;
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            tab.Chart->render(&painter);
        }
        const double b = static_cast<double>(t.nsecsElapsed()) / 1e6;
        f.thin.push_back(a);
        f.paint.push_back(b - a);
        f.total.push_back(b);
        f.cpu.push_back(ThreadCpuMs() - cpu);
    }
    return f;
}

void Print(const char* what, TTrendsTab& tab, const Figures& f)
{
    std::size_t points = 0;
    for (QCheckBox* box : tab.RowCheckBoxes)
        points += tab.DrawnPoints(box).size();
    std::printf("  %s: %zu points drawn; redraw median %.2f ms (thinning %.2f ms, painting %.2f ms), worst %.2f ms;\n"
                "    processor time median %.2f ms, worst %.2f ms\n",
                what, points, Median(f.total), Median(f.thin), Median(f.paint),
                *std::max_element(f.total.begin(), f.total.end()), Median(f.cpu),
                *std::max_element(f.cpu.begin(), f.cpu.end()));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MeterRegisters registers;
    TTrendsTab tab(registers);
    tab.resize(814, 473);
    tab.show();
    QApplication::processEvents();
    // Ten of the eleven float rows.
    for (std::size_t i = 1; i < tab.RowCheckBoxes.size(); ++i)
        tab.RowCheckBoxes[i]->setChecked(true);
    tab.ShowRange(0, 1); // paused while the day is filled in

    FloatRegListItemData* rows[] = {&registers.WaterCutTrunc, &registers.MediumTemperature, &registers.EmulsionPhase,
                                    &registers.Salinity, &registers.Phases[0].Tail[2], &registers.Phases[1].Tail[2],
                                    &registers.WaterCut, &registers.Phases[0].Tail[3], &registers.Phases[1].Tail[3],
                                    &registers.BoardTemperature};
    const auto start = std::chrono::system_clock::now() - std::chrono::hours(24);
    const int day = 86'400;
    int breaks = 0;
    for (int s = 0; s < day; ++s) {
        // A break every 20 minutes, as a flaky line would leave.
        if (s % 1200 == 600) {
            tab.BreakLines();
            ++breaks;
        }
        for (int r = 0; r < 10; ++r)
            rows[r]->Set(static_cast<float>(r * 10 + std::sin(s / (300.0 + 50 * r)) + (s * 7919 % 100) / 500.0));
        tab.AddPollAt(start + std::chrono::seconds(s), "NAN");
    }
    std::printf("Trend chart, 24 h at 1 Hz on %zu lines (%d points each, %d breaks), plot %d px wide:\n",
                tab.Chart->Lines().size(), day, breaks, static_cast<int>(tab.Chart->PlotArea().width()));
    tab.ShowRange(tab.History().FirstTime(), tab.History().LastTime());
    Print("the whole day", tab, Measure(tab));
    tab.ShowRange(tab.History().LastTime() - TTrendsTab::kFollowSpanMs, tab.History().LastTime());
    Print("the last 10 minutes", tab, Measure(tab));
    return 0;
}
