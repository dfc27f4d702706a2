#pragma once

#include "records/recordtime.h"

#include <QString>
#include <vector>

// Where a chart's axes put their ticks, and what they read.

// A tick of the time axis: its record time, the time of day as it reads, and the date where a
// reader needs it (under the first tick and the first tick of each new day), else empty.
struct TimeTick {
    RecordTime time = 0;
    QString label;
    QString date;
};

// Ticks at round times (whole seconds, minutes, hours or days) for the view from `from` to
// `to`, at most `maxTicks` of them: "14:07:30" when they are seconds apart, "14:07" when
// minutes or hours, "2025-03-07" when days.
std::vector<TimeTick> timeTicks(double from, double to, int maxTicks);

// A value axis from `low` to `high` with round ends and steps (1, 2 or 5 times a power of
// ten) and labels with as many decimals as the step needs.
struct ValueScale {
    double min = 0;
    double max = 1;
    std::vector<double> ticks;
    std::vector<QString> labels;
};
ValueScale valueScale(double low, double high, int maxTicks);
