#include "trend_lines_item.h"

#include <QPainter>

TTrendLinesItem::TTrendLinesItem(QGraphicsItem* parent) : QGraphicsItem(parent) {}

void TTrendLinesItem::SetLines(const QRectF& plotArea, std::vector<Line> lines)
{
    prepareGeometryChange();
    plotArea_ = plotArea;
    lines_ = std::move(lines);
    update();
}

void TTrendLinesItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->save();
    painter->setClipRect(plotArea_);
    for (const Line& line : lines_) {
        painter->setPen(QPen(line.color, 1));
        painter->drawPolyline(line.points);
    }
    painter->restore();
}
