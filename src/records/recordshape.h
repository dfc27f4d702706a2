#pragma once

#include "records/channelalarm.h"
#include "records/recordtime.h"

#include <QString>
#include <vector>

struct RecordSheet;

struct RecordPoint {
    RecordTime time = 0;
    double value = 0;
    qint32 record = 0; // row of the sheet's records, from 0
};

// The readings of one channel while it measured one gas in one unit, in file order, cut into
// segments that are drawn as separate lines: a line never bridges a gap in time, a clock set
// back, or a stretch in which the channel measured something else. Within a segment the times
// never decrease.
struct RecordSeries {
    int channel = 0; // 1 to 6
    QString gas;
    QString unit;
    QString name;    // "CH2 H2S PPM"
    int variant = 0; // 0 for the channel's first gas and unit, 1 for its second, ...
    std::vector<RecordPoint> points;
    std::vector<size_t> segmentStarts; // index of each segment's first point, ascending
    double minValue = 0;
    double maxValue = 0;
    std::optional<double> lowAlarm;
    std::optional<double> highAlarm;

    size_t segmentCount() const { return segmentStarts.size(); }
    size_t segmentEnd(size_t segment) const {
        return segment + 1 < segmentStarts.size() ? segmentStarts[segment + 1] : points.size();
    }
};

struct RecordShape {
    // A line breaks where consecutive records lie more than this many record intervals apart.
    static constexpr int kGapIntervals = 10;

    std::vector<RecordSeries> series; // by channel, then in order of first appearance
    RecordTime interval = 1;          // the usual time between records, seconds
    qsizetype records = 0;
    qsizetype notNumeric = 0;  // readings left out because they are no number
    qsizetype withoutTime = 0; // records left out because their time cannot be read
    RecordTime firstTime = 0;  // earliest and latest time of any point
    RecordTime lastTime = 0;
};

RecordShape shapeRecords(const RecordSheet& sheet);

// Gives each series the levels reported for its channel and gas (and unit, when both are known),
// and takes them away from the others.
void applyAlarms(RecordShape& shape, const std::vector<ChannelAlarm>& alarms);
