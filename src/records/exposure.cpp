#include "records/exposure.h"

#include "records/recordshape.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

RecordTime dayOf(RecordTime time) {
    return time / kSecondsPerDay - (time % kSecondsPerDay < 0 ? 1 : 0);
}

QDate dateOfDay(RecordTime day) {
    return QDate(1970, 1, 1).addDays(day);
}

// Each reading holds until the next one, at most the day's median step; the last one holds
// the median.
void assignHeld(std::vector<HeldReading>& day, RecordTime loneInterval) {
    if (day.size() < 2) {
        for (HeldReading& reading : day) {
            reading.held = loneInterval;
        }
        return;
    }
    std::vector<RecordTime> steps;
    steps.reserve(day.size() - 1);
    for (size_t i = 0; i + 1 < day.size(); ++i) {
        steps.push_back(day[i + 1].time - day[i].time);
    }
    const auto middle = steps.begin() + qsizetype(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    const RecordTime median = *middle;
    for (size_t i = 0; i + 1 < day.size(); ++i) {
        day[i].held = std::min(day[i + 1].time - day[i].time, median);
    }
    day.back().held = median;
}

// The highest mean over kStelSeconds of the readings held as step function, over windows that
// start at a record and end before the last reading stops holding. Prefix sums of reading x
// time held make each window two lookups; the window's end only moves forward.
std::optional<double> highestStel(const std::vector<HeldReading>& day) {
    const RecordTime coverEnd = day.back().time + day.back().held;
    std::vector<double> before(day.size() + 1, 0.0); // dose of the readings before index i
    for (size_t i = 0; i < day.size(); ++i) {
        before[i + 1] = before[i] + day[i].value * double(day[i].held);
    }
    size_t last = 0; // the last reading that starts at or before the window's end
    const auto doseUntil = [&](RecordTime at, size_t from) {
        size_t j = from;
        while (j + 1 < day.size() && day[j + 1].time <= at) {
            ++j;
        }
        const double part = double(std::min(at - day[j].time, day[j].held));
        return std::pair{before[j] + day[j].value * part, j};
    };
    std::optional<double> highest;
    for (size_t k = 0; k < day.size(); ++k) {
        const RecordTime end = day[k].time + kStelSeconds;
        if (end > coverEnd) {
            break;
        }
        const auto [startDose, unused] = doseUntil(day[k].time, k);
        const auto [endDose, reached] = doseUntil(end, std::max(last, k));
        last = reached;
        const double mean = (endDose - startDose) / double(kStelSeconds);
        highest = highest ? std::max(*highest, mean) : mean;
    }
    return highest;
}

std::optional<double> minutesAtOrAbove(const std::vector<HeldReading>& day,
                                       const std::optional<double>& level) {
    if (!level) {
        return std::nullopt;
    }
    RecordTime seconds = 0;
    for (const HeldReading& reading : day) {
        if (reading.value >= *level) {
            seconds += reading.held;
        }
    }
    return double(seconds) / 60.0;
}

} // namespace

bool isExposureUnit(const QString& unit) {
    const QString u = unit.trimmed().toLower();
    return u == QLatin1String("ppm") || u == QLatin1String("ppb") || u == QLatin1String("mg/m3") ||
           u == QStringLiteral("mg/m\u00b3") || u == QLatin1String("mg/m^3");
}

std::vector<std::vector<HeldReading>> heldReadingsByDay(const RecordSeries& series, RecordTime from,
                                                        RecordTime to, RecordTime loneInterval) {
    std::vector<HeldReading> readings;
    readings.reserve(series.points.size());
    for (const RecordPoint& point : series.points) {
        if (point.time >= from && point.time <= to) {
            readings.push_back(HeldReading{point.time, point.value, 0});
        }
    }
    // Only a clock set back leaves the readings out of order.
    const auto earlier = [](const HeldReading& a, const HeldReading& b) {
        return a.time < b.time;
    };
    if (!std::is_sorted(readings.begin(), readings.end(), earlier)) {
        std::stable_sort(readings.begin(), readings.end(), earlier);
    }
    std::vector<std::vector<HeldReading>> days;
    size_t start = 0;
    for (size_t i = 1; i <= readings.size(); ++i) {
        if (i < readings.size() && dayOf(readings[i].time) == dayOf(readings[start].time)) {
            continue;
        }
        if (start == 0 && i == readings.size()) {
            days.push_back(std::move(readings)); // one day, as most workbooks hold
            assignHeld(days.back(), loneInterval);
            break;
        }
        days.emplace_back(readings.begin() + qsizetype(start), readings.begin() + qsizetype(i));
        assignHeld(days.back(), loneInterval);
        start = i;
    }
    return days;
}

ExposureRow summarizeDay(const RecordSeries& series, const std::vector<HeldReading>& day) {
    ExposureRow row;
    row.date = dateOfDay(dayOf(day.front().time));
    row.channel = series.channel;
    row.gas = series.gas;
    row.unit = series.unit;
    row.records = qsizetype(day.size());
    row.min = day.front().value;
    row.max = day.front().value;
    double sum = 0;
    double dose = 0;
    for (const HeldReading& reading : day) {
        row.min = std::min(row.min, reading.value);
        row.max = std::max(row.max, reading.value);
        sum += reading.value;
        dose += reading.value * double(reading.held);
    }
    row.mean = sum / double(day.size());
    if (isExposureUnit(series.unit)) {
        row.twa8h = dose / double(kTwaSeconds);
        row.stel15min = highestStel(day);
    }
    row.minutesAboveLow = minutesAtOrAbove(day, series.lowAlarm);
    row.minutesAboveHigh = minutesAtOrAbove(day, series.highAlarm);
    return row;
}

std::vector<ExposureRow> summarizeExposure(const RecordShape& shape, RecordTime from,
                                           RecordTime to) {
    std::vector<ExposureRow> rows;
    for (const RecordSeries& series : shape.series) {
        for (const auto& day : heldReadingsByDay(series, from, to, shape.interval)) {
            rows.push_back(summarizeDay(series, day));
        }
    }
    // Series come by channel already: a stable sort by date keeps that order within a day.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const ExposureRow& a, const ExposureRow& b) { return a.date < b.date; });
    return rows;
}

std::vector<ExposureRow> summarizeExposure(const RecordShape& shape) {
    return summarizeExposure(shape, std::numeric_limits<RecordTime>::min(),
                             std::numeric_limits<RecordTime>::max());
}

std::vector<std::pair<RecordTime, RecordTime>>
spansAtOrAbove(const RecordSeries& series, std::optional<double> level, RecordTime loneInterval) {
    std::vector<std::pair<RecordTime, RecordTime>> spans;
    if (!level) {
        return spans;
    }
    const auto days = heldReadingsByDay(series, std::numeric_limits<RecordTime>::min(),
                                        std::numeric_limits<RecordTime>::max(), loneInterval);
    for (const auto& day : days) {
        for (const HeldReading& reading : day) {
            if (reading.value < *level || reading.held <= 0) {
                continue;
            }
            const RecordTime end = reading.time + reading.held;
            if (!spans.empty() && reading.time <= spans.back().second) {
                spans.back().second = std::max(spans.back().second, end);
            } else {
                spans.emplace_back(reading.time, end);
            }
        }
    }
    return spans;
}

QString exposureNumber(double value) {
    if (!std::isfinite(value)) {
        return QString();
    }
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith(QLatin1Char('0'))) {
        text.chop(1);
    }
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}
