#include "trend_chart.h"

#include "trend_ticks.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMargin = 4;
constexpr int kTick = 4;
constexpr int kMarkerWidth = 20;
constexpr int kLegendSpacing = 12;
constexpr std::int64_t kShortestZoomMs = 1000;
const QColor kGrid(0xe0, 0xe0, 0xe0);
const QColor kFrame(0xa0, 0xa0, 0xa0);

QString TimeLabelWidthSample() { return QStringLiteral("00:00:00"); }

} // namespace

TTrendChart::TTrendChart(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(false);
    setMinimumSize(200, 150);
    setAutoFillBackground(false);
}

void TTrendChart::SetTimeRange(std::int64_t fromMs, std::int64_t toMs)
{
    if (toMs <= fromMs)
        toMs = fromMs + 1;
    if (fromMs == timeFrom_ && toMs == timeTo_)
        return;
    timeFrom_ = fromMs;
    timeTo_ = toMs;
    update();
}

void TTrendChart::SetValueRange(Side side, double min, double max)
{
    if (!(max > min) || !std::isfinite(min) || !std::isfinite(max))
        return;
    ValueAxis& axis = AxisOf(side);
    if (axis.min == min && axis.max == max)
        return;
    axis.min = min;
    axis.max = max;
    plotArea_.reset();
    update();
}

void TTrendChart::ShowValueAxis(Side side, bool shown, const QString& unit)
{
    ValueAxis& axis = AxisOf(side);
    if (axis.shown == shown && axis.unit == unit)
        return;
    axis.shown = shown;
    axis.unit = unit;
    plotArea_.reset();
    update();
}

void TTrendChart::SetLines(std::vector<Line> lines)
{
    const bool sameNames = std::equal(lines.begin(), lines.end(), lines_.begin(), lines_.end(),
                                      [](const Line& a, const Line& b) { return a.name == b.name; });
    lines_ = std::move(lines);
    if (!sameNames)
        plotArea_.reset(); // the legend may take more or fewer rows
    update();
}

int TTrendChart::LegendHeight() const
{
    const QFontMetrics metrics = fontMetrics();
    const int available = width() - 2 * kMargin;
    int rows = 1;
    int x = 0;
    for (const Line& line : lines_) {
        const int entry = kMarkerWidth + kMargin + metrics.horizontalAdvance(line.name) + kLegendSpacing;
        if (x > 0 && x + entry > available) {
            ++rows;
            x = 0;
        }
        x += entry;
    }
    return rows * metrics.height() + kMargin;
}

QRectF TTrendChart::PlotArea() const
{
    if (!plotArea_)
        plotArea_ = LayOut();
    return *plotArea_;
}

QRectF TTrendChart::LayOut() const
{
    const int lineHeight = fontMetrics().height();
    const double top = kMargin + lineHeight / 2.0;
    const double bottom = height() - kMargin - LegendHeight() - lineHeight - kTick - 2;
    QRectF plot(0, top, 0, std::max(1.0, bottom - top));
    const double left = kMargin + AxisWidth(Side::Left);
    const double right = width() - kMargin - AxisWidth(Side::Right);
    plot.setLeft(left);
    plot.setRight(std::max(left + 1, right));
    return plot;
}

double TTrendChart::AxisWidth(Side side) const
{
    const ValueAxis& axis = Axis(side);
    const QFontMetrics metrics = fontMetrics();
    if (!axis.shown)
        return metrics.horizontalAdvance(TimeLabelWidthSample()) / 2.0; // room for the last time label
    // The labels' width depends on the ticks, which depend on the height only.
    const int lineHeight = metrics.height();
    const double height = this->height() - 2 * kMargin - LegendHeight() - 1.5 * lineHeight - kTick - 2;
    const int maxTicks = std::max(2, static_cast<int>(height / (2 * lineHeight)));
    const int decimals = trend_ticks::DecimalsOf(trend_ticks::ValueStep(axis.max - axis.min, maxTicks));
    int widest = 0;
    for (const double tick : trend_ticks::ValueTicks(axis.min, axis.max, maxTicks))
        widest = std::max(widest, metrics.horizontalAdvance(QString::number(tick, 'f', decimals)));
    return (axis.unit.isEmpty() ? 0 : lineHeight + kMargin) + widest + kTick + 2;
}

int TTrendChart::MaxTimeTicks(const QRectF& plot) const
{
    const QFontMetrics metrics = fontMetrics();
    return std::max(2, static_cast<int>(plot.width() /
                                        (metrics.horizontalAdvance(TimeLabelWidthSample()) + 2 * metrics.height())));
}

int TTrendChart::MaxValueTicks(const QRectF& plot) const
{
    return std::max(2, static_cast<int>(plot.height() / (2 * fontMetrics().height())));
}

std::int64_t TTrendChart::UtcOffsetMs() const
{
    return QDateTime::fromMSecsSinceEpoch(timeFrom_).offsetFromUtc() * 1000LL;
}

std::vector<std::int64_t> TTrendChart::TimeTicks() const
{
    return trend_ticks::TimeTicks(timeFrom_, timeTo_, MaxTimeTicks(PlotArea()), UtcOffsetMs());
}

std::vector<double> TTrendChart::ValueTicks(Side side) const
{
    const ValueAxis& axis = Axis(side);
    return trend_ticks::ValueTicks(axis.min, axis.max, MaxValueTicks(PlotArea()));
}

QString TTrendChart::TimeLabel(std::int64_t ms) const
{
    const std::int64_t step = trend_ticks::TimeStepMs(timeTo_ - timeFrom_, MaxTimeTicks(PlotArea()));
    return QDateTime::fromMSecsSinceEpoch(ms).toString(step % 60'000 == 0 ? QStringLiteral("HH:mm")
                                                                          : QStringLiteral("HH:mm:ss"));
}

double TTrendChart::YOf(const ValueAxis& axis, const QRectF& plot, double value) const
{
    return plot.bottom() - (value - axis.min) * plot.height() / (axis.max - axis.min);
}

double TTrendChart::ValueAt(const ValueAxis& axis, const QRectF& plot, double y) const
{
    return axis.min + (plot.bottom() - y) * (axis.max - axis.min) / plot.height();
}

std::vector<std::vector<QPointF>> TTrendChart::Pieces(const Line& line) const
{
    const QRectF plot = PlotArea();
    const ValueAxis& axis = Axis(line.side);
    const double xScale = plot.width() / static_cast<double>(timeTo_ - timeFrom_);
    const double yScale = plot.height() / (axis.max - axis.min);
    std::vector<std::vector<QPointF>> pieces;
    for (const TrendPoint& p : line.points) {
        if (!p.joined || pieces.empty())
            pieces.emplace_back();
        pieces.back().emplace_back(plot.left() + static_cast<double>(p.timeMs - timeFrom_) * xScale,
                                   plot.bottom() - (p.value - axis.min) * yScale);
    }
    return pieces;
}

void TTrendChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QRectF plot = PlotArea();
    const QFontMetrics metrics = fontMetrics();
    const int lineHeight = metrics.height();
    painter.setPen(palette().color(QPalette::WindowText));

    // The grid and the labels of the time axis.
    for (const std::int64_t tick : TimeTicks()) {
        const double x = plot.left() + static_cast<double>(tick - timeFrom_) * plot.width() /
                                           static_cast<double>(timeTo_ - timeFrom_);
        painter.setPen(kGrid);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + kTick));
        const QString label = TimeLabel(tick);
        const double labelWidth = metrics.horizontalAdvance(label);
        painter.drawText(QRectF(x - labelWidth / 2, plot.bottom() + kTick + 1, labelWidth, lineHeight),
                         Qt::AlignCenter, label);
    }

    // The value axes: the left one's grid, both ones' labels and units.
    const int maxValueTicks = MaxValueTicks(plot);
    bool gridDrawn = false;
    for (const Side side : {Side::Left, Side::Right}) {
        const ValueAxis& axis = Axis(side);
        if (!axis.shown)
            continue;
        const int decimals = trend_ticks::DecimalsOf(trend_ticks::ValueStep(axis.max - axis.min, maxValueTicks));
        const bool left = side == Side::Left;
        const double edge = left ? plot.left() : plot.right();
        for (const double tick : trend_ticks::ValueTicks(axis.min, axis.max, maxValueTicks)) {
            const double y = YOf(axis, plot, tick);
            if (!gridDrawn) {
                painter.setPen(kGrid);
                painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
            }
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawLine(QPointF(edge, y), QPointF(left ? edge - kTick : edge + kTick, y));
            const QString label = QString::number(tick, 'f', decimals);
            const QRectF box = left ? QRectF(0, y - lineHeight / 2.0, edge - kTick - 2, lineHeight)
                                    : QRectF(edge + kTick + 2, y - lineHeight / 2.0, width(), lineHeight);
            painter.drawText(box, (left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, label);
        }
        gridDrawn = true;
        if (!axis.unit.isEmpty()) {
            painter.save();
            const double x = left ? kMargin + lineHeight / 2.0 : width() - kMargin - lineHeight / 2.0;
            painter.translate(x, plot.center().y());
            painter.rotate(left ? -90 : 90);
            painter.drawText(QRectF(-plot.height() / 2, -lineHeight / 2.0, plot.height(), lineHeight),
                             Qt::AlignCenter, axis.unit);
            painter.restore();
        }
    }
    painter.setPen(kFrame);
    painter.drawRect(plot);

    // The lines, broken where their points are not joined.
    painter.save();
    painter.setClipRect(plot.adjusted(-1, -1, 1, 1));
    for (const Line& line : lines_) {
        for (const std::vector<QPointF>& piece : Pieces(line)) {
            if (piece.size() == 1) {
                painter.setPen(QPen(line.color, 3, Qt::SolidLine, Qt::RoundCap));
                painter.drawPoint(piece.front());
            } else {
                painter.setPen(QPen(line.color, 1));
                painter.drawPolyline(piece.data(), static_cast<int>(piece.size()));
            }
        }
    }
    painter.restore();

    // The legend below the time axis.
    const int available = width() - 2 * kMargin;
    double x = 0;
    double y = height() - LegendHeight();
    for (const Line& line : lines_) {
        const int entry = kMarkerWidth + kMargin + metrics.horizontalAdvance(line.name) + kLegendSpacing;
        if (x > 0 && x + entry > available) {
            x = 0;
            y += lineHeight;
        }
        const double left = kMargin + x;
        painter.setPen(QPen(line.color, 2));
        painter.drawLine(QPointF(left, y + lineHeight / 2.0), QPointF(left + kMarkerWidth, y + lineHeight / 2.0));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRectF(left + kMarkerWidth + kMargin, y, entry, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         line.name);
        x += entry;
    }

    // The rectangle being drawn for a zoom.
    if (pressedAt_) {
        painter.setPen(QPen(QColor(0x30, 0x60, 0xc0), 1));
        painter.setBrush(QColor(0x30, 0x60, 0xc0, 0x30));
        painter.drawRect(QRectF(*pressedAt_, draggedTo_).normalized());
    }
}

void TTrendChart::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    plotArea_.reset();
    emit PlotAreaResized();
}

void TTrendChart::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        plotArea_.reset();
        update();
        emit PlotAreaResized();
    }
}

void TTrendChart::ZoomTime(double factor, double x)
{
    const QRectF plot = PlotArea();
    const double from = static_cast<double>(timeFrom_);
    const double to = static_cast<double>(timeTo_);
    const double at = std::clamp((x - plot.left()) / plot.width(), 0.0, 1.0);
    const double pivot = from + at * (to - from);
    const double span = std::max((to - from) * factor, static_cast<double>(kShortestSpanMs));
    const double newFrom = pivot - at * span;
    SetTimeRange(static_cast<std::int64_t>(std::llround(newFrom)), static_cast<std::int64_t>(std::llround(newFrom + span)));
}

void TTrendChart::ZoomInto(const QRectF& area)
{
    const QRectF plot = PlotArea();
    const QRectF box = area.normalized().intersected(plot);
    if (box.width() < 1 || box.height() < 1)
        return;
    const double msPerPixel = static_cast<double>(timeTo_ - timeFrom_) / plot.width();
    const auto from = timeFrom_ + static_cast<std::int64_t>(std::llround((box.left() - plot.left()) * msPerPixel));
    const auto to = timeFrom_ + static_cast<std::int64_t>(std::llround((box.right() - plot.left()) * msPerPixel));
    SetTimeRange(from, std::max(to, from + kShortestZoomMs));
    for (const Side side : {Side::Left, Side::Right}) {
        ValueAxis& axis = AxisOf(side);
        const double low = ValueAt(axis, plot, box.bottom());
        const double high = ValueAt(axis, plot, box.top());
        SetValueRange(side, low, high);
    }
}

void TTrendChart::ZoomOut()
{
    const std::int64_t span = timeTo_ - timeFrom_;
    SetTimeRange(timeFrom_ - span / 2, timeTo_ + span / 2);
    for (const Side side : {Side::Left, Side::Right}) {
        const ValueAxis& axis = Axis(side);
        const double half = axis.max - axis.min;
        const double center = (axis.max + axis.min) / 2;
        SetValueRange(side, center - half, center + half);
    }
}

void TTrendChart::wheelEvent(QWheelEvent* event)
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

void TTrendChart::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        pressedAt_ = event->position();
        draggedTo_ = event->position();
    }
    event->accept();
}

void TTrendChart::mouseMoveEvent(QMouseEvent* event)
{
    if (pressedAt_) {
        draggedTo_ = event->position();
        update();
    }
}

void TTrendChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        ZoomOut();
        emit UserZoomed(true);
        return;
    }
    if (event->button() != Qt::LeftButton || !pressedAt_)
        return;
    const QPointF pressed = *std::exchange(pressedAt_, std::nullopt);
    update();
    // A left click without a drag draws no rectangle and zooms nothing.
    if ((event->position() - pressed).manhattanLength() <= 3)
        return;
    ZoomInto(QRectF(pressed, event->position()));
    emit UserZoomed(true);
}
