#include "archive/recordrows.h"

#include "archive/sqlrows.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

namespace {

constexpr int kServerRows = 100;
constexpr int kRecordColumns = 10;

const char* const kInsertHead =
    "INSERT INTO records (memory_id, record_number, download_id, taken_at, reading1, reading2, "
    "reading3, reading4, reading5, reading6) VALUES ";
const char* const kInsertTail = " ON CONFLICT (memory_id, record_number) DO NOTHING";

QString insertText(int rows) {
    QString text = QLatin1String(kInsertHead);
    const QString row = QStringLiteral("(?,?,?,?,?,?,?,?,?,?)");
    for (int i = 0; i < rows; ++i) {
        text += i == 0 ? row : QLatin1Char(',') + row;
    }
    return text + QLatin1String(kInsertTail);
}

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<sqlite3* const*>(handle.constData());
}

bool bindRecord(sqlite3_stmt* stmt, qint64 memoryId, qint64 downloadId, const ArchiveRecord& r) {
    const QByteArray takenAt = isoTakenAt(r.time).toLatin1();
    bool ok = sqlite3_bind_int64(stmt, 1, memoryId) == SQLITE_OK &&
              sqlite3_bind_int64(stmt, 2, r.number) == SQLITE_OK &&
              sqlite3_bind_int64(stmt, 3, downloadId) == SQLITE_OK &&
              sqlite3_bind_text(stmt, 4, takenAt.constData(), int(takenAt.size()),
                                SQLITE_TRANSIENT) == SQLITE_OK;
    for (int c = 0; ok && c < kArchiveChannels; ++c) {
        const auto& reading = r.readings[static_cast<size_t>(c)];
        ok = (reading ? sqlite3_bind_int(stmt, 5 + c, *reading) : sqlite3_bind_null(stmt, 5 + c)) ==
             SQLITE_OK;
    }
    return ok;
}

bool insertSqlite(sqlite3* db, qint64 memoryId, qint64 downloadId,
                  const std::vector<ArchiveRecord>& records, int& added, QString& error) {
    const QByteArray sql = QByteArray(kInsertHead) + "(?,?,?,?,?,?,?,?,?,?)" + kInsertTail;
    sqlite3_stmt* stmt = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < records.size(); ++i) {
        ok =
            bindRecord(stmt, memoryId, downloadId, records[i]) && sqlite3_step(stmt) == SQLITE_DONE;
        added += ok ? sqlite3_changes(db) : 0;
        sqlite3_reset(stmt);
    }
    if (!ok) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
    }
    sqlite3_finalize(stmt);
    return ok;
}

bool insertServer(QSqlDatabase& db, qint64 memoryId, qint64 downloadId,
                  const std::vector<ArchiveRecord>& records, int& added, QString& error) {
    QSqlQuery full(db);
    full.prepare(insertText(kServerRows));
    for (size_t start = 0; start < records.size(); start += kServerRows) {
        const size_t rows = std::min<size_t>(kServerRows, records.size() - start);
        QSqlQuery partial(db);
        QSqlQuery& query = rows == kServerRows ? full : partial;
        if (rows != kServerRows) {
            query.prepare(insertText(int(rows)));
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
        added += query.numRowsAffected();
    }
    return true;
}

} // namespace

bool insertRecordRows(QSqlDatabase& db, const SqlDialect& dialect, qint64 memoryId,
                      qint64 downloadId, const std::vector<ArchiveRecord>& records, int& added,
                      QString& error) {
    if (dialect.kind == SqlDialect::Kind::Sqlite) {
        if (sqlite3* handle = sqliteHandle(db)) {
            return insertSqlite(handle, memoryId, downloadId, records, added, error);
        }
    }
    return insertServer(db, memoryId, downloadId, records, added, error);
}
