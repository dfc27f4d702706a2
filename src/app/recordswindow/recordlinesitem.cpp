#include "app/recordswindow/recordlinesitem.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {

const QColor kFrame(0x9a, 0x9a, 0x9a);
const QColor kGrid(0xe4, 0xe4, 0xe4);
const QColor kLabel(0x40, 0x40, 0x40);
// Time at or above the low level is tinted amber, at or above the high level red: the colours
// of the instrument's own alarm lamps, faint enough that the lines stay readable.
const QColor kAboveLow(0xff, 0xbf, 0x00, 0x38);
const QColor kAboveHigh(0xe0, 0x20, 0x20, 0x38);
constexpr qreal kLabelGap = 4;

} // namespace

RecordLinesItem::RecordLinesItem(QGraphicsItem* parent) : QGraphicsItem(parent) {
    setAcceptedMouseButtons(Qt::NoButton);
    setAcceptHoverEvents(false);
}

void RecordLinesItem::setArea(const QRectF& area) {
    if (area == m_area) {
        return;
    }
    prepareGeometryChange();
    m_area = area;
}

void RecordLinesItem::setFonts(const QFont& labels, const QFont& titles) {
    m_labelFont = labels;
    m_titleFont = titles;
    update();
}

void RecordLinesItem::setPanes(std::vector<Pane> panes, std::vector<Tick> timeTicks) {
    m_panes = std::move(panes);
    m_timeTicks = std::move(timeTicks);
    update();
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
    for (const Pane& pane : m_panes) {
        paintPane(*painter, pane);
    }
    for (const Lines& series : m_lines) {
        paintSeries(*painter, series);
    }
    paintTimeAxis(*painter);
    // Frames and titles last: lines run under a pane's name, never over it.
    for (const Pane& pane : m_panes) {
        painter->setClipping(false);
        painter->setPen(QPen(kFrame, 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(pane.rect);
        painter->setFont(m_titleFont);
        const QFontMetricsF metrics(m_titleFont);
        const QRectF title(pane.rect.left() + 1, pane.rect.top() + 1,
                           metrics.horizontalAdvance(pane.title) + 2 * kLabelGap,
                           metrics.height() + 2);
        painter->fillRect(title, QColor(255, 255, 255, 220));
        painter->setPen(kLabel);
        painter->drawText(title, Qt::AlignCenter, pane.title);
    }
    painter->restore();
}

void RecordLinesItem::paintPane(QPainter& painter, const Pane& pane) const {
    painter.setClipping(false);
    painter.setFont(m_labelFont);
    const QFontMetricsF metrics(m_labelFont);
    for (const Tick& tick : pane.valueTicks) {
        painter.setPen(QPen(kGrid, 1));
        painter.drawLine(QPointF(pane.rect.left(), tick.at), QPointF(pane.rect.right(), tick.at));
        painter.setPen(kLabel);
        // Labels at a pane's edges stay inside its height, clear of the next pane's.
        const qreal top = std::clamp(tick.at - metrics.height() / 2, pane.rect.top(),
                                     pane.rect.bottom() - metrics.height());
        const QRectF label(m_area.left(), top, pane.rect.left() - m_area.left() - kLabelGap,
                           metrics.height());
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter, tick.label);
    }
    painter.setPen(QPen(kGrid, 1));
    for (const Tick& tick : m_timeTicks) {
        painter.drawLine(QPointF(tick.at, pane.rect.top()), QPointF(tick.at, pane.rect.bottom()));
    }
}

void RecordLinesItem::paintSeries(QPainter& painter, const Lines& series) const {
    if (series.pane < 0 || size_t(series.pane) >= m_panes.size()) {
        return;
    }
    const QRectF rect = m_panes[size_t(series.pane)].rect;
    painter.setClipRect(rect);
    for (const auto& [spans, colour] :
         {std::pair{&series.aboveLow, kAboveLow}, std::pair{&series.aboveHigh, kAboveHigh}}) {
        for (const auto& [from, to] : *spans) {
            painter.fillRect(QRectF(from, rect.top(), std::max<qreal>(to - from, 1), rect.height()),
                             colour);
        }
    }
    // One pixel, cosmetic: drawn as lines, never stroked into polygons.
    QPen pen(series.colour, 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    for (const QPolygonF& polyline : series.polylines) {
        painter.drawPolyline(polyline);
    }
    pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    for (qreal y : series.levels) {
        painter.drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
    }
}

void RecordLinesItem::paintTimeAxis(QPainter& painter) const {
    if (m_panes.empty()) {
        return;
    }
    painter.setClipping(false);
    painter.setFont(m_labelFont);
    const QFontMetricsF metrics(m_labelFont);
    const qreal top = m_panes.back().rect.bottom();
    for (const Tick& tick : m_timeTicks) {
        painter.setPen(QPen(kFrame, 1));
        painter.drawLine(QPointF(tick.at, top), QPointF(tick.at, top + kLabelGap));
        painter.setPen(kLabel);
        qreal y = top + kLabelGap;
        for (const QString& text : {tick.label, tick.second}) {
            if (text.isEmpty()) {
                continue;
            }
            const qreal width = metrics.horizontalAdvance(text) + 2;
            const qreal left =
                std::clamp(tick.at - width / 2, m_area.left(), m_area.right() - width);
            painter.drawText(QRectF(left, y, width, metrics.height()), Qt::AlignCenter, text);
            y += metrics.height();
        }
    }
}
