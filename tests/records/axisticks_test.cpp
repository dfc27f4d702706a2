// The chart's axes: time ticks at round steps with the date where the view crosses midnight,
// value axes with round ends.
#include "records/axisticks.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

constexpr RecordTime kMarch7 = 20154 * 86400; // 2025-03-07 00:00:00

QStringList labels(const std::vector<TimeTick>& ticks) {
    QStringList texts;
    for (const TimeTick& tick : ticks) {
        texts << tick.label + (tick.date.isEmpty() ? QString() : QLatin1Char('/') + tick.date);
    }
    return texts;
}

QStringList labels(const ValueScale& scale) {
    return QStringList(scale.labels.begin(), scale.labels.end());
}

} // namespace

TEST(AxisTicks, TimeLabelsAdaptToTheSpanAndDateEachNewDay) {
    // Two hours across midnight, at most eight labels: every 15 minutes.
    const double evening = double(kMarch7 + 23 * 3600);
    EXPECT_EQ(labels(timeTicks(evening - 60, evening + 7200, 9)),
              QStringList({"23:00/2025-03-07", "23:15", "23:30", "23:45", "00:00/2025-03-08",
                           "00:15", "00:30", "00:45", "01:00"}));
    // Half a minute: seconds.
    const double noon = double(kMarch7 + 12 * 3600);
    EXPECT_EQ(labels(timeTicks(noon + 1, noon + 31, 4)),
              QStringList({"12:00:10/2025-03-07", "12:00:20", "12:00:30"}));
    // A week: days.
    EXPECT_EQ(labels(timeTicks(double(kMarch7) - 1, double(kMarch7) + 3 * 86400, 5)),
              QStringList({"2025-03-07", "2025-03-08", "2025-03-09", "2025-03-10"}));
}

TEST(AxisTicks, ValueAxesHaveRoundEndsAndSteps) {
    ValueScale scale = valueScale(0, 15750, 5);
    EXPECT_EQ(labels(scale), QStringList({"0", "5000", "10000", "15000", "20000"}));
    scale = valueScale(20.1, 21.0, 5);
    EXPECT_EQ(labels(scale), QStringList({"20.0", "20.5", "21.0"}));
    scale = valueScale(-2.5, 3, 4);
    EXPECT_EQ(labels(scale), QStringList({"-4", "-2", "0", "2", "4"}));
}
