#include "records/decimation.h"

#include "records/recordshape.h"

#include <algorithm>
#include <cmath>

namespace {

// A file whose clock runs back and forth every few records would otherwise ask for thousands
// of lines; past this many, the rest is drawn joined.
constexpr size_t kMaxLines = 512;

class ColumnReducer {
public:
    ColumnReducer(const std::vector<RecordPoint>& points, std::vector<size_t>& out)
        : m_points(points), m_out(out) {}

    void add(size_t index, long column) {
        if (m_open && column != m_column) {
            flush();
        }
        const double value = m_points[index].value;
        if (!m_open) {
            m_open = true;
            m_column = column;
            m_min = m_max = index;
            return;
        }
        if (value < m_points[m_min].value) {
            m_min = index;
        }
        if (value > m_points[m_max].value) {
            m_max = index;
        }
    }

    void flush() {
        if (!m_open) {
            return;
        }
        m_open = false;
        m_out.push_back(std::min(m_min, m_max));
        if (m_min != m_max) {
            m_out.push_back(std::max(m_min, m_max));
        }
    }

private:
    const std::vector<RecordPoint>& m_points;
    std::vector<size_t>& m_out;
    bool m_open = false;
    long m_column = 0;
    size_t m_min = 0;
    size_t m_max = 0;
};

} // namespace

std::vector<std::vector<size_t>> decimateSeries(const RecordSeries& series, double from, double to,
                                                int columns) {
    std::vector<std::vector<size_t>> lines;
    if (!(to > from) || columns < 1) {
        return lines;
    }
    const auto& points = series.points;
    const double scale = double(columns) / (to - from);
    const double columnWidth = (to - from) / double(columns);
    const auto byTime = [](const RecordPoint& point, double time) {
        return double(point.time) < time;
    };
    const auto timeBefore = [](double time, const RecordPoint& point) {
        return time < double(point.time);
    };

    bool previousDrawn = false; // whether the segment before this one has been drawn
    for (size_t segment = 0; segment < series.segmentCount(); ++segment) {
        const size_t start = series.segmentStarts[segment];
        const size_t end = series.segmentEnd(segment);
        const auto first = points.begin() + qsizetype(start);
        const auto last = points.begin() + qsizetype(end);
        const size_t inside = size_t(std::lower_bound(first, last, from, byTime) - points.begin());
        const size_t beyond =
            size_t(std::upper_bound(first, last, to, timeBefore) - points.begin());
        const bool before = inside > start;
        const bool after = beyond < end;
        // Nothing of this segment shows unless a reading lies inside or the line crosses.
        if (inside == beyond && !(before && after)) {
            previousDrawn = false;
            continue;
        }

        const bool join = previousDrawn && points[start].time >= points[start - 1].time &&
                          double(points[start].time - points[start - 1].time) < columnWidth;
        if (!join && lines.size() < kMaxLines) {
            lines.emplace_back();
        }
        std::vector<size_t>& line = lines.back();

        if (before) {
            line.push_back(inside - 1);
        }
        ColumnReducer reducer(points, line);
        // Times never decrease within a segment: a column is worked out only where one ends.
        long column = 0;
        double columnEnd = from; // the first reading starts a column
        for (size_t i = inside; i < beyond; ++i) {
            const double time = double(points[i].time);
            if (time >= columnEnd) {
                column = std::clamp(long(std::floor((time - from) * scale)), 0L, long(columns - 1));
                // A hair early, so that rounding never keeps a reading in the column before the
                // one its own position gives.
                columnEnd =
                    column == columns - 1 ? to + 1 : from + (double(column + 1) - 1e-9) / scale;
            }
            reducer.add(i, column);
        }
        reducer.flush();
        if (after) {
            line.push_back(beyond);
        }
        previousDrawn = true;
    }
    return lines;
}
