#include "app/recordswindow/recordschartview.h"

#include "app/recordswindow/recordlinesitem.h"
#include "records/axisticks.h"
#include "records/decimation.h"
#include "records/exposure.h"
#include "records/recordshape.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsEllipseItem>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScopedValueRollback>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

// One colour per channel, so that a channel's alarm levels and its lines match; a channel's
// second gas is drawn darker.
const QColor kChannelColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                                  QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28),
                                  QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b)};
constexpr double kWheelStep = 0.8;  // view width per wheel notch towards the cursor
constexpr double kShortestView = 2; // seconds
constexpr double kValueMargin = 0.05;
constexpr qreal kPaneGap = 6;
// Room per tick: a value label's height and a bit, a time label's width and a bit.
constexpr qreal kValueTickRoom = 26;
constexpr qreal kTimeTickGap = 28;

qint64 floorDiv(qint64 a, qint64 b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// The values a pane must show: its series' readings and alarm levels, with a little room, and
// nothing below zero unless a reading is.
std::pair<double, double> paneValueRange(const std::vector<const RecordSeries*>& series) {
    double low = series.front()->minValue;
    double high = series.front()->maxValue;
    for (const RecordSeries* s : series) {
        for (const std::optional<double>& v :
             {std::optional<double>(s->minValue), std::optional<double>(s->maxValue), s->lowAlarm,
              s->highAlarm}) {
            if (v) {
                low = std::min(low, *v);
                high = std::max(high, *v);
            }
        }
    }
    const bool negative = low < 0;
    double margin = (high - low) * kValueMargin;
    if (margin <= 0) {
        margin = std::max(1.0, std::abs(high) * kValueMargin);
    }
    low -= margin;
    high += margin;
    if (!negative) {
        low = std::max(0.0, low);
    }
    return {low, high};
}

} // namespace

RecordsChartView::RecordsChartView(QWidget* parent) : QChartView(new QChart, parent) {
    setObjectName(QStringLiteral("recordsChart"));
    QChart* c = chart();
    c->setAnimationOptions(QChart::NoAnimation);
    // Beside the plot: a row below it cuts the names short once there are six lines.
    c->legend()->setAlignment(Qt::AlignRight);
    // The panes draw their own axes: the chart's hold the time range and leave room for them.
    QFont labels = font();
    labels.setPointSizeF(labels.pointSizeF() * 0.9);
    QFont titles = labels;
    titles.setBold(true);
    const QFontMetrics metrics(labels);
    c->setMargins(QMargins(metrics.horizontalAdvance(QStringLiteral("-00000.00")) + 8, 6, 4,
                           2 * metrics.height() + 8));
    m_axisX = new QDateTimeAxis;
    m_axisX->setVisible(false);
    m_axisY = new QValueAxis;
    m_axisY->setVisible(false);
    m_axisY->setRange(0, 1);
    c->addAxis(m_axisX, Qt::AlignBottom);
    c->addAxis(m_axisY, Qt::AlignLeft);
    setRubberBand(QChartView::HorizontalRubberBand);
    setRenderHint(QPainter::Antialiasing, false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);

    m_linesItem = new RecordLinesItem(c);
    m_linesItem->setZValue(4); // where Qt Charts puts its series: above the grid, below the legend
    m_linesItem->setFonts(labels, titles);
    m_marker = new QGraphicsEllipseItem(-4, -4, 8, 8, c);
    m_marker->setZValue(1000);
    m_marker->setPen(QPen(Qt::black, 1));
    m_marker->hide();

    connect(m_axisX, &QDateTimeAxis::rangeChanged, this, [this] { redraw(); });
    connect(c, &QChart::plotAreaChanged, this, [this] { redraw(); });
}

void RecordsChartView::clearSeries() {
    m_marker->hide();
    m_linesItem->setLines({});
    m_linesItem->setPanes({}, {});
    chart()->removeAllSeries();
    m_lines.clear();
}

QLineSeries* RecordsChartView::addLegendEntry(const QColor& colour) {
    auto* line = new QLineSeries;
    line->setPen(QPen(colour, 1));
    chart()->addSeries(line);
    line->attachAxis(m_axisX);
    line->attachAxis(m_axisY);
    return line;
}

QColor RecordsChartView::colourOf(int series) const {
    const RecordSeries& s = m_shape->series[size_t(series)];
    const QColor base = kChannelColours[(s.channel - 1) % 6];
    return s.variant == 0 ? base : base.darker(100 + 45 * s.variant);
}

void RecordsChartView::setShape(const RecordShape* shape) {
    // Series come and go below: nothing is drawn until all are in place.
    m_redrawing = true;
    clearSeries();
    m_shape = shape;
    if (!shape) {
        m_redrawing = false;
        return;
    }
    m_offsetByHour.clear();
    for (size_t i = 0; i < shape->series.size(); ++i) {
        const QColor colour = colourOf(int(i));
        SeriesLines lines;
        lines.legend = addLegendEntry(colour);
        lines.legend->setName(shape->series[i].name);
        m_lines.push_back(lines);
        for (QLegendMarker* marker : chart()->legend()->markers(lines.legend)) {
            connect(marker, &QLegendMarker::clicked, this,
                    [this, i] { setSeriesShown(int(i), !isSeriesShown(int(i))); });
        }
    }
    refreshAlarms();
    m_redrawing = false;
    resetView();
}

void RecordsChartView::refreshAlarms() {
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const RecordSeries& s = m_shape->series[i];
        m_lines[i].aboveLow = spansAtOrAbove(s, s.lowAlarm, m_shape->interval);
        m_lines[i].aboveHigh = spansAtOrAbove(s, s.highAlarm, m_shape->interval);
    }
    redraw(); // the panes' value axes take the levels in
}

bool RecordsChartView::isSeriesShown(int series) const {
    return series >= 0 && size_t(series) < m_lines.size() && m_lines[size_t(series)].shown;
}

void RecordsChartView::setSeriesShown(int series, bool shown) {
    if (series < 0 || size_t(series) >= m_lines.size()) {
        return;
    }
    SeriesLines& lines = m_lines[size_t(series)];
    lines.shown = shown;
    // The legend entry's series holds no points and stays visible: a hidden line keeps its
    // entry, dimmed, so that it can be shown again.
    for (QLegendMarker* marker : chart()->legend()->markers(lines.legend)) {
        QColor label = chart()->legend()->labelColor();
        label.setAlphaF(shown ? 1.0 : 0.4);
        marker->setLabelBrush(label);
        QBrush brush = marker->brush();
        QColor fill = brush.color();
        fill.setAlphaF(shown ? 1.0 : 0.25);
        brush.setColor(fill);
        marker->setBrush(brush);
    }
    m_marker->hide();
    redraw();
}

qsizetype RecordsChartView::drawnPointCount(int series) const {
    const auto& drawn = m_linesItem->lines();
    if (series < 0 || size_t(series) >= drawn.size()) {
        return 0;
    }
    qsizetype count = 0;
    for (const QPolygonF& polyline : drawn[size_t(series)].polylines) {
        count += polyline.size();
    }
    return count;
}

std::vector<double> RecordsChartView::drawnAlarmLevels(int series) const {
    std::vector<double> levels;
    const auto& drawn = m_linesItem->lines();
    if (series < 0 || size_t(series) >= drawn.size() || drawn[size_t(series)].pane < 0) {
        return levels;
    }
    const Placement p = placement(drawn[size_t(series)].pane);
    for (qreal y : drawn[size_t(series)].levels) {
        levels.push_back(p.minY + (p.plot.bottom() - y) / p.plot.height() * (p.maxY - p.minY));
    }
    return levels;
}

QLineSeries* RecordsChartView::legendSeries(int series) const {
    return series >= 0 && size_t(series) < m_lines.size() ? m_lines[size_t(series)].legend
                                                          : nullptr;
}

std::pair<double, double> RecordsChartView::timeRange() const {
    return {recordTimeOf(m_axisX->min().toMSecsSinceEpoch()),
            recordTimeOf(m_axisX->max().toMSecsSinceEpoch())};
}

void RecordsChartView::setTimeRange(double from, double to) {
    if (to - from < kShortestView) {
        const double middle = (from + to) / 2;
        from = middle - kShortestView / 2;
        to = middle + kShortestView / 2;
    }
    m_axisX->setRange(QDateTime::fromMSecsSinceEpoch(axisMsOf(from)),
                      QDateTime::fromMSecsSinceEpoch(axisMsOf(to)));
}

void RecordsChartView::resetView() {
    if (!m_shape || m_shape->series.empty()) {
        return;
    }
    double from = double(m_shape->firstTime);
    double to = double(m_shape->lastTime);
    if (to - from < 60) {
        from -= 30;
        to += 30;
    }
    // Drawn once, also when the range stays as it was (the same day read again).
    m_redrawing = true;
    setTimeRange(from, to);
    m_redrawing = false;
    redraw();
}

std::vector<RecordLinesItem::Pane>
RecordsChartView::layOutPanes(std::vector<int>& paneOfSeries) const {
    // A pane per channel with a line shown, in channel order (the series come so).
    std::vector<std::vector<const RecordSeries*>> members;
    std::vector<RecordLinesItem::Pane> panes;
    paneOfSeries.assign(m_lines.size(), -1);
    int lastChannel = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const RecordSeries& s = m_shape->series[i];
        if (!m_lines[i].shown) {
            continue;
        }
        if (panes.empty() || s.channel != lastChannel) {
            panes.emplace_back();
            members.emplace_back();
            lastChannel = s.channel;
        }
        RecordLinesItem::Pane& pane = panes.back();
        pane.title += (pane.title.isEmpty() ? QString() : QStringLiteral("  /  ")) + s.name;
        members.back().push_back(&s);
        paneOfSeries[i] = int(panes.size() - 1);
    }
    const QRectF plot = chart()->plotArea();
    const qreal count = qreal(panes.size());
    const qreal height = std::max<qreal>(1, (plot.height() - kPaneGap * (count - 1)) / count);
    for (size_t k = 0; k < panes.size(); ++k) {
        RecordLinesItem::Pane& pane = panes[k];
        pane.rect =
            QRectF(plot.left(), plot.top() + qreal(k) * (height + kPaneGap), plot.width(), height);
        const auto [low, high] = paneValueRange(members[k]);
        const int ticks = std::clamp(int(height / kValueTickRoom), 2, 6);
        const ValueScale scale = valueScale(low, high, ticks);
        pane.valueMin = scale.min;
        pane.valueMax = scale.max;
        for (size_t t = 0; t < scale.ticks.size(); ++t) {
            const qreal y = pane.rect.bottom() - (scale.ticks[t] - scale.min) /
                                                     (scale.max - scale.min) * pane.rect.height();
            pane.valueTicks.push_back({y, scale.labels[t], QString()});
        }
    }
    return panes;
}

std::vector<RecordLinesItem::Tick> RecordsChartView::placeTimeTicks() const {
    std::vector<RecordLinesItem::Tick> placed;
    const auto [from, to] = timeRange();
    const QRectF plot = chart()->plotArea();
    const QFontMetrics metrics(font());
    const qreal room = metrics.horizontalAdvance(QStringLiteral("0000-00-00")) + kTimeTickGap;
    const Placement place{plot, double(m_axisX->min().toMSecsSinceEpoch()),
                          double(m_axisX->max().toMSecsSinceEpoch()), 0, 1};
    for (const TimeTick& tick : timeTicks(from, to, std::max(2, int(plot.width() / room)))) {
        placed.push_back({placeOf(place, double(tick.time), 0).x(), tick.label, tick.date});
    }
    return placed;
}

std::vector<std::pair<qreal, qreal>>
RecordsChartView::spansInView(const std::vector<std::pair<RecordTime, RecordTime>>& spans,
                              const Placement& place) const {
    std::vector<std::pair<qreal, qreal>> inView;
    const auto [from, to] = timeRange();
    auto it = std::lower_bound(spans.begin(), spans.end(), from,
                               [](const auto& span, double t) { return double(span.second) < t; });
    for (; it != spans.end() && double(it->first) <= to; ++it) {
        const qreal left = placeOf(place, std::max(double(it->first), from), 0).x();
        const qreal right = placeOf(place, std::min(double(it->second), to), 0).x();
        // Spans less than a pixel apart are one to the eye.
        if (!inView.empty() && left - inView.back().second < 1) {
            inView.back().second = right;
        } else {
            inView.emplace_back(left, right);
        }
    }
    return inView;
}

void RecordsChartView::redraw() {
    if (!m_shape || m_redrawing) {
        return;
    }
    QScopedValueRollback guard(m_redrawing, true);
    const auto [from, to] = timeRange();
    std::vector<int> paneOfSeries;
    m_linesItem->setArea(chart()->rect());
    m_linesItem->setPanes(layOutPanes(paneOfSeries), placeTimeTicks());
    const int columns = std::max(1, int(chart()->plotArea().width()));
    std::vector<RecordLinesItem::Lines> drawn(m_lines.size());
    for (size_t i = 0; i < m_lines.size(); ++i) {
        drawn[i].colour = colourOf(int(i));
        drawn[i].pane = paneOfSeries[i];
        if (drawn[i].pane < 0) {
            continue;
        }
        const Placement place = placement(drawn[i].pane);
        const RecordSeries& s = m_shape->series[i];
        for (const std::vector<size_t>& line : decimateSeries(s, from, to, columns)) {
            QPolygonF polyline;
            polyline.reserve(qsizetype(line.size()));
            for (size_t index : line) {
                polyline.append(
                    placeOf(place, double(s.points[index].time), s.points[index].value));
            }
            drawn[i].polylines.push_back(std::move(polyline));
        }
        for (const std::optional<double>& level : {s.lowAlarm, s.highAlarm}) {
            if (level) {
                drawn[i].levels.push_back(placeOf(place, 0, *level).y());
            }
        }
        drawn[i].aboveLow = spansInView(m_lines[i].aboveLow, place);
        drawn[i].aboveHigh = spansInView(m_lines[i].aboveHigh, place);
    }
    m_linesItem->setLines(std::move(drawn));
    emit viewChanged();
}

RecordsChartView::Placement RecordsChartView::placement(int pane) const {
    const RecordLinesItem::Pane& p = m_linesItem->panes()[size_t(pane)];
    return Placement{p.rect, double(m_axisX->min().toMSecsSinceEpoch()),
                     double(m_axisX->max().toMSecsSinceEpoch()), p.valueMin, p.valueMax};
}

QPointF RecordsChartView::placeOf(const Placement& p, double time, double value) const {
    const double x = p.maxX > p.minX ? (double(axisMsOf(time)) - p.minX) / (p.maxX - p.minX) : 0;
    const double y = p.maxY > p.minY ? (value - p.minY) / (p.maxY - p.minY) : 0;
    return QPointF(p.plot.left() + x * p.plot.width(), p.plot.bottom() - y * p.plot.height());
}

qint64 RecordsChartView::localOffsetAt(RecordTime time) const {
    const qint64 hour = floorDiv(time, 3600);
    const auto found = m_offsetByHour.constFind(hour);
    if (found != m_offsetByHour.cend()) {
        return *found;
    }
    const QDateTime wall = QDateTime::fromSecsSinceEpoch(hour * 3600, Qt::UTC);
    const qint64 offset = QDateTime(wall.date(), wall.time(), Qt::LocalTime).offsetFromUtc();
    m_offsetByHour.insert(hour, offset);
    return offset;
}

qint64 RecordsChartView::axisMsOf(double recordTime) const {
    const qint64 offset = localOffsetAt(RecordTime(std::floor(recordTime)));
    return qint64(std::llround((recordTime - double(offset)) * 1000.0));
}

double RecordsChartView::recordTimeOf(qint64 axisMs) const {
    const double seconds = double(axisMs) / 1000.0;
    const qint64 guess = localOffsetAt(RecordTime(std::floor(seconds)));
    return seconds + double(localOffsetAt(RecordTime(std::floor(seconds + double(guess)))));
}

void RecordsChartView::wheelEvent(QWheelEvent* event) {
    const QRectF plot = chart()->plotArea();
    if (!m_shape || plot.width() <= 0 || event->angleDelta().y() == 0) {
        event->ignore();
        return;
    }
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    const auto [from, to] = timeRange();
    const double fraction = std::clamp((at.x() - plot.left()) / plot.width(), 0.0, 1.0);
    const double anchor = from + (to - from) * fraction;
    const double factor = std::pow(kWheelStep, event->angleDelta().y() / 120.0);
    setTimeRange(anchor - (anchor - from) * factor, anchor + (to - anchor) * factor);
    event->accept();
}

void RecordsChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton ||
        (event->button() == Qt::LeftButton && event->modifiers() & Qt::ShiftModifier)) {
        m_panning = true;
        m_panFrom = event->position();
        setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void RecordsChartView::mouseMoveEvent(QMouseEvent* event) {
    if (m_panning) {
        const QPointF delta = event->position() - m_panFrom;
        m_panFrom = event->position();
        chart()->scroll(-delta.x(), 0);
        event->accept();
        return;
    }
    if (event->buttons() == Qt::NoButton) {
        hoverAt(event->position());
    }
    QChartView::mouseMoveEvent(event);
}

void RecordsChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_panning) {
        m_panning = false;
        unsetCursor();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void RecordsChartView::keyPressEvent(QKeyEvent* event) {
    const QRectF plot = chart()->plotArea();
    switch (event->key()) {
    case Qt::Key_Left:
        chart()->scroll(-plot.width() / 10, 0);
        break;
    case Qt::Key_Right:
        chart()->scroll(plot.width() / 10, 0);
        break;
    case Qt::Key_Plus:
        chart()->zoom(1 / kWheelStep);
        break;
    case Qt::Key_Minus:
        chart()->zoom(kWheelStep);
        break;
    case Qt::Key_Home:
        resetView();
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}

void RecordsChartView::hoverAt(const QPointF& position) {
    const QPointF at = chart()->mapFromScene(mapToScene(position.toPoint()));
    const QRectF plot = chart()->plotArea();
    const auto& panes = m_linesItem->panes();
    if (!m_shape || !plot.contains(at) || panes.empty()) {
        m_marker->hide();
        return;
    }
    // The pane under the cursor, or the nearest one when it is between two.
    int pane = 0;
    for (size_t k = 0; k < panes.size(); ++k) {
        const qreal distance =
            std::max(panes[k].rect.top() - at.y(), at.y() - panes[k].rect.bottom());
        const qreal best = std::max(panes[size_t(pane)].rect.top() - at.y(),
                                    at.y() - panes[size_t(pane)].rect.bottom());
        if (distance < best) {
            pane = int(k);
        }
    }
    const auto [from, to] = timeRange();
    const double time = from + (to - from) * (at.x() - plot.left()) / plot.width();
    const Placement place = placement(pane);
    const auto& drawn = m_linesItem->lines();
    int bestSeries = -1;
    size_t bestPoint = 0;
    double bestDistance = 0;
    for (size_t i = 0; i < m_lines.size() && i < drawn.size(); ++i) {
        if (drawn[i].pane != pane) {
            continue;
        }
        const RecordSeries& s = m_shape->series[i];
        for (size_t seg = 0; seg < s.segmentCount(); ++seg) {
            const auto first = s.points.begin() + qsizetype(s.segmentStarts[seg]);
            const auto last = s.points.begin() + qsizetype(s.segmentEnd(seg));
            const auto next =
                std::lower_bound(first, last, time,
                                 [](const RecordPoint& p, double t) { return double(p.time) < t; });
            for (auto it : {next, next - 1}) {
                if (it < first || it >= last) {
                    continue;
                }
                const double distance =
                    QLineF(placeOf(place, double(it->time), it->value), at).length();
                if (bestSeries < 0 || distance < bestDistance) {
                    bestSeries = int(i);
                    bestPoint = size_t(it - s.points.begin());
                    bestDistance = distance;
                }
            }
        }
    }
    if (bestSeries < 0) {
        m_marker->hide();
        return;
    }
    const RecordPoint& p = m_shape->series[size_t(bestSeries)].points[bestPoint];
    m_marker->setPos(placeOf(place, double(p.time), p.value));
    m_marker->setBrush(colourOf(bestSeries));
    m_marker->show();
    emit hovered(bestSeries, qsizetype(bestPoint));
}
