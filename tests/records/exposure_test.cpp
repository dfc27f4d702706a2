// The exposure summary against tables worked out by hand: per day and channel the count, the
// lowest, highest and mean reading, TWA over 8 h and the highest 15-minute mean for toxic gases,
// and the minutes at or above the alarm levels.
#include "records/exposure.h"
#include "records/exposurecsv.h"
#include "records/recordshape.h"

#include <gtest/gtest.h>

namespace {

// 2025-03-07 00:00:00 on the instrument's clock.
constexpr RecordTime kDay = 20154 * kSecondsPerDay;

RecordTime at(int hour, int minute, int second = 0) {
    return kDay + hour * 3600 + minute * 60 + second;
}

// `count` readings `step` seconds apart from `start`, each given by `value(n)`.
template <typename Value>
void addReadings(RecordSeries& s, RecordTime start, int step, int count, Value value) {
    for (int n = 0; n < count; ++n) {
        s.points.push_back(RecordPoint{start + RecordTime(n) * step, double(value(n)), 0});
    }
}

RecordSeries series(const char* gas, const char* unit, std::optional<double> low = {},
                    std::optional<double> high = {}) {
    RecordSeries s;
    s.channel = 1;
    s.gas = QString::fromLatin1(gas);
    s.unit = QString::fromLatin1(unit);
    s.lowAlarm = low;
    s.highAlarm = high;
    return s;
}

std::vector<ExposureRow> summary(const RecordSeries& s) {
    RecordShape shape;
    shape.series = {s};
    shape.interval = 10;
    return summarizeExposure(shape);
}

} // namespace

TEST(Exposure, ConstantReadingsAndAStep) {
    // 10 PPM every 10 s for eight hours: the TWA is the reading.
    RecordSeries constant = series("CO", "PPM", 5, 35);
    addReadings(constant, at(8, 0), 10, 2880, [](int) { return 10; });
    auto rows = summary(constant);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].date, QDate(2025, 3, 7));
    EXPECT_EQ(rows[0].records, 2880);
    EXPECT_DOUBLE_EQ(rows[0].min, 10);
    EXPECT_DOUBLE_EQ(rows[0].max, 10);
    EXPECT_DOUBLE_EQ(rows[0].mean, 10);
    EXPECT_DOUBLE_EQ(*rows[0].twa8h, 10);
    EXPECT_DOUBLE_EQ(*rows[0].stel15min, 10);
    EXPECT_DOUBLE_EQ(*rows[0].minutesAboveLow, 480);
    EXPECT_DOUBLE_EQ(*rows[0].minutesAboveHigh, 0);

    // Every 5 min: 0 for four hours, then 20 for four hours. At or above 20 counts.
    RecordSeries step = series("H2S", "ppm", 20, 25);
    addReadings(step, at(8, 0), 300, 96, [](int n) { return n < 48 ? 0 : 20; });
    rows = summary(step);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_DOUBLE_EQ(rows[0].mean, 10);
    EXPECT_DOUBLE_EQ(*rows[0].twa8h, 10);
    EXPECT_DOUBLE_EQ(*rows[0].stel15min, 20);
    EXPECT_DOUBLE_EQ(*rows[0].minutesAboveLow, 240);
    EXPECT_DOUBLE_EQ(*rows[0].minutesAboveHigh, 0);

    // A peak every 5 min: 0, 0, 30, 60, 0, 0. Windows start at 0, 5, 10 and 15 min (the last
    // reading holds until 30 min): means 10, 30, 30, 20.
    RecordSeries peak = series("NO2", "mg/m3");
    const double readings[] = {0, 0, 30, 60, 0, 0};
    addReadings(peak, at(9, 0), 300, 6, [&](int n) { return readings[n]; });
    rows = summary(peak);
    EXPECT_DOUBLE_EQ(*rows[0].stel15min, 30);
    EXPECT_DOUBLE_EQ(*rows[0].twa8h, 90.0 * 300 / 28800);
    EXPECT_DOUBLE_EQ(rows[0].max, 60);
    EXPECT_DOUBLE_EQ(rows[0].mean, 15);
    EXPECT_FALSE(rows[0].minutesAboveLow);
    EXPECT_FALSE(rows[0].minutesAboveHigh);
}

TEST(Exposure, AGapLongerThanTheMedianIntervalCountsAsNoExposure) {
    // 50 PPM every 10 s from 08:00 to 09:00 and from 12:00 to 13:00: two hours held.
    RecordSeries s = series("CO", "PPM", 35, 100);
    addReadings(s, at(8, 0), 10, 360, [](int) { return 50; });
    addReadings(s, at(12, 0), 10, 360, [](int) { return 50; });
    auto rows = summary(s);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].records, 720);
    EXPECT_DOUBLE_EQ(*rows[0].twa8h, 12.5);
    EXPECT_DOUBLE_EQ(*rows[0].stel15min, 50);
    EXPECT_DOUBLE_EQ(*rows[0].minutesAboveLow, 120);
    // The chart shades the same two hours.
    using Spans = std::vector<std::pair<RecordTime, RecordTime>>;
    EXPECT_EQ(spansAtOrAbove(s, 35, 10), (Spans{{at(8, 0), at(9, 0)}, {at(12, 0), at(13, 0)}}));
    EXPECT_EQ(spansAtOrAbove(s, 51, 10), Spans{});

    // 90 PPM 08:00 to 08:10 and 08:20 to 08:30: the window from 08:00 holds 10 of 15 minutes;
    // windows from 08:20 on would end after the last reading.
    RecordSeries gap = series("CO", "PPM");
    addReadings(gap, at(8, 0), 10, 60, [](int) { return 90; });
    addReadings(gap, at(8, 20), 10, 60, [](int) { return 90; });
    rows = summary(gap);
    EXPECT_DOUBLE_EQ(*rows[0].stel15min, 60);
    EXPECT_DOUBLE_EQ(*rows[0].twa8h, 90.0 * 1200 / 28800);
}

TEST(Exposure, ShortDaysHaveNoStelAndMidnightSplitsTheDay) {
    // Ten minutes every 10 s: no 15-minute window; 15 minutes: exactly one.
    RecordSeries tenMinutes = series("CO", "PPM");
    addReadings(tenMinutes, at(10, 0), 10, 60, [](int) { return 12; });
    auto rows = summary(tenMinutes);
    EXPECT_DOUBLE_EQ(*rows[0].twa8h, 0.25);
    EXPECT_FALSE(rows[0].stel15min);
    RecordSeries fifteen = series("CO", "PPM");
    addReadings(fifteen, at(10, 0), 10, 90, [](int n) { return n < 45 ? 12 : 24; });
    rows = summary(fifteen);
    EXPECT_DOUBLE_EQ(*rows[0].stel15min, 18);

    // 8 PPM every minute from 23:50 to 00:09: two days of ten readings, each held a minute.
    RecordSeries night = series("H2S", "PPM", 5);
    addReadings(night, at(23, 50), 60, 20, [](int) { return 8; });
    rows = summary(night);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].date, QDate(2025, 3, 7));
    EXPECT_EQ(rows[1].date, QDate(2025, 3, 8));
    for (const ExposureRow& row : rows) {
        EXPECT_EQ(row.records, 10);
        EXPECT_DOUBLE_EQ(*row.twa8h, 8.0 * 600 / 28800);
        EXPECT_FALSE(row.stel15min);
        EXPECT_DOUBLE_EQ(*row.minutesAboveLow, 10);
    }

    // Only the readings in the range asked for count.
    RecordShape shape;
    shape.series = {night};
    rows = summarizeExposure(shape, at(23, 55), at(23, 59));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].records, 5);
}

TEST(Exposure, OxygenAndExplosiveGasHaveNoExposureLimitsAndTheCsvSaysSo) {
    RecordShape shape;
    shape.interval = 10;
    shape.series = {series("CO", "PPM", 35, 200), series("O2", "%VOL"), series("EX", "%LEL")};
    shape.series[1].channel = 3;
    shape.series[2].channel = 4;
    addReadings(shape.series[0], at(8, 0), 10, 2, [](int n) { return n == 0 ? 1.5 : 15000; });
    addReadings(shape.series[1], at(8, 0), 10, 3, [](int n) { return 20.9 - n * 0.1; });
    addReadings(shape.series[2], at(8, 0), 10, 2, [](int) { return 0; });
    const auto rows = summarizeExposure(shape);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_FALSE(rows[1].twa8h);
    EXPECT_FALSE(rows[1].stel15min);
    EXPECT_EQ(QString::fromUtf8(exposureCsv(rows)),
              QStringLiteral("date,channel,gas,unit,records,min,max,mean,twa_8h,stel_15min,"
                             "minutes_above_low,minutes_above_high\r\n"
                             "2025-03-07,1,CO,PPM,2,1.5,15000,7500.75,5.209,,0.167,0.167\r\n"
                             "2025-03-07,3,O2,%VOL,3,20.7,20.9,20.8,,,,\r\n"
                             "2025-03-07,4,EX,%LEL,2,0,0,0,,,,\r\n"));
}
