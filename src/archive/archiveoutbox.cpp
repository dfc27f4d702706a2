#include "archive/archiveoutbox.h"

#include "archive/localsqlite.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

ArchiveOutbox::ArchiveOutbox(QString path, QString connectionName)
    : m_path(std::move(path)), m_connectionName(std::move(connectionName)) {}

ArchiveOutbox::~ArchiveOutbox() {
    closeLocalSqlite(m_connectionName);
}

bool ArchiveOutbox::fail(const QString& what) {
    m_lastError = QStringLiteral("The archive outbox %1 cannot be used: %2")
                      .arg(QDir::toNativeSeparators(m_path), what);
    return false;
}

bool ArchiveOutbox::open(QString* error) {
    const QString why = openLocalSqlite(
        m_connectionName, m_path,
        {QStringLiteral("CREATE TABLE IF NOT EXISTS outbox_batches ("
                        " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                        " queued_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')),"
                        " records INTEGER NOT NULL,"
                        " batch BLOB NOT NULL)")});
    if (why.isEmpty()) {
        return true;
    }
    fail(why);
    if (error != nullptr) {
        *error = m_lastError;
    }
    return false;
}

bool ArchiveOutbox::add(const QByteArray& batch, int records) {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("INSERT INTO outbox_batches (records, batch) VALUES (?, ?)"));
    query.addBindValue(records);
    query.addBindValue(batch);
    return query.exec() || fail(query.lastError().text());
}

std::optional<ArchiveOutbox::Entry> ArchiveOutbox::oldest() {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(
            QStringLiteral("SELECT id, records, batch FROM outbox_batches ORDER BY id LIMIT 1"))) {
        fail(query.lastError().text());
        return std::nullopt;
    }
    if (!query.next()) {
        return std::nullopt;
    }
    return Entry{query.value(0).toLongLong(), query.value(1).toInt(), query.value(2).toByteArray()};
}

bool ArchiveOutbox::remove(qint64 id) {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("DELETE FROM outbox_batches WHERE id = ?"));
    query.addBindValue(id);
    return query.exec() || fail(query.lastError().text());
}

qint64 ArchiveOutbox::waitingRecords() {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(QStringLiteral("SELECT COALESCE(SUM(records), 0) FROM outbox_batches")) ||
        !query.next()) {
        fail(query.lastError().text());
        return -1;
    }
    return query.value(0).toLongLong();
}

int ArchiveOutbox::waitingBatches() {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM outbox_batches")) || !query.next()) {
        fail(query.lastError().text());
        return 0;
    }
    return query.value(0).toInt();
}
