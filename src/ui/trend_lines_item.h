#pragma once
// The lines of the trend chart, painted as plain polylines over the chart's
// plot area. A line series of the chart redoes its whole geometry, with a
// stroked outline for mouse hits, on every change of its points or of an
// axis; with ten lines of a thousand thinned points each that alone costs
// more than a redraw may. The series stay in the chart, without points, for
// the legend and the axes; this item draws what they stand for.

#include <QColor>
#include <QGraphicsItem>
#include <QPolygonF>

#include <vector>

class TTrendLinesItem : public QGraphicsItem {
public:
    struct Line {
        QColor color;
        QPolygonF points; // in the chart's coordinates
    };

    explicit TTrendLinesItem(QGraphicsItem* parent = nullptr);

    void SetLines(const QRectF& plotArea, std::vector<Line> lines);
    const std::vector<Line>& Lines() const { return lines_; }

    QRectF boundingRect() const override { return plotArea_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    QRectF plotArea_;
    std::vector<Line> lines_;
};
