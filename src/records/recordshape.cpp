#include "records/recordshape.h"

#include "records/recordsheet.h"

#include <QHash>
#include <algorithm>

namespace {

// The median of the forward steps between consecutive records: robust against the few long
// pauses (instrument switched off) and the clock being set back.
RecordTime typicalInterval(const std::vector<RecordTime>& times) {
    std::vector<RecordTime> steps;
    steps.reserve(times.size());
    RecordTime previous = RecordSheet::kNoTime;
    for (RecordTime time : times) {
        if (time == RecordSheet::kNoTime) {
            continue;
        }
        if (previous != RecordSheet::kNoTime && time > previous) {
            steps.push_back(time - previous);
        }
        previous = time;
    }
    if (steps.empty()) {
        return 1;
    }
    const auto middle = steps.begin() + qsizetype(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return *middle;
}

QString seriesName(int channel, const QString& gas, const QString& unit) {
    QString name = QStringLiteral("CH%1").arg(channel);
    for (const QString& part : {gas, unit}) {
        if (!part.isEmpty()) {
            name += QLatin1Char(' ') + part;
        }
    }
    return name;
}

bool isUnused(const RecordCell& cell) {
    return cell.gas == 0 && cell.unit == 0 && cell.reading == 0 && cell.value != cell.value;
}

constexpr qint64 kUnusedChannel = -2;
constexpr qint64 kNothingYet = -1;

// Drops series without a point, orders them by channel (a channel's gases in the order they
// appeared), numbers the variants of a channel and takes each series' value range and the
// shape's time range.
void finishSeries(RecordShape& shape, std::vector<RecordSeries> series) {
    std::erase_if(series, [](const RecordSeries& s) { return s.points.empty(); });
    std::stable_sort(
        series.begin(), series.end(),
        [](const RecordSeries& a, const RecordSeries& b) { return a.channel < b.channel; });
    bool anyPoint = false;
    int variant = 0;
    for (size_t i = 0; i < series.size(); ++i) {
        RecordSeries& s = series[i];
        variant = i > 0 && series[i - 1].channel == s.channel ? variant + 1 : 0;
        s.variant = variant;
        const auto [low, high] = std::minmax_element(
            s.points.begin(), s.points.end(),
            [](const RecordPoint& a, const RecordPoint& b) { return a.value < b.value; });
        s.minValue = low->value;
        s.maxValue = high->value;
        for (const RecordPoint& point : s.points) {
            if (!anyPoint || point.time < shape.firstTime) {
                shape.firstTime = point.time;
            }
            if (!anyPoint || point.time > shape.lastTime) {
                shape.lastTime = point.time;
            }
            anyPoint = true;
        }
        s.points.shrink_to_fit();
    }
    shape.series = std::move(series);
}

} // namespace

RecordShape shapeRecords(const RecordSheet& sheet) {
    RecordShape shape;
    shape.records = sheet.recordCount();
    shape.interval = typicalInterval(sheet.times);
    const RecordTime gap = shape.interval * RecordShape::kGapIntervals;

    std::vector<RecordSeries> series;
    QHash<quint64, size_t> seriesOfKey;
    // Per channel, the series its previous timed record belonged to: a reading of another
    // series in between ends the segment.
    std::vector<qint64> previousSeries(size_t(sheet.channelCount), kNothingYet);

    for (qsizetype record = 0; record < sheet.recordCount(); ++record) {
        const RecordTime time = sheet.times[size_t(record)];
        if (time == RecordSheet::kNoTime) {
            ++shape.withoutTime;
            continue;
        }
        for (int channel = 1; channel <= sheet.channelCount; ++channel) {
            const RecordCell& cell = sheet.cell(record, channel);
            qint64& previous = previousSeries[size_t(channel - 1)];
            if (isUnused(cell)) {
                previous = kUnusedChannel;
                continue;
            }
            const quint64 key =
                (quint64(channel) << 60) | (quint64(cell.gas) << 30) | quint64(cell.unit);
            auto found = seriesOfKey.constFind(key);
            if (found == seriesOfKey.cend()) {
                RecordSeries created;
                created.channel = channel;
                created.gas = sheet.text(cell.gas);
                created.unit = sheet.text(cell.unit);
                created.name = seriesName(channel, created.gas, created.unit);
                series.push_back(std::move(created));
                found = seriesOfKey.insert(key, series.size() - 1);
            }
            const size_t index = *found;
            if (cell.value != cell.value) {
                ++shape.notNumeric;
                previous = qint64(index);
                continue;
            }
            RecordSeries& s = series[index];
            const bool startsSegment = s.points.empty() || previous != qint64(index) ||
                                       time < s.points.back().time ||
                                       time - s.points.back().time > gap;
            if (startsSegment) {
                s.segmentStarts.push_back(s.points.size());
            }
            s.points.push_back(RecordPoint{time, cell.value, qint32(record)});
            previous = qint64(index);
        }
    }

    finishSeries(shape, std::move(series));
    return shape;
}

void applyAlarms(RecordShape& shape, const std::vector<ChannelAlarm>& alarms) {
    for (RecordSeries& s : shape.series) {
        s.lowAlarm.reset();
        s.highAlarm.reset();
        for (const ChannelAlarm& alarm : alarms) {
            if (alarm.channel != s.channel || alarm.gas != s.gas) {
                continue;
            }
            if (!alarm.unit.isEmpty() && !s.unit.isEmpty() && alarm.unit != s.unit) {
                continue;
            }
            s.lowAlarm = alarm.low;
            s.highAlarm = alarm.high;
        }
    }
}
