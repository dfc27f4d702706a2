#include "archive/archiveschema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace {

// The key of PostgreSQL's advisory lock that serialises schema changes ("TRLM").
constexpr qint64 kSchemaLockKey = 0x54524C4D;

// The tables of version 1; upgradeStatements takes them on from there.
QStringList tableStatements(const SqlDialect& d) {
    return {
        QStringLiteral("CREATE TABLE archive_schema (version INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE instrument_memories ("
                       "id %1, memory_key VARCHAR(64) NOT NULL UNIQUE, "
                       "configuration TEXT NOT NULL, fingerprint TEXT NOT NULL, "
                       "channels INTEGER NOT NULL, first_seen %2 NOT NULL)")
            .arg(d.autoKey, d.timestamp),
        QStringLiteral("CREATE INDEX instrument_memories_configuration "
                       "ON instrument_memories (configuration)"),
        QStringLiteral("CREATE TABLE downloads ("
                       "id %1, download_key VARCHAR(64) NOT NULL UNIQUE, "
                       "memory_id %2 NOT NULL REFERENCES instrument_memories (id), "
                       "downloaded_at %3 NOT NULL, port TEXT NOT NULL, "
                       "channels INTEGER NOT NULL, record_total %2 NOT NULL, "
                       "first_record %2, last_record %2, ended VARCHAR(16) NOT NULL)")
            .arg(d.autoKey, d.bigInt, d.timestamp),
        QStringLiteral("CREATE TABLE download_channels ("
                       "download_id %1 NOT NULL REFERENCES downloads (id), "
                       "channel INTEGER NOT NULL, gas_code INTEGER NOT NULL, gas TEXT NOT NULL, "
                       "unit_code INTEGER NOT NULL, unit TEXT NOT NULL, "
                       "precision_code INTEGER NOT NULL, scale INTEGER NOT NULL, "
                       "range_raw INTEGER NOT NULL, low_alarm_raw INTEGER NOT NULL, "
                       "high_alarm_raw INTEGER NOT NULL, PRIMARY KEY (download_id, channel))")
            .arg(d.bigInt),
        QStringLiteral("CREATE TABLE records ("
                       "memory_id %1 NOT NULL REFERENCES instrument_memories (id), "
                       "record_number %1 NOT NULL, "
                       "download_id %1 NOT NULL REFERENCES downloads (id), "
                       "taken_at %2 NOT NULL, reading1 INTEGER, reading2 INTEGER, "
                       "reading3 INTEGER, reading4 INTEGER, reading5 INTEGER, reading6 INTEGER, "
                       "PRIMARY KEY (memory_id, record_number))")
            .arg(d.bigInt, d.timestamp),
        QStringLiteral("CREATE INDEX records_memory_time ON records (memory_id, taken_at)"),
        QStringLiteral("CREATE INDEX records_time ON records (taken_at)"),
        // One row per record and channel. Its columns are promised to reporting tools: later
        // versions keep them.
        QStringLiteral(
            "CREATE VIEW record_readings AS SELECT r.memory_id AS instrument_id, "
            "r.record_number AS record_number, r.taken_at AS taken_at, c.channel AS channel, "
            "c.gas AS gas, c.unit AS unit, "
            "(CASE c.channel WHEN 1 THEN r.reading1 WHEN 2 THEN r.reading2 "
            "WHEN 3 THEN r.reading3 WHEN 4 THEN r.reading4 WHEN 5 THEN r.reading5 "
            "ELSE r.reading6 END) * 1.0 / c.scale AS value, "
            "d.downloaded_at AS downloaded_at "
            "FROM records r JOIN downloads d ON d.id = r.download_id "
            "JOIN download_channels c ON c.download_id = r.download_id"),
        QStringLiteral("INSERT INTO archive_schema (version) VALUES (1)"),
    };
}

// Upgrades from version `from` to from + 1.
QStringList upgradeStatements(int from, const SqlDialect& d) {
    if (from == 1) {
        // 2: the instrument's time as sent when it is no calendar time (a clock never set sends
        // day 0), which a server's timestamp column cannot hold: its taken_at is NULL then.
        QStringList statements{QStringLiteral("ALTER TABLE records ADD COLUMN clock_text TEXT")};
        if (d.kind == SqlDialect::Kind::Postgres) {
            statements << QStringLiteral("ALTER TABLE records ALTER COLUMN taken_at DROP NOT NULL");
        }
        return statements;
    }
    return {};
}

bool runAll(QSqlDatabase& db, const QStringList& statements, QString& error) {
    for (const QString& text : statements) {
        QSqlQuery query(db);
        if (!query.exec(text)) {
            error = query.lastError().text();
            return false;
        }
    }
    return true;
}

ArchiveSchema::Result failed(const QString& where, const QString& why) {
    return {false, QStringLiteral("The records archive %1 cannot be used: %2").arg(where, why)};
}

} // namespace

namespace ArchiveSchema {

int versionOf(QSqlDatabase& db, bool& ok, QString* error) {
    QSqlQuery query(db);
    const bool hasTables = db.tables().contains(QStringLiteral("archive_schema"));
    // tables() says nothing on a file that is no database; a statement does.
    ok = hasTables
             ? query.exec(QStringLiteral("SELECT MAX(version) FROM archive_schema")) && query.next()
             : query.exec(QStringLiteral("SELECT 1"));
    if (!ok && error != nullptr) {
        *error = query.lastError().text();
    }
    return ok && hasTables ? query.value(0).toInt() : 0;
}

Result prepare(QSqlDatabase& db, const SqlDialect& dialect, const QString& where) {
    if (!db.transaction()) {
        return failed(where, db.lastError().text());
    }
    if (dialect.kind == SqlDialect::Kind::Postgres) {
        // Copies of the program on several PCs may meet an empty database at once: the first
        // creates the tables while the others wait here, then find them made.
        QSqlQuery lock(db);
        if (!lock.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey))) {
            const QString why = lock.lastError().text();
            db.rollback();
            return failed(where, why);
        }
    }
    bool ok = false;
    QString error;
    int version = versionOf(db, ok, &error);
    if (ok && version > kVersion) {
        db.rollback();
        return failed(where, QStringLiteral("it was made by a newer version of the program "
                                            "(archive version %1, this program knows up to %2)")
                                 .arg(version)
                                 .arg(kVersion));
    }
    if (ok && version == 0) {
        ok = runAll(db, tableStatements(dialect), error);
        version = 1;
    }
    if (ok) {
        for (int from = version; ok && from < kVersion; ++from) {
            ok =
                runAll(db, upgradeStatements(from, dialect), error) &&
                runAll(db, {QStringLiteral("UPDATE archive_schema SET version = %1").arg(from + 1)},
                       error);
        }
    }
    if (!ok || !db.commit()) {
        const QString why = error.isEmpty() ? db.lastError().text() : error;
        db.rollback();
        return failed(where, why);
    }
    return {true, {}};
}

} // namespace ArchiveSchema
