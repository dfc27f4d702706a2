#pragma once

#include <QColor>
#include <QFont>
#include <QGraphicsItem>
#include <QPolygonF>
#include <QString>
#include <vector>

// The panes of the chart and the readings' lines in them, drawn as plain polylines. Qt Charts'
// own line series work out a hit-test outline of every line on every change of the view, which
// for a day of readings costs many times the drawing; the chart's series here only carry the
// legend entries and the time range, and this item draws what decimateSeries kept, already
// placed in chart coordinates: per pane a frame, a value axis and a title, the alarm levels and
// the time spent above them, and below the panes the time axis they share.
class RecordLinesItem : public QGraphicsItem {
public:
    struct Tick {
        qreal at = 0; // x of a time tick, y of a value tick
        QString label;
        QString second; // a time tick's date, where one is shown
    };
    struct Pane {
        QRectF rect;
        QString title;
        double valueMin = 0; // the values at the bottom and the top edge
        double valueMax = 1;
        std::vector<Tick> valueTicks;
    };
    struct Lines {
        QColor colour;
        int pane = -1; // -1 while the series is hidden
        std::vector<QPolygonF> polylines;
        std::vector<qreal> levels; // heights of dashed lines across the pane (alarm levels)
        // x spans in which the readings are at or above the low, and the high, alarm level.
        std::vector<std::pair<qreal, qreal>> aboveLow;
        std::vector<std::pair<qreal, qreal>> aboveHigh;
    };

    explicit RecordLinesItem(QGraphicsItem* parent = nullptr);

    void setArea(const QRectF& area);
    void setFonts(const QFont& labels, const QFont& titles);
    // The panes, top to bottom, and the ticks of the time axis below them.
    void setPanes(std::vector<Pane> panes, std::vector<Tick> timeTicks);
    // One entry per series; hidden series have no polylines.
    void setLines(std::vector<Lines> lines);
    const std::vector<Lines>& lines() const { return m_lines; }
    const std::vector<Pane>& panes() const { return m_panes; }
    const std::vector<Tick>& timeTicks() const { return m_timeTicks; }

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    void paintPane(QPainter& painter, const Pane& pane) const;
    void paintSeries(QPainter& painter, const Lines& series) const;
    void paintTimeAxis(QPainter& painter) const;

    QRectF m_area;
    QFont m_labelFont;
    QFont m_titleFont;
    std::vector<Pane> m_panes;
    std::vector<Tick> m_timeTicks;
    std::vector<Lines> m_lines;
};
