#include "app/recordswindow/recordlinesitem.h"

#include <QPainter>

RecordLinesItem::RecordLinesItem(QGraphicsItem* parent) : QGraphicsItem(parent) {
    setFlag(QGraphicsItem::ItemClipsToShape);
    setAcceptedMouseButtons(Qt::NoButton);
    setAcceptHoverEvents(false);
}

void RecordLinesItem::setPlotArea(const QRectF& area) {
    if (area == m_area) {
        return;
    }
    prepareGeometryChange();
    m_area = area;
}

void RecordLinesItem::setLines(std::vector<Lines> lines) {
    m_lines = std::move(lines);
    update();
}

QRectF RecordLinesItem::boundingRect() const {
    return m_area;
}

void RecordLinesItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    painter->save();
    painter->setClipRect(m_area);
    for (const Lines& series : m_lines) {
        // One pixel, cosmetic: drawn as lines, never stroked into polygons.
        QPen pen(series.colour, 1);
        pen.setCosmetic(true);
        painter->setPen(pen);
        for (const QPolygonF& polyline : series.polylines) {
            painter->drawPolyline(polyline);
        }
        pen.setStyle(Qt::DashLine);
        painter->setPen(pen);
        for (qreal y : series.levels) {
            painter->drawLine(QPointF(m_area.left(), y), QPointF(m_area.right(), y));
        }
    }
    painter->restore();
}
