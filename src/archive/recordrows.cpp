#include "archive/recordrows.h"

#include "archive/sqlrows.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

namespace {

// A batch of 1000 records goes to a server in one statement.
constexpr size_t kServerRows = 1000;

const char* const kInsertHead =
    "INSERT INTO records (memory_id, record_number, download_id, taken_at, reading1, reading2, "
    "reading3, reading4, reading5, reading6, clock_text) VALUES ";
const char* const kInsertTail = " ON CONFLICT (memory_id, record_number) DO NOTHING";

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<sqlite3* const*>(handle.constData());
}

bool bindRecord(sqlite3_stmt* stmt, qint64 memoryId, qint64 downloadId, const ArchiveRecord& r) {
    // A file keeps any time as text in taken_at; clock_text marks one that is no calendar time,
    // as on a server.
    const QByteArray takenAt = isoTakenAt(r.time).toLatin1();
    constexpr int kClockColumn = 5 + kArchiveChannels;
    bool ok = sqlite3_bind_int64(stmt, 1, memoryId) == SQLITE_OK &&
              sqlite3_bind_int64(stmt, 2, r.number) == SQLITE_OK &&
              sqlite3_bind_int64(stmt, 3, downloadId) == SQLITE_OK &&
              sqlite3_bind_text(stmt, 4, takenAt.constData(), int(takenAt.size()),
                                SQLITE_TRANSIENT) == SQLITE_OK &&
              (isCalendarTime(r.time)
                   ? sqlite3_bind_null(stmt, kClockColumn)
                   : sqlite3_bind_text(stmt, kClockColumn, takenAt.constData(), int(takenAt.size()),
                                       SQLITE_TRANSIENT)) == SQLITE_OK;
    for (int c = 0; ok && c < kArchiveChannels; ++c) {
        const auto& reading = r.readings[static_cast<size_t>(c)];
        ok = (reading ? sqlite3_bind_int(stmt, 5 + c, *reading) : sqlite3_bind_null(stmt, 5 + c)) ==
             SQLITE_OK;
    }
    return ok;
}

bool insertSqlite(sqlite3* db, qint64 memoryId, qint64 downloadId,
                  const std::vector<ArchiveRecord>& records, int& added, QString& error) {
    const QByteArray sql = QByteArray(kInsertHead) + "(?,?,?,?,?,?,?,?,?,?,?)" + kInsertTail;
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

// The records for a server as one INSERT of column arrays per kServerRows: PostgreSQL parses
// one array literal per column far faster than rows of VALUES (and QPSQL formats a prepared
// statement's values as text anyway). Every value is a number the program made or a time
// built from the instrument's bytes, so nothing needs escaping. A time that is no calendar time
// goes to clock_text, its taken_at NULL: one such record must not keep its batch out.
QString arrayInsertText(const ArchiveRecord* begin, const ArchiveRecord* end, qint64 memoryId,
                        qint64 downloadId) {
    const int rows = int(end - begin);
    QString numbers;
    QString times;
    QString clocks;
    std::array<QString, kArchiveChannels> readings;
    numbers.reserve(qsizetype(rows) * 6);
    times.reserve(qsizetype(rows) * 20);
    clocks.reserve(qsizetype(rows) * 5);
    for (QString& column : readings) {
        column.reserve(qsizetype(rows) * 5);
    }
    for (const ArchiveRecord* r = begin; r != end; ++r) {
        const QLatin1Char separator(r == begin ? '{' : ',');
        numbers += separator + QString::number(r->number);
        const bool calendar = isCalendarTime(r->time);
        times += separator + (calendar ? isoTakenAt(r->time) : QStringLiteral("NULL"));
        clocks += separator + (calendar ? QStringLiteral("NULL") : isoTakenAt(r->time));
        for (size_t c = 0; c < readings.size(); ++c) {
            const auto& reading = r->readings[c];
            readings[c] +=
                separator + (reading ? QString::number(*reading) : QStringLiteral("NULL"));
        }
    }
    QString text =
        QStringLiteral("INSERT INTO records (memory_id, record_number, download_id, "
                       "taken_at, reading1, reading2, reading3, reading4, reading5, "
                       "reading6, clock_text) SELECT %1, n, %2, t, r1, r2, r3, r4, r5, r6, k "
                       "FROM unnest('%3}'::bigint[], '%4}'::timestamp[], '%5}'::text[]")
            .arg(memoryId)
            .arg(downloadId)
            .arg(numbers, times, clocks);
    for (const QString& column : readings) {
        text += QStringLiteral(", '") + column + QStringLiteral("}'::integer[]");
    }
    return text + QStringLiteral(") AS u (n, t, k, r1, r2, r3, r4, r5, r6)") +
           QLatin1String(kInsertTail);
}

bool insertServer(QSqlDatabase& db, qint64 memoryId, qint64 downloadId,
                  const std::vector<ArchiveRecord>& records, int& added, QString& error) {
    for (size_t start = 0; start < records.size(); start += kServerRows) {
        const size_t rows = std::min<size_t>(kServerRows, records.size() - start);
        QSqlQuery query(db);
        if (!query.exec(arrayInsertText(records.data() + start, records.data() + start + rows,
                                        memoryId, downloadId))) {
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
