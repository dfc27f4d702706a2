// What of a series is drawn at a zoom level: per pixel column the lowest and highest reading,
// so that no peak disappears, lines broken where the series is, and little else.
#include "records/decimation.h"
#include "records/recordshape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

namespace {

RecordSeries seriesOf(const std::vector<double>& values, RecordTime step = 3) {
    RecordSeries s;
    s.segmentStarts = {0};
    for (size_t i = 0; i < values.size(); ++i) {
        s.points.push_back({RecordTime(i) * step, values[i], qint32(i)});
    }
    return s;
}

long columnOf(double time, double from, double to, int columns) {
    return std::clamp(long(std::floor((time - from) * columns / (to - from))), 0L,
                      long(columns - 1));
}

// Every column's lowest and highest reading among the points inside the view is drawn.
void expectExtremesKept(const RecordSeries& s, double from, double to, int columns) {
    std::map<long, std::pair<double, double>> truth, drawn;
    for (const RecordPoint& p : s.points) {
        if (p.time < from || p.time > to) {
            continue;
        }
        auto [it, fresh] = truth.try_emplace(columnOf(p.time, from, to, columns), p.value, p.value);
        it->second = {std::min(it->second.first, p.value), std::max(it->second.second, p.value)};
    }
    size_t count = 0;
    for (const auto& line : decimateSeries(s, from, to, columns)) {
        count += line.size();
        for (size_t i : line) {
            const RecordPoint& p = s.points[i];
            if (p.time < from || p.time > to) {
                continue;
            }
            auto [it, fresh] =
                drawn.try_emplace(columnOf(p.time, from, to, columns), p.value, p.value);
            it->second = {std::min(it->second.first, p.value),
                          std::max(it->second.second, p.value)};
        }
    }
    EXPECT_EQ(drawn, truth) << "view " << from << ".." << to << " over " << columns;
    // At most two readings per column, and one beyond each edge.
    EXPECT_LE(count, 2 * size_t(columns) + 2);
}

} // namespace

TEST(Decimation, EveryColumnKeepsItsMinimumAndMaximumAtAnyZoom) {
    std::mt19937 random(12);
    std::normal_distribution<double> noise(50.0, 20.0);
    std::vector<double> values(20000);
    for (double& v : values) {
        v = noise(random);
    }
    const RecordSeries s = seriesOf(values);
    const double end = double(s.points.back().time);
    std::uniform_real_distribution<double> where(-100.0, end + 100.0);
    for (int columns : {1, 7, 640, 1920}) {
        expectExtremesKept(s, 0, end, columns);
        for (int trial = 0; trial < 40; ++trial) {
            double a = where(random), b = where(random);
            if (a > b) {
                std::swap(a, b);
            }
            if (b - a > 0.5) {
                expectExtremesKept(s, a, b, columns);
            }
        }
    }
}

TEST(Decimation, ASingleSampleSpikeSurvivesEveryZoomLevel) {
    std::vector<double> values(65535, 1.0);
    values[40000] = 999.0; // one record, in a full day of flat readings
    values[40001] = -5.0;  // and a dip right after it
    const RecordSeries s = seriesOf(values);
    const double spike = double(s.points[40000].time);
    for (double span = 1e6; span > 2.0; span /= 3.0) {
        for (int columns : {50, 800}) {
            bool high = false, low = false;
            for (const auto& line : decimateSeries(s, spike - span / 3, spike + span, columns)) {
                for (size_t i : line) {
                    high = high || s.points[i].value == 999.0;
                    low = low || s.points[i].value == -5.0;
                }
            }
            EXPECT_TRUE(high && low) << span << " seconds over " << columns << " columns";
        }
    }
}

TEST(Decimation, LinesRunOutOfTheViewAndBreakWhereTheSeriesBreaks) {
    RecordSeries s = seriesOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 10);
    // A gap between records 4 and 5 (times 40 and 50 are moved to 40 and 500).
    for (size_t i = 5; i < s.points.size(); ++i) {
        s.points[i].time += 450;
    }
    s.segmentStarts = {0, 5};

    // Zoomed into 15..25: the readings just beyond both edges are drawn too.
    auto lines = decimateSeries(s, 15, 25, 100);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], (std::vector<size_t>{1, 2, 3}));

    // Between two readings only: the line still crosses the view.
    lines = decimateSeries(s, 21, 29, 100);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], (std::vector<size_t>{2, 3}));

    // The gap is wider than a column: two lines.
    lines = decimateSeries(s, 0, 600, 100);
    EXPECT_EQ(lines.size(), 2u);
    // Narrower than a column (460 seconds of 60,000 over 100 columns): one line.
    lines = decimateSeries(s, 0, 60000, 100);
    EXPECT_EQ(lines.size(), 1u);

    // A clock set back never joins, however narrow.
    RecordSeries back = seriesOf({1, 2, 3, 4}, 10);
    back.points[2].time = back.points[3].time = 5;
    back.points[3].time = 6;
    back.segmentStarts = {0, 2};
    EXPECT_EQ(decimateSeries(back, 0, 1e6, 10).size(), 2u);

    // Out of view entirely, or an empty view: nothing.
    EXPECT_TRUE(decimateSeries(s, 2000, 3000, 100).empty());
    EXPECT_TRUE(decimateSeries(s, 30, 30, 100).empty());
}
