#pragma once

#include "app/recordswindow/recordlinesitem.h"
#include "records/recordtime.h"

#include <QChartView>
#include <QHash>
#include <optional>
#include <vector>

class QDateTimeAxis;
class QGraphicsEllipseItem;
class QLineSeries;
class QValueAxis;
struct RecordShape;

// The chart of the Records window: one pane per channel, stacked above the time axis they
// share, each with a value axis of its own that fits the channel's readings and alarm levels,
// so that a CO line reaching 15,000 PPM leaves the O2 line at 20.9 %VOL readable. One line per
// series of the shape in its channel's colour, dashed alarm levels in the same colour and the
// time at or above them tinted; a legend whose entries hide and show their series (a channel
// with none shown gives its room to the others). Zoom the time with a rubber band or the wheel,
// pan with the middle button (or Shift and the left button) or the arrow keys, reset with
// Home: every pane follows. Only what a pixel column can show is drawn: per column the lowest
// and the highest reading (see decimateSeries), redrawn on every change of the view by
// RecordLinesItem; the chart's own series carry the legend and the time range.
class RecordsChartView : public QChartView {
    Q_OBJECT
public:
    explicit RecordsChartView(QWidget* parent = nullptr);

    // Shows the shape, which must stay alive and unchanged until the next call (nullptr: none).
    void setShape(const RecordShape* shape);
    // The shape's alarm levels changed.
    void refreshAlarms();
    void resetView();

    bool isSeriesShown(int series) const;
    void setSeriesShown(int series, bool shown);
    // The points drawn for the series now, over all its lines.
    qsizetype drawnPointCount(int series) const;
    QLineSeries* legendSeries(int series) const;
    // The alarm levels drawn for the series now, as values.
    std::vector<double> drawnAlarmLevels(int series) const;
    // The view as record times (seconds).
    std::pair<double, double> timeRange() const;
    void setTimeRange(double from, double to);
    // What is drawn now: the panes with their axes, and each series' lines.
    const RecordLinesItem& drawing() const { return *m_linesItem; }

signals:
    // The reading nearest to the cursor: series and point of the shape.
    void hovered(int series, qsizetype point);
    // The time range shown changed (every frame of a zoom or pan).
    void viewChanged();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct SeriesLines {
        QLineSeries* legend = nullptr;  // the first line; its legend entry is the series'
        std::vector<QLineSeries*> more; // further lines of a broken series
        bool shown = true;
        // Record times at or above the alarm levels, worked out once per shape and levels.
        std::vector<std::pair<RecordTime, RecordTime>> aboveLow;
        std::vector<std::pair<RecordTime, RecordTime>> aboveHigh;
    };

    void clearSeries();
    QLineSeries* addLegendEntry(const QColor& colour);
    void redraw();
    void hoverAt(const QPointF& position);
    // Where readings lie in chart coordinates, for the view as it stands: per pane its
    // rectangle and value range.
    struct Placement {
        QRectF plot;
        double minX = 0, maxX = 1, minY = 0, maxY = 1; // axis milliseconds and values
    };
    Placement placement(int pane) const;
    QPointF placeOf(const Placement& placement, double time, double value) const;
    QColor colourOf(int series) const;
    // The panes for the series shown now, with their value axes; paneOfSeries gets each
    // series' pane (-1 when hidden).
    std::vector<RecordLinesItem::Pane> layOutPanes(std::vector<int>& paneOfSeries) const;
    std::vector<RecordLinesItem::Tick> placeTimeTicks() const;
    std::vector<std::pair<qreal, qreal>>
    spansInView(const std::vector<std::pair<RecordTime, RecordTime>>& spans,
                const Placement& place) const;

    // The axis shows local time of the computer, the records carry the instrument's wall clock:
    // a record's time is placed where the local clock showed that same time.
    qint64 axisMsOf(double recordTime) const;
    double recordTimeOf(qint64 axisMs) const;
    qint64 localOffsetAt(RecordTime time) const;

    const RecordShape* m_shape = nullptr;
    std::vector<SeriesLines> m_lines;
    QDateTimeAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    QGraphicsEllipseItem* m_marker = nullptr;
    RecordLinesItem* m_linesItem = nullptr;
    bool m_redrawing = false;
    bool m_panning = false;
    QPointF m_panFrom;
    mutable QHash<qint64, qint64> m_offsetByHour;
};
