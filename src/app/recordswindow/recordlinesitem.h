#pragma once

#include <QColor>
#include <QGraphicsItem>
#include <QPolygonF>
#include <vector>

// The readings' lines inside the chart's plot area, drawn as plain polylines. Qt Charts' own
// line series work out a hit-test outline of every line on every change of the view, which for
// a day of readings costs many times the drawing; the chart's series here only carry the legend
// entries, and this item draws what decimateSeries kept, already placed in chart coordinates,
// and the alarm levels.
class RecordLinesItem : public QGraphicsItem {
public:
    struct Lines {
        QColor colour;
        std::vector<QPolygonF> polylines;
        std::vector<qreal> levels; // heights of dashed lines across the plot (alarm levels)
    };

    explicit RecordLinesItem(QGraphicsItem* parent = nullptr);

    void setPlotArea(const QRectF& area);
    // One entry per series; hidden series have no polylines.
    void setLines(std::vector<Lines> lines);
    const std::vector<Lines>& lines() const { return m_lines; }

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    QRectF m_area;
    std::vector<Lines> m_lines;
};
