// What the archive answers: the link's candidates, the Records window's memories and ranges,
// and the import's look-ups. Statements here are the same for SQLite and PostgreSQL.
#include "archive/archivestore.h"

#include "archive/sqlrows.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace {

bool run(QSqlQuery& query, QString* error) {
    if (query.exec()) {
        return true;
    }
    if (error != nullptr) {
        *error = query.lastError().text();
    }
    return false;
}

} // namespace

std::optional<ArchiveRecord> ArchiveStore::recordAt(qint64 memoryId, const QString& where,
                                                    QString* error) {
    QSqlQuery query(database());
    query.prepare(
        QStringLiteral("SELECT %1 FROM records WHERE memory_id = ? %2").arg(kRecordColumns, where));
    query.addBindValue(memoryId);
    if (!run(query, error) || !query.next()) {
        return std::nullopt;
    }
    return recordOfRow(query, 0);
}

QList<MemoryCandidate> ArchiveStore::candidates(const QString& configuration, QString* error) {
    QList<MemoryCandidate> found;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT id, memory_key, fingerprint FROM instrument_memories "
                                 "WHERE configuration = ? ORDER BY id DESC"));
    query.addBindValue(configuration);
    if (!run(query, error)) {
        return found;
    }
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        const auto last =
            recordAt(id, QStringLiteral("ORDER BY record_number DESC LIMIT 1"), error);
        if (!last) {
            continue; // a memory whose records never arrived
        }
        MemoryCandidate candidate;
        candidate.memoryKey = query.value(1).toString();
        candidate.fingerprint = query.value(2).toString();
        candidate.first = recordAt(id, QStringLiteral("AND record_number = 1"), error);
        candidate.last = *last;
        found << candidate;
    }
    return found;
}

QList<MemorySummary> ArchiveStore::memories(QString* error) {
    QList<MemorySummary> list;
    QSqlQuery query(database());
    query.prepare(
        QStringLiteral("SELECT m.id, m.memory_key, m.channels, "
                       "(SELECT COUNT(*) FROM records r WHERE r.memory_id = m.id), "
                       "(SELECT MIN(taken_at) FROM records r WHERE r.memory_id = m.id), "
                       "(SELECT MAX(taken_at) FROM records r WHERE r.memory_id = m.id), "
                       "(SELECT MAX(downloaded_at) FROM downloads d WHERE d.memory_id = m.id), "
                       "(SELECT MAX(id) FROM downloads d WHERE d.memory_id = m.id) "
                       "FROM instrument_memories m ORDER BY m.id DESC"));
    if (!run(query, error)) {
        return list;
    }
    while (query.next()) {
        MemorySummary m;
        m.id = query.value(0).toLongLong();
        m.memoryKey = query.value(1).toString();
        m.channels = query.value(2).toInt();
        m.records = query.value(3).toLongLong();
        m.firstTakenAt = takenAtText(query.value(4));
        m.lastTakenAt = takenAtText(query.value(5));
        m.lastDownloadedAt = takenAtText(query.value(6));
        QSqlQuery gases(database());
        gases.prepare(QStringLiteral(
            "SELECT gas FROM download_channels WHERE download_id = ? ORDER BY channel"));
        gases.addBindValue(query.value(7));
        QStringList names;
        if (run(gases, error)) {
            while (gases.next()) {
                names << gases.value(0).toString();
            }
        }
        m.gases = names.join(QStringLiteral(", "));
        list << m;
    }
    return list;
}

ArchiveRange ArchiveStore::range(qint64 memoryId, const QString& from, const QString& to,
                                 QString* error) {
    ArchiveRange range;
    QSqlQuery configs(database());
    configs.prepare(QStringLiteral(
        "SELECT d.id, d.channels, c.channel, c.gas_code, c.gas, c.unit_code, c.unit, "
        "c.precision_code, c.scale, c.range_raw, c.low_alarm_raw, c.high_alarm_raw "
        "FROM downloads d JOIN download_channels c ON c.download_id = d.id "
        "WHERE d.memory_id = ? ORDER BY d.id, c.channel"));
    configs.addBindValue(memoryId);
    if (!run(configs, error)) {
        return range;
    }
    QHash<qint64, std::array<double, kArchiveChannels>> scales;
    while (configs.next()) {
        const qint64 id = configs.value(0).toLongLong();
        if (range.downloads.isEmpty() || range.downloads.last().first != id) {
            range.downloads.append({id, ArchiveConfig{configs.value(1).toInt(), {}}});
            scales[id].fill(1.0);
        }
        const int c = qBound(1, configs.value(2).toInt(), kArchiveChannels) - 1;
        ArchiveChannel& ch = range.downloads.last().second.channel[static_cast<size_t>(c)];
        ch = {configs.value(3).toInt(),
              configs.value(4).toString(),
              configs.value(5).toInt(),
              configs.value(6).toString(),
              configs.value(7).toInt(),
              qMax(1, configs.value(8).toInt()),
              static_cast<quint16>(configs.value(9).toInt()),
              static_cast<quint16>(configs.value(10).toInt()),
              static_cast<quint16>(configs.value(11).toInt())};
        scales[id][static_cast<size_t>(c)] = ch.scale;
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT download_id, %1 FROM records WHERE memory_id = ? "
                                 "AND taken_at >= ? AND taken_at <= ? ORDER BY record_number")
                      .arg(kRecordColumns));
    query.addBindValue(memoryId);
    // Open ends as times both databases take: PostgreSQL compares timestamps, SQLite the text.
    query.addBindValue(from.isEmpty() ? QStringLiteral("0001-01-01T00:00:00") : from);
    query.addBindValue(to.isEmpty() ? QStringLiteral("9999-12-31T23:59:59") : to);
    if (!run(query, error)) {
        return range;
    }
    while (query.next()) {
        ArchiveReading reading;
        reading.downloadId = query.value(0).toLongLong();
        reading.takenAt = recordTimeText(query, 2, 3 + kArchiveChannels);
        const auto& scale = scales[reading.downloadId];
        for (int i = 0; i < kArchiveChannels; ++i) {
            const QVariant v = query.value(3 + i);
            reading.present[static_cast<size_t>(i)] = !v.isNull();
            reading.values[static_cast<size_t>(i)] = v.toDouble() / scale[static_cast<size_t>(i)];
        }
        range.readings << reading;
    }
    return range;
}

QString ArchiveStore::contentKey(int channels, const ArchiveRecord& record) {
    QString key = isoTakenAt(record.time);
    for (int i = 0; i < channels; ++i) {
        const auto& r = record.readings[static_cast<size_t>(i)];
        key += QLatin1Char(',') + (r ? QString::number(*r) : QStringLiteral("-"));
    }
    return key;
}

QSet<QString> ArchiveStore::contentKeys(const QString& from, const QString& to, QString* error) {
    QSet<QString> keys;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT m.channels, %1 FROM records r JOIN instrument_memories m "
                                 "ON m.id = r.memory_id WHERE taken_at >= ? AND taken_at <= ?")
                      .arg(kRecordColumns));
    query.addBindValue(from);
    query.addBindValue(to);
    if (!run(query, error)) {
        return keys;
    }
    while (query.next()) {
        keys.insert(contentKey(query.value(0).toInt(), recordOfRow(query, 1)));
    }
    return keys;
}

quint32 ArchiveStore::nextRecordNumber(const QString& memoryKey, QString* error) {
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT MAX(r.record_number) FROM records r JOIN "
                                 "instrument_memories m ON m.id = r.memory_id "
                                 "WHERE m.memory_key = ?"));
    query.addBindValue(memoryKey);
    if (!run(query, error) || !query.next()) {
        return 1;
    }
    return static_cast<quint32>(query.value(0).toLongLong()) + 1;
}
