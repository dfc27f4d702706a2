#pragma once

#include "records/exposure.h"

#include <QTableWidget>
#include <vector>

// The exposure summary under the chart: per day and channel of the readings in view the count,
// lowest, highest and mean reading, TWA 8 h, STEL 15 min and the minutes at or above the alarm
// levels. A cell stays empty where a measure does not apply (no exposure limits for %VOL or
// %LEL) or a level is not known.
class ExposureTable : public QTableWidget {
    Q_OBJECT
public:
    explicit ExposureTable(QWidget* parent = nullptr);

    void setRows(const std::vector<ExposureRow>& rows);
    const std::vector<ExposureRow>& rows() const { return m_rows; }

    // The column captions, shared with the report.
    static QStringList captions();
    // The texts of a row's cells, in the columns' order.
    static QStringList cellTexts(const ExposureRow& row);

private:
    std::vector<ExposureRow> m_rows;
};
