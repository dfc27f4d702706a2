#include "records/axisticks.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace {

// Steps a reader counts in: a clock's seconds, minutes and hours, then days.
constexpr RecordTime kTimeSteps[] = {1,     2,     5,     10,    15,     30,     60,
                                     120,   300,   600,   900,   1800,   3600,   7200,
                                     10800, 21600, 43200, 86400, 172800, 604800, 2419200};

RecordTime floorTo(RecordTime value, RecordTime step) {
    const RecordTime q = value / step - (value % step < 0 ? 1 : 0);
    return q * step;
}

QDateTime wallClock(RecordTime time) {
    return QDateTime::fromSecsSinceEpoch(time, QTimeZone::utc());
}

double niceStep(double span, int maxTicks) {
    const double rough = span / std::max(1, maxTicks - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= rough * (1 - 1e-9)) {
            return factor * power;
        }
    }
    return 10 * power;
}

} // namespace

std::vector<TimeTick> timeTicks(double from, double to, int maxTicks) {
    std::vector<TimeTick> ticks;
    if (!(to > from) || maxTicks < 1) {
        return ticks;
    }
    const double span = to - from;
    RecordTime step = kTimeSteps[std::size(kTimeSteps) - 1];
    for (RecordTime candidate : kTimeSteps) {
        if (span / double(candidate) <= double(maxTicks)) {
            step = candidate;
            break;
        }
    }
    const QString format = step < 60      ? QStringLiteral("HH:mm:ss")
                           : step < 86400 ? QStringLiteral("HH:mm")
                                          : QStringLiteral("yyyy-MM-dd");
    QDate lastDate;
    for (RecordTime t = floorTo(RecordTime(std::ceil(from)) + step - 1, step); double(t) <= to;
         t += step) {
        const QDateTime clock = wallClock(t);
        TimeTick tick{t, clock.toString(format), QString()};
        if (step < 86400 && clock.date() != lastDate) {
            tick.date = clock.date().toString(Qt::ISODate);
        }
        lastDate = clock.date();
        ticks.push_back(std::move(tick));
    }
    return ticks;
}

ValueScale valueScale(double low, double high, int maxTicks) {
    ValueScale scale;
    if (!(high > low)) {
        high = low + 1;
    }
    const double step = niceStep(high - low, std::max(2, maxTicks));
    scale.min = std::floor(low / step + 1e-9) * step;
    scale.max = std::ceil(high / step - 1e-9) * step;
    const int decimals = std::max(0, int(-std::floor(std::log10(step) + 1e-9)));
    const int count = int(std::llround((scale.max - scale.min) / step));
    for (int i = 0; i <= count; ++i) {
        const double v = scale.min + step * i;
        const double value = std::abs(v) < step * 1e-6 ? 0.0 : v;
        scale.ticks.push_back(value);
        scale.labels.push_back(QString::number(value, 'f', decimals));
    }
    return scale;
}
