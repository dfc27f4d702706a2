#include "archive/archivestore.h"

#include "archive/archiveschema.h"
#include "archive/recordrows.h"
#include "archive/sqlrows.h"

#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace {

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

bool ArchiveStore::knownMemory(const ArchiveBatch& batch, qint64& memoryId, bool& ok) {
    if (const auto alias = m_aliases.constFind(batch.memoryKey); alias != m_aliases.cend()) {
        memoryId = *alias;
        ok = true;
        return true;
    }
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT id FROM instrument_memories WHERE memory_key = ?"));
    query.addBindValue(batch.memoryKey);
    ok = query.exec();
    if (!ok || query.next() || batch.fingerprint.isEmpty() || batch.records.empty()) {
        return false;
    }
    if (m_dialect.kind == SqlDialect::Kind::Postgres) {
        // Two PCs meeting one memory for the first time at once: one makes it, the other waits
        // here and then finds it.
        query.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
        query.addBindValue(batch.fingerprint);
        ok = query.exec();
    }
    query.prepare(QStringLiteral("SELECT id FROM instrument_memories WHERE fingerprint = ? ORDER "
                                 "BY id"));
    query.addBindValue(batch.fingerprint);
    ok = ok && query.exec();
    while (ok && query.next()) {
        const qint64 candidate = query.value(0).toLongLong();
        if (holdsSameRecords(candidate, batch.records, ok)) {
            m_aliases.insert(batch.memoryKey, candidate);
            memoryId = candidate;
            return true;
        }
    }
    return false;
}

bool ArchiveStore::holdsSameRecords(qint64 memoryId, const std::vector<ArchiveRecord>& records,
                                    bool& ok) {
    quint32 first = UINT32_MAX;
    quint32 last = 0;
    QHash<quint32, const ArchiveRecord*> byNumber;
    for (const ArchiveRecord& r : records) {
        first = std::min(first, r.number);
        last = std::max(last, r.number);
        byNumber.insert(r.number, &r);
    }
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT %1 FROM records WHERE memory_id = ? "
                                 "AND record_number BETWEEN ? AND ?")
                      .arg(kRecordColumns));
    query.addBindValue(memoryId);
    query.addBindValue(qint64(first));
    query.addBindValue(qint64(last));
    ok = query.exec();
    int overlapping = 0;
    while (ok && query.next()) {
        const ArchiveRecord archived = recordOfRow(query, 0);
        const ArchiveRecord* sent = byNumber.value(archived.number);
        if (sent != nullptr) {
            if (!sent->sameContent(archived)) {
                return false;
            }
            ++overlapping;
        }
    }
    return ok && overlapping > 0;
}

bool ArchiveStore::ensureMemory(const ArchiveBatch& batch, qint64& memoryId, QString& error) {
    // A memory archived under another key (downloaded while the archive could not be asked)
    // is the same memory when its configuration and record 1 are, and every record it holds at
    // the batch's numbers is the batch's. Later batches under that key follow the first.
    bool asked = false;
    if (knownMemory(batch, memoryId, asked)) {
        return true;
    }
    if (!asked) {
        error = database().lastError().text();
        return false;
    }
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

namespace {

// The lowest and highest record number of a batch.
std::pair<quint32, quint32> numberRange(const std::vector<ArchiveRecord>& records) {
    quint32 first = UINT32_MAX;
    quint32 last = 0;
    for (const ArchiveRecord& r : records) {
        first = std::min(first, r.number);
        last = std::max(last, r.number);
    }
    return {first, last};
}

} // namespace

bool ArchiveStore::ensureDownload(const ArchiveBatch& batch, qint64 memoryId, qint64& downloadId,
                                  QString& error) {
    const DownloadInfo& info = batch.download;
    QSqlQuery insert(database());
    // The first batch's records are noted with the row itself: all a role without UPDATE keeps.
    const auto [first, last] = numberRange(batch.records);
    const bool none = batch.records.empty();
    insert.prepare(QStringLiteral(
        "INSERT INTO downloads (download_key, memory_id, downloaded_at, port, channels, "
        "record_total, first_record, last_record, ended) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT (download_key) DO NOTHING"));
    for (const QVariant& v :
         {QVariant(info.downloadKey), QVariant(memoryId), QVariant(isoDateTime(info.downloadedAt)),
          QVariant(info.port), QVariant(info.config.channels), QVariant(qint64(info.recordTotal)),
          none ? QVariant() : QVariant(qint64(first)), none ? QVariant() : QVariant(qint64(last)),
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
    QSqlDatabase db = database();
    if (!insertRecordRows(db, m_dialect, memoryId, downloadId, batch.records, result.added,
                          error)) {
        return false;
    }
    result.alreadyThere = int(batch.records.size()) - result.added;
    return true;
}

bool ArchiveStore::updateDownload(const ArchiveBatch& batch, qint64 downloadId, QString& error) {
    if (!m_updatesDownloads || (batch.records.empty() && batch.end == DownloadEnd::Running)) {
        return true;
    }
    const auto [first, last] = numberRange(batch.records);
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
    // The batch first reads which memory it belongs to, then writes. SQLite cannot turn a read
    // into a write while another process writes (it answers "locked" at once), so there the
    // write lock is taken at the start and another writer waits for it.
    QSqlQuery begin(db);
    bool ok = m_dialect.kind == SqlDialect::Kind::Sqlite
                  ? begin.exec(QStringLiteral("BEGIN IMMEDIATE"))
                  : db.transaction();
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
