#include "trend_chart_view.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>

namespace {
constexpr double kShortestSpanMs = 10'000;
}

TTrendChartView::TTrendChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent)
{
    setRubberBand(QChartView::RectangleRubberBand);
}

void TTrendChartView::ZoomTime(double factor, double x)
{
    const auto axes = chart()->axes(Qt::Horizontal);
    auto* time = axes.isEmpty() ? nullptr : qobject_cast<QDateTimeAxis*>(axes.front());
    const QRectF plot = chart()->plotArea();
    if (!time || plot.width() <= 0)
        return;
    const double from = static_cast<double>(time->min().toMSecsSinceEpoch());
    const double to = static_cast<double>(time->max().toMSecsSinceEpoch());
    const double at = std::clamp((x - plot.left()) / plot.width(), 0.0, 1.0);
    const double pivot = from + at * (to - from);
    const double span = std::max((to - from) * factor, kShortestSpanMs);
    const double newFrom = pivot - at * span;
    time->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(newFrom)),
                   QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(newFrom + span)));
}

void TTrendChartView::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) {
        event->ignore();
        return;
    }
    ZoomTime(steps > 0 ? 0.8 : 1.25, event->position().x());
    event->accept();
    emit UserZoomed(false);
}

void TTrendChartView::mousePressEvent(QMouseEvent* event)
{
    pressedAt_ = event->position();
    QChartView::mousePressEvent(event);
}

void TTrendChartView::mouseReleaseEvent(QMouseEvent* event)
{
    // A left click without a drag draws no rectangle and zooms nothing.
    const QPointF moved = event->position() - pressedAt_;
    const bool zooms = event->button() == Qt::RightButton ||
                       (event->button() == Qt::LeftButton && moved.manhattanLength() > 3);
    QChartView::mouseReleaseEvent(event);
    if (zooms)
        emit UserZoomed(true);
}
