#include "archive/archivestore.h"

#include "archive/archiveschema.h"
#include "archive/sqlrows.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// Rows per INSERT: 500 records keep the bound values far below SQLite's limit of 32,766; a
// server takes a batch of 1000 in one statement (10,000 values, PostgreSQL allows 65,535).
int rowsPerInsert(const SqlDialect& dialect) {
    return dialect.kind == SqlDialect::Kind::Postgres ? 1000 : 500;
}
constexpr int kRecordColumns = 10;

QString endText(DownloadEnd end) {
    switch (end) {
    case DownloadEnd::Complete:
        return QStringLiteral("complete");
    case DownloadEnd::Interrupted:
        return QStringLiteral("interrupted");
    case DownloadEnd::Imported:
        return QStringLiteral("imported");
    default:
        return QStringLiteral("running");
    }
}

QString insertRecordsText(int rows) {
    QString text = QStringLiteral(
        "INSERT INTO records (memory_id, record_number, download_id, taken_at, reading1, "
        "reading2, reading3, reading4, reading5, reading6) VALUES ");
    const QString row = QStringLiteral("(?,?,?,?,?,?,?,?,?,?)");
    for (int i = 0; i < rows; ++i) {
        text += i == 0 ? row : QLatin1Char(',') + row;
    }
    return text + QStringLiteral(" ON CONFLICT (memory_id, record_number) DO NOTHING");
}

// The records [begin, end) for a server as one INSERT of column arrays: PostgreSQL parses one
// array literal per column far faster than 1000 rows of VALUES (and QPSQL would format and send
// a prepared statement's 10,000 values as text anyway). Every value is a number the program
// made or a time built from the instrument's bytes, so nothing needs escaping.
QString arrayInsertText(const ArchiveRecord* begin, const ArchiveRecord* end, qint64 memoryId,
                        qint64 downloadId) {
    const int rows = int(end - begin);
    QString numbers;
    QString times;
    std::array<QString, kArchiveChannels> readings;
    numbers.reserve(rows * 6);
    times.reserve(rows * 20);
    for (QString& column : readings) {
        column.reserve(rows * 5);
    }
    for (const ArchiveRecord* r = begin; r != end; ++r) {
        const QLatin1Char separator(r == begin ? '{' : ',');
        numbers += separator + QString::number(r->number);
        times += separator + isoTakenAt(r->time);
        for (size_t c = 0; c < readings.size(); ++c) {
            const auto& reading = r->readings[c];
            readings[c] +=
                separator + (reading ? QString::number(*reading) : QStringLiteral("NULL"));
        }
    }
    QString text =
        QStringLiteral(
            "INSERT INTO records (memory_id, record_number, download_id, taken_at, reading1, "
            "reading2, reading3, reading4, reading5, reading6) SELECT %1, n, %2, t, r1, r2, r3, "
            "r4, "
            "r5, r6 FROM unnest('%3}'::bigint[], '%4}'::timestamp[]")
            .arg(memoryId)
            .arg(downloadId)
            .arg(numbers, times);
    for (const QString& column : readings) {
        text += QStringLiteral(", '") + column + QStringLiteral("}'::integer[]");
    }
    return text + QStringLiteral(") AS u (n, t, r1, r2, r3, r4, r5, r6) "
                                 "ON CONFLICT (memory_id, record_number) DO NOTHING");
}

} // namespace

ArchiveStore::ArchiveStore(QString connectionName) : m_connection(std::move(connectionName)) {}

ArchiveStore::~ArchiveStore() {
    close();
}

bool ArchiveStore::connectionLost() const {
    return m_open && !database().isOpen();
}

void ArchiveStore::close() {
    {
        QSqlDatabase db = database();
        if (db.isValid()) {
            db.close();
        }
    }
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_open = false;
}

QSqlDatabase ArchiveStore::database() const {
    return QSqlDatabase::database(m_connection, false);
}

ArchiveStore::Status ArchiveStore::openFile(const QString& path) {
    m_dialect = SqlDialect::sqlite();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!db.isValid()) {
        return {false, QStringLiteral("The records archive %1 cannot be used: Qt's SQLite driver "
                                      "is missing (Debian package libqt6sql6-sqlite)")
                           .arg(path)};
    }
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open()) {
        return {false, QStringLiteral("The records archive %1 cannot be opened: %2")
                           .arg(path, db.lastError().text())};
    }
    QSqlQuery pragma(db);
    // A file that is no database fails the first statement, before anything is written to it.
    // quick_check reads every page: a damaged archive is refused rather than half read.
    if (!pragma.exec(QStringLiteral("PRAGMA quick_check")) || !pragma.next() ||
        pragma.value(0).toString() != QLatin1String("ok")) {
        const QString why =
            pragma.lastError().isValid() ? pragma.lastError().text() : pragma.value(0).toString();
        db.close();
        return {false, QStringLiteral("The records archive %1 is no SQLite database or is "
                                      "damaged (%2); it is left as it is and the records go to "
                                      "the workbooks only")
                           .arg(QFileInfo(path).absoluteFilePath(), why)};
    }
    // WAL lets the Records window read while a download writes; synchronous FULL makes each
    // commit durable before it is reported.
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    return finishOpen(QFileInfo(path).absoluteFilePath());
}

ArchiveStore::Status ArchiveStore::openDatabase(const QSqlDatabase& other, const QString& where) {
    QSqlDatabase db = QSqlDatabase::cloneDatabase(other, m_connection);
    m_dialect = SqlDialect::forDriver(db.driverName());
    if (!db.open()) {
        return {false, QStringLiteral("The records archive %1 cannot be reached: %2")
                           .arg(where, db.lastError().text())};
    }
    return finishOpen(where);
}

ArchiveStore::Status ArchiveStore::finishOpen(const QString& where) {
    m_where = where;
    QSqlDatabase db = database();
    const ArchiveSchema::Result schema = ArchiveSchema::prepare(db, m_dialect, where);
    if (!schema.ok) {
        db.close();
        return {false, schema.message};
    }
    m_open = true;
    return {true, {}};
}

qint64 ArchiveStore::idOf(const QString& table, const QString& keyColumn, const QString& key,
                          bool& ok) {
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT id FROM %1 WHERE %2 = ?").arg(table, keyColumn));
    query.addBindValue(key);
    ok = query.exec() && query.next();
    return ok ? query.value(0).toLongLong() : 0;
}

bool ArchiveStore::ensureMemory(const ArchiveBatch& batch, qint64& memoryId, QString& error) {
    QSqlQuery insert(database());
    insert.prepare(QStringLiteral(
        "INSERT INTO instrument_memories (memory_key, configuration, fingerprint, channels, "
        "first_seen) VALUES (?, ?, ?, ?, ?) ON CONFLICT (memory_key) DO NOTHING"));
    insert.addBindValue(batch.memoryKey);
    insert.addBindValue(batch.download.config.key());
    insert.addBindValue(batch.fingerprint);
    insert.addBindValue(batch.download.config.channels);
    insert.addBindValue(isoDateTime(batch.download.downloadedAt));
    bool ok = insert.exec();
    if (ok) {
        memoryId = idOf(QStringLiteral("instrument_memories"), QStringLiteral("memory_key"),
                        batch.memoryKey, ok);
    }
    if (!ok) {
        error = insert.lastError().isValid() ? insert.lastError().text()
                                             : database().lastError().text();
    }
    return ok;
}

bool ArchiveStore::ensureDownload(const ArchiveBatch& batch, qint64 memoryId, qint64& downloadId,
                                  QString& error) {
    const DownloadInfo& info = batch.download;
    QSqlQuery insert(database());
    insert.prepare(QStringLiteral(
        "INSERT INTO downloads (download_key, memory_id, downloaded_at, port, channels, "
        "record_total, ended) VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (download_key) DO NOTHING"));
    for (const QVariant& v :
         {QVariant(info.downloadKey), QVariant(memoryId), QVariant(isoDateTime(info.downloadedAt)),
          QVariant(info.port), QVariant(info.config.channels), QVariant(qint64(info.recordTotal)),
          QVariant(endText(batch.end))}) {
        insert.addBindValue(v);
    }
    bool ok = insert.exec();
    const bool created = ok && insert.numRowsAffected() > 0;
    if (ok) {
        downloadId =
            idOf(QStringLiteral("downloads"), QStringLiteral("download_key"), info.downloadKey, ok);
    }
    for (int c = 0; ok && created && c < info.config.channels; ++c) {
        const ArchiveChannel& ch = info.config.channel[static_cast<size_t>(c)];
        QSqlQuery channel(database());
        channel.prepare(QStringLiteral(
            "INSERT INTO download_channels (download_id, channel, gas_code, gas, unit_code, unit, "
            "precision_code, scale, range_raw, low_alarm_raw, high_alarm_raw) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (download_id, channel) DO "
            "NOTHING"));
        for (const QVariant& v :
             {QVariant(downloadId), QVariant(c + 1), QVariant(ch.gasCode), QVariant(ch.gas),
              QVariant(ch.unitCode), QVariant(ch.unit), QVariant(ch.precisionCode),
              QVariant(qMax(1, ch.scale)), QVariant(int(ch.rangeRaw)),
              QVariant(int(ch.lowAlarmRaw)), QVariant(int(ch.highAlarmRaw))}) {
            channel.addBindValue(v);
        }
        ok = channel.exec();
        if (!ok) {
            error = channel.lastError().text();
            return false;
        }
    }
    if (!ok && error.isEmpty()) {
        error = insert.lastError().isValid() ? insert.lastError().text()
                                             : database().lastError().text();
    }
    return ok;
}

bool ArchiveStore::insertRecords(const ArchiveBatch& batch, qint64 memoryId, qint64 downloadId,
                                 StoreResult& result, QString& error) {
    const auto& records = batch.records;
    const size_t perInsert = static_cast<size_t>(rowsPerInsert(m_dialect));
    if (m_dialect.kind == SqlDialect::Kind::Postgres) {
        for (size_t start = 0; start < records.size(); start += perInsert) {
            const size_t rows = std::min<size_t>(perInsert, records.size() - start);
            QSqlQuery query(database());
            if (!query.exec(arrayInsertText(records.data() + start, records.data() + start + rows,
                                            memoryId, downloadId))) {
                error = query.lastError().text();
                return false;
            }
            result.added += query.numRowsAffected();
        }
        result.alreadyThere = int(records.size()) - result.added;
        return true;
    }
    QSqlQuery full(database());
    full.prepare(insertRecordsText(int(perInsert)));
    for (size_t start = 0; start < records.size(); start += perInsert) {
        const size_t rows = std::min<size_t>(perInsert, records.size() - start);
        QSqlQuery partial(database());
        QSqlQuery& query = rows == perInsert ? full : partial;
        if (rows != perInsert) {
            query.prepare(insertRecordsText(int(rows)));
        }
        QVariantList values;
        values.reserve(int(rows) * kRecordColumns);
        for (size_t i = start; i < start + rows; ++i) {
            appendRecordValues(values, memoryId, downloadId, records[i]);
        }
        for (int i = 0; i < values.size(); ++i) {
            query.bindValue(i, values[i]);
        }
        if (!query.exec()) {
            error = query.lastError().text();
            return false;
        }
        result.added += query.numRowsAffected();
    }
    result.alreadyThere = int(records.size()) - result.added;
    return true;
}

bool ArchiveStore::updateDownload(const ArchiveBatch& batch, qint64 downloadId, QString& error) {
    if (batch.records.empty() && batch.end == DownloadEnd::Running) {
        return true;
    }
    quint32 first = UINT32_MAX;
    quint32 last = 0;
    for (const ArchiveRecord& r : batch.records) {
        first = std::min(first, r.number);
        last = std::max(last, r.number);
    }
    QSqlQuery query(database());
    query.prepare(
        QStringLiteral("UPDATE downloads SET ended = ?, "
                       "first_record = CASE WHEN first_record IS NULL OR first_record > ? THEN ? "
                       "ELSE first_record END, "
                       "last_record = CASE WHEN last_record IS NULL OR last_record < ? THEN ? "
                       "ELSE last_record END WHERE id = ?"));
    const QVariant firstValue = batch.records.empty() ? QVariant() : QVariant(qint64(first));
    const QVariant lastValue = batch.records.empty() ? QVariant() : QVariant(qint64(last));
    for (const QVariant& v : {QVariant(endText(batch.end)), firstValue, firstValue, lastValue,
                              lastValue, QVariant(downloadId)}) {
        query.addBindValue(v);
    }
    if (!query.exec()) {
        error = query.lastError().text();
        return false;
    }
    return true;
}

ArchiveStore::StoreResult ArchiveStore::store(const ArchiveBatch& batch) {
    StoreResult result;
    if (!m_open) {
        result.message = QStringLiteral("The records archive is not open");
        return result;
    }
    QSqlDatabase db = database();
    QString error;
    qint64 memoryId = 0;
    qint64 downloadId = 0;
    bool ok = db.transaction();
    ok = ok && ensureMemory(batch, memoryId, error) &&
         ensureDownload(batch, memoryId, downloadId, error) &&
         insertRecords(batch, memoryId, downloadId, result, error) &&
         updateDownload(batch, downloadId, error) && db.commit();
    if (!ok) {
        if (error.isEmpty()) {
            error = db.lastError().text();
        }
        db.rollback();
        result = {};
        result.message = QStringLiteral("The records could not be written to the archive %1: %2")
                             .arg(m_where, error);
        return result;
    }
    result.ok = true;
    return result;
}
