#pragma once

#include "records/recordtime.h"

#include <QChartView>
#include <QHash>
#include <optional>
#include <vector>

class QDateTimeAxis;
class QGraphicsEllipseItem;
class QLineSeries;
class QValueAxis;
class RecordLinesItem;
struct RecordShape;

// The chart of the Records window: one line per series of the shape, in its channel's colour,
// dashed alarm levels in the same colour, a legend whose entries hide and show their series.
// Zoom with a rubber band or the wheel, pan with the middle button (or Shift and the left
// button) or the arrow keys, reset with Home. Only what a pixel column can show is drawn: per
// column the lowest and the highest reading (see decimateSeries), redrawn on every change of
// the view by RecordLinesItem; the chart's own series carry the legend and the alarm levels.
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

signals:
    // The reading nearest to the cursor: series and point of the shape.
    void hovered(int series, qsizetype point);

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
        QLineSeries* low = nullptr;
        QLineSeries* high = nullptr;
        bool shown = true;
    };

    void clearSeries();
    QLineSeries* addLegendEntry(const QColor& colour);
    void redraw();
    void fitValues();
    void hoverAt(const QPointF& position);
    // Where readings lie in chart coordinates, for the view as it stands.
    struct Placement {
        QRectF plot;
        double minX = 0, maxX = 1, minY = 0, maxY = 1; // axis milliseconds and values
    };
    Placement placement() const;
    QPointF placeOf(const Placement& placement, RecordTime time, double value) const;
    QColor colourOf(int series) const;

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
