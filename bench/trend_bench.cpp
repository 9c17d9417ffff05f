// The trend chart with 24 hours of samples at 1 Hz on 10 lines, shown whole:
// the time of a redraw (thinning into the series and painting the chart)
// beside the same points handed to the chart's own line series.

#include "register_map.h"
#include "trends_tab.h"
#include "trend_chart_view.h"
#include "trend_history.h"

#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineSeries>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    for (int s = 0; s < day; ++s) {
        for (int r = 0; r < 10; ++r)
            rows[r]->Set(static_cast<float>(r * 10 + std::sin(s / (300.0 + 50 * r)) + (s * 7919 % 100) / 500.0));
        tab.AddPollAt(start + std::chrono::seconds(s), "NAN");
    }
    tab.ShowRange(tab.History().FirstTime(), tab.History().LastTime());
    QApplication::processEvents();

    QImage image(tab.ChartView->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const auto paint = [&] {
        image.fill(Qt::white);
        QPainter painter(&image);
        tab.ChartView->render(&painter);
    };
    std::vector<double> thin, draw, total;
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer t;
        t.start();
        tab.Redraw();
        const double a = t.nsecsElapsed() / 1e6;
        paint();
        const double b = t.nsecsElapsed() / 1e6;
        thin.push_back(a);
        draw.push_back(b - a);
        total.push_back(b);
    }
    std::vector<double> thinOnly;
    std::vector<TrendPoint> out;
    const int columns = static_cast<int>(tab.Chart->plotArea().width());
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer t;
        t.start();
        for (std::size_t line = 1; line < tab.History().Lines(); ++line)
            tab.History().Thin(line, tab.History().FirstTime(), tab.History().LastTime(), columns, out);
        thinOnly.push_back(t.nsecsElapsed() / 1e6);
    }
    std::size_t points = 0;
    for (QCheckBox* box : tab.RowCheckBoxes)
        points += tab.DrawnPoints(box).size();
    std::printf("Trend chart, 24 h at 1 Hz on %lld lines (%d points each), plot %d px wide, %zu points drawn:\n",
                static_cast<long long>(tab.Chart->series().size()), day,
                static_cast<int>(tab.Chart->plotArea().width()), points);
    std::printf("  redraw median %.2f ms (thinning into the series %.2f ms, of which the thinning alone %.2f ms; "
                "painting %.2f ms), worst %.2f ms\n",
                Median(total), Median(thin), Median(thinOnly), Median(draw), *std::max_element(total.begin(), total.end()));

    // For comparison: the same thinned points in the chart's own line
    // series, which lay out their geometry anew on every change.
    QElapsedTimer t;
    t.start();
    for (std::size_t i = 1; i < tab.RowCheckBoxes.size(); ++i) {
        QList<QPointF> thinned;
        for (const TrendPoint& p : tab.DrawnPoints(tab.RowCheckBoxes[i]))
            thinned.append(QPointF(static_cast<qreal>(p.timeMs), p.value));
        tab.SeriesOf(tab.RowCheckBoxes[i])->replace(thinned);
    }
    const double fill = t.nsecsElapsed() / 1e6;
    paint();
    std::printf("  the same points in the chart's line series instead: filling %.1f ms, painting %.1f ms\n", fill,
                t.nsecsElapsed() / 1e6 - fill);
    return 0;
}
