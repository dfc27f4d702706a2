#pragma once

#include "records/exposure.h"

#include <QByteArray>
#include <QString>
#include <vector>

// The exposure summary as CSV for scripts and spreadsheets: UTF-8, lines ending in CR LF, a
// header row "date,channel,gas,unit,records,min,max,mean,twa_8h,stel_15min,minutes_above_low,
// minutes_above_high", then one row per day and channel; dates in ISO 8601, numbers with a dot
// and no thousands separator, a measure that does not apply or is not known left empty.
QByteArray exposureCsv(const std::vector<ExposureRow>& rows);

// Replaces the file whole or not at all; false, with the reason in `failure`, when it could
// not be written.
[[nodiscard]] bool writeExposureCsv(const std::vector<ExposureRow>& rows, const QString& path,
                                    QString& failure);
