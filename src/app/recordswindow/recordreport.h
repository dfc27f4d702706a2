#pragma once

#include "records/exposure.h"
#include "records/recordtime.h"

#include <QString>
#include <vector>

class RecordsChartView;
struct RecordShape;

// What a report shows: the workbook, the instrument's configuration as far as the records and
// the last parameter read tell it, the time range, the chart and the exposure summary.
struct RecordReport {
    QString workbook; // the file's name
    const RecordShape* shape = nullptr;
    double from = 0; // the time range, record times
    double to = 0;
    std::vector<ExposureRow> rows;
};

// Writes the report as PDF with Qt's own writer: the texts as text, the chart as the view shows
// it now, as a vector drawing. The file is replaced whole or not at all; false, with the reason
// in `failure`, when it could not be written.
[[nodiscard]] bool writeRecordReport(const QString& path, const RecordReport& report,
                                     RecordsChartView& chart, QString& failure);
