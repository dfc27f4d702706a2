#include "records/exposurecsv.h"

#include "records/recordcsv.h"
#include "spreadsheet/safefilewrite.h"

namespace {

QString optionalNumber(const std::optional<double>& value) {
    return value ? exposureNumber(*value) : QString();
}

} // namespace

QByteArray exposureCsv(const std::vector<ExposureRow>& rows) {
    QByteArray out;
    appendCsvLine(out, {QStringLiteral("date"), QStringLiteral("channel"), QStringLiteral("gas"),
                        QStringLiteral("unit"), QStringLiteral("records"), QStringLiteral("min"),
                        QStringLiteral("max"), QStringLiteral("mean"), QStringLiteral("twa_8h"),
                        QStringLiteral("stel_15min"), QStringLiteral("minutes_above_low"),
                        QStringLiteral("minutes_above_high")});
    for (const ExposureRow& row : rows) {
        appendCsvLine(out,
                      {row.date.toString(Qt::ISODate), QString::number(row.channel), row.gas,
                       row.unit, QString::number(row.records), exposureNumber(row.min),
                       exposureNumber(row.max), exposureNumber(row.mean), optionalNumber(row.twa8h),
                       optionalNumber(row.stel15min), optionalNumber(row.minutesAboveLow),
                       optionalNumber(row.minutesAboveHigh)});
    }
    return out;
}

bool writeExposureCsv(const std::vector<ExposureRow>& rows, const QString& path, QString& failure) {
    return safefilewrite::replaceFile(path, exposureCsv(rows), failure);
}
