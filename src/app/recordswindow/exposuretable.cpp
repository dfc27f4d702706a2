#include "app/recordswindow/exposuretable.h"

#include <QHeaderView>

namespace {

QString optionalText(const std::optional<double>& value) {
    return value ? exposureNumber(*value) : QString();
}

constexpr int kFirstNumberColumn = 4;

} // namespace

ExposureTable::ExposureTable(QWidget* parent) : QTableWidget(parent) {
    setObjectName(QStringLiteral("exposureTable"));
    setColumnCount(int(captions().size()));
    setHorizontalHeaderLabels(captions());
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setToolTip(QStringLiteral(
        "Per day and channel of the records in view. TWA 8 h: each reading held until the next "
        "record (at most the day's usual interval), summed and divided by eight hours. "
        "STEL 15 min: the highest mean over 15 minutes. Minutes at or above the alarm levels "
        "of the last parameter read."));
}

QStringList ExposureTable::captions() {
    return {QStringLiteral("Date"),          QStringLiteral("Channel"),
            QStringLiteral("Gas"),           QStringLiteral("Unit"),
            QStringLiteral("Records"),       QStringLiteral("Min"),
            QStringLiteral("Max (peak)"),    QStringLiteral("Mean"),
            QStringLiteral("TWA 8 h"),       QStringLiteral("STEL 15 min"),
            QStringLiteral("Minutes ≥ low"), QStringLiteral("Minutes ≥ high")};
}

QStringList ExposureTable::cellTexts(const ExposureRow& row) {
    return {row.date.toString(Qt::ISODate),
            QStringLiteral("CH%1").arg(row.channel),
            row.gas,
            row.unit,
            QString::number(row.records),
            exposureNumber(row.min),
            exposureNumber(row.max),
            exposureNumber(row.mean),
            optionalText(row.twa8h),
            optionalText(row.stel15min),
            optionalText(row.minutesAboveLow),
            optionalText(row.minutesAboveHigh)};
}

void ExposureTable::setRows(const std::vector<ExposureRow>& rows) {
    m_rows = rows;
    setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const QStringList texts = cellTexts(rows[size_t(r)]);
        for (int c = 0; c < int(texts.size()); ++c) {
            auto* cell = new QTableWidgetItem(texts[c]);
            if (c >= kFirstNumberColumn) {
                cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            }
            setItem(r, c, cell);
        }
    }
}
