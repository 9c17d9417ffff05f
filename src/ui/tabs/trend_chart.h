#pragma once
// The chart of the tab "Тренды", drawn by itself on Qt's base: a time axis
// at the bottom, a value axis at the left and one at the right (each with
// its unit), ticks at round steps, a legend below, and the thinned lines,
// broken where their points are not joined. The mouse wheel zooms the time
// axis around the pointer, a rectangle drawn with the left button zooms
// into it, the right button zooms out; each zoom by the user is announced.

#include "trend_history.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

class TTrendChart : public QWidget {
    Q_OBJECT
public:
    enum class Side { Left, Right };
    struct ValueAxis {
        double min = 0;
        double max = 10;
        bool shown = true;
        QString unit; // the axis title
    };
    struct Line {
        QString name;
        QColor color;
        Side side;
        std::vector<TrendPoint> points;
    };
    static constexpr std::int64_t kShortestSpanMs = 10'000;

    explicit TTrendChart(QWidget* parent = nullptr);

    void SetTimeRange(std::int64_t fromMs, std::int64_t toMs);
    std::int64_t TimeFrom() const { return timeFrom_; }
    std::int64_t TimeTo() const { return timeTo_; }
    // The plot area's width may change with these (the labels' width): the
    // caller thins for the width it has after them.
    void SetValueRange(Side side, double min, double max);
    void ShowValueAxis(Side side, bool shown, const QString& unit);
    const ValueAxis& Axis(Side side) const { return side == Side::Left ? left_ : right_; }
    // The lines in legend order.
    void SetLines(std::vector<Line> lines);
    const std::vector<Line>& Lines() const { return lines_; }

    // Where the lines are drawn, in the widget's coordinates.
    QRectF PlotArea() const;
    // The ticks as drawn: times in ms since the epoch, values on the axis.
    std::vector<std::int64_t> TimeTicks() const;
    std::vector<double> ValueTicks(Side side) const;
    // The pieces of a line as drawn: runs of joined points in the widget's
    // coordinates (a piece of one point is drawn as a dot).
    std::vector<std::vector<QPointF>> Pieces(const Line& line) const;

    // Zooms the time axis by `factor` (below 1 zooms in) around the point
    // `x` of the plot area.
    void ZoomTime(double factor, double x);

signals:
    // The user zoomed; `valuesToo` when the value axes were set as well.
    void UserZoomed(bool valuesToo);
    // The widget's size or font changed: the lines need thinning anew.
    void PlotAreaResized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ValueAxis& AxisOf(Side side) { return side == Side::Left ? left_ : right_; }
    QRectF LayOut() const;
    int LegendHeight() const;
    double AxisWidth(Side side) const;
    int MaxTimeTicks(const QRectF& plot) const;
    int MaxValueTicks(const QRectF& plot) const;
    double YOf(const ValueAxis& axis, const QRectF& plot, double value) const;
    double ValueAt(const ValueAxis& axis, const QRectF& plot, double y) const;
    QString TimeLabel(std::int64_t ms) const;
    std::int64_t UtcOffsetMs() const;
    void ZoomInto(const QRectF& area);
    void ZoomOut();

    std::int64_t timeFrom_ = 0;
    std::int64_t timeTo_ = 1;
    ValueAxis left_;
    ValueAxis right_;
    std::vector<Line> lines_;
    // The plot area as last laid out (measuring texts costs): dropped when
    // the size, the font, a value range, an axis or the legend changes.
    mutable std::optional<QRectF> plotArea_;
    std::optional<QPointF> pressedAt_;
    QPointF draggedTo_;
};
