#pragma once

#include "records/recordtime.h"

#include <QDate>
#include <QString>
#include <optional>
#include <vector>

struct RecordSeries;
struct RecordShape;

// What one channel measured on one calendar day (the instrument's wall clock), as a safety
// officer reads it: how many readings, their lowest, highest and mean, and for toxic gases the
// exposure limits' measures. Readings are taken to hold from their record time until the next
// record, but never longer than the day's median record interval: a pause longer than that (the
// instrument was off) counts as no exposure. The last record of the day holds the median
// interval.
struct ExposureRow {
    QDate date;
    int channel = 0; // 1 to 6
    QString gas;
    QString unit;
    qsizetype records = 0;
    double min = 0;
    double max = 0;
    double mean = 0;
    // Only for concentrations in PPM, PPB or mg/m3.
    std::optional<double> twa8h; // sum of reading x time held, over eight hours
    // The highest time-weighted mean over any 15 minutes that start at a record and lie
    // wholly within the day's records; none when they cover less than 15 minutes.
    std::optional<double> stel15min;
    // Time held at or above the alarm level; none when the level is not known.
    std::optional<double> minutesAboveLow;
    std::optional<double> minutesAboveHigh;
};

// One reading and the seconds it holds.
struct HeldReading {
    RecordTime time = 0;
    double value = 0;
    RecordTime held = 0;
};

// Seconds per calendar day and the spans the exposure measures use.
inline constexpr RecordTime kSecondsPerDay = 86400;
inline constexpr RecordTime kTwaSeconds = RecordTime(8) * 3600;
inline constexpr RecordTime kStelSeconds = RecordTime(15) * 60;

// True for the units that occupational exposure limits are given in.
bool isExposureUnit(const QString& unit);

// The readings of the series whose time lies in [from, to], one list per calendar day in
// ascending order, each sorted by time and held as said above. The median of a day is the
// upper of the two middle steps when their number is even; a day of a single reading holds it
// for `loneInterval` seconds (the workbook's usual record interval).
std::vector<std::vector<HeldReading>> heldReadingsByDay(const RecordSeries& series, RecordTime from,
                                                        RecordTime to, RecordTime loneInterval);

// The row of one day's held readings of a series (not empty).
ExposureRow summarizeDay(const RecordSeries& series, const std::vector<HeldReading>& day);

// The rows for the readings of the shape whose time lies in [from, to], by day, then channel,
// then the order of the shape's series. Alarm levels are those the series carry.
std::vector<ExposureRow> summarizeExposure(const RecordShape& shape, RecordTime from,
                                           RecordTime to);
std::vector<ExposureRow> summarizeExposure(const RecordShape& shape);

// The time spans, as [start, end) record times, in which a series' readings held as above are
// at or above the level (none without a level). Ascending; touching spans are joined.
std::vector<std::pair<RecordTime, RecordTime>>
spansAtOrAbove(const RecordSeries& series, std::optional<double> level, RecordTime loneInterval);

// A number as the report and its CSV write it: a dot, no thousands separator, at most three
// decimals and no trailing zeros ("12.5", "0.167", "15000").
QString exposureNumber(double value);
