#include "archive/batchjournal.h"

#include "archive/localsqlite.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

BatchJournal::BatchJournal(QString path, QString connectionName)
    : m_path(std::move(path)), m_connectionName(std::move(connectionName)) {}

BatchJournal::~BatchJournal() {
    closeLocalSqlite(m_connectionName);
}

bool BatchJournal::open() {
    if (m_open) {
        return true;
    }
    m_lastError = openLocalSqlite(m_connectionName, m_path,
                                  {QStringLiteral("CREATE TABLE IF NOT EXISTS journal_batches ("
                                                  " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                                  " written INTEGER NOT NULL DEFAULT 0,"
                                                  " workbooks TEXT NOT NULL,"
                                                  " batch BLOB NOT NULL)")});
    m_open = m_lastError.isEmpty();
    return m_open;
}

bool BatchJournal::run(const QString& statement, const QVariantList& values, qint64* insertedId) {
    if (!open()) {
        return false;
    }
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(statement);
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        m_lastError = query.lastError().text();
        return false;
    }
    if (insertedId != nullptr) {
        *insertedId = query.lastInsertId().toLongLong();
    }
    return true;
}

std::optional<qint64> BatchJournal::add(const QByteArray& batch, const QStringList& workbooks) {
    qint64 id = 0;
    if (!run(QStringLiteral("INSERT INTO journal_batches (workbooks, batch) VALUES (?, ?)"),
             {workbooks.join(QLatin1Char('\n')), batch}, &id)) {
        return std::nullopt;
    }
    return id;
}

bool BatchJournal::markWritten(qint64 id) {
    return run(QStringLiteral("UPDATE journal_batches SET written = 1 WHERE id = ?"), {id});
}

bool BatchJournal::remove(qint64 id) {
    return run(QStringLiteral("DELETE FROM journal_batches WHERE id = ?"), {id});
}

bool BatchJournal::removeThrough(qint64 id) {
    return run(QStringLiteral("DELETE FROM journal_batches WHERE id <= ?"), {id});
}

QList<BatchJournal::Entry> BatchJournal::entries() {
    QList<Entry> list;
    if (!open()) {
        return list;
    }
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(QStringLiteral(
            "SELECT id, written, workbooks, batch FROM journal_batches ORDER BY id"))) {
        m_lastError = query.lastError().text();
        return list;
    }
    while (query.next()) {
        list.append({query.value(0).toLongLong(), query.value(1).toInt() != 0,
                     query.value(2).toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                     query.value(3).toByteArray()});
    }
    return list;
}
