#include "archive/sqlrows.h"

#include <QDateTime>
#include <QRegularExpression>

QString isoDateTime(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

const QString kRecordColumns = QStringLiteral("record_number, taken_at, reading1, reading2, "
                                              "reading3, reading4, reading5, reading6, clock_text");

QString takenAtText(const QVariant& value) {
    if (value.metaType().id() == QMetaType::QDateTime) {
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    }
    return value.toString();
}

bool timeBytesOf(const QString& iso, std::array<quint8, 6>& time) {
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d+)-(\\d+)-(\\d+)[T ](\\d+):(\\d+):(\\d+)"));
    const QRegularExpressionMatch match = pattern.match(iso);
    if (!match.hasMatch()) {
        return false;
    }
    const int year = match.captured(1).toInt() - 2000;
    time[0] = static_cast<quint8>(year);
    for (int i = 1; i < 6; ++i) {
        time[static_cast<size_t>(i)] = static_cast<quint8>(match.captured(i + 1).toInt());
    }
    return year >= 0 && year <= 255;
}

QString recordTimeText(const QSqlQuery& query, int takenAt, int clock) {
    const QVariant sent = query.value(clock);
    return sent.isNull() ? takenAtText(query.value(takenAt)) : sent.toString();
}

ArchiveRecord recordOfRow(const QSqlQuery& query, int first) {
    ArchiveRecord record;
    record.number = static_cast<quint32>(query.value(first).toLongLong());
    timeBytesOf(recordTimeText(query, first + 1, first + 2 + kArchiveChannels), record.time);
    for (int i = 0; i < kArchiveChannels; ++i) {
        const QVariant v = query.value(first + 2 + i);
        if (!v.isNull()) {
            record.readings[static_cast<size_t>(i)] = static_cast<quint16>(v.toInt());
        }
    }
    return record;
}
