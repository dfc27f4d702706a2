#pragma once

#include "archive/sqldialect.h"

#include <QSqlDatabase>
#include <QString>

// The archive's tables and the record_readings view, with their version.
//
// The version lives in a one-row table, archive_schema(version), rather than in SQLite's
// PRAGMA user_version, so that the same statements read and write it on PostgreSQL.
// Opening an archive of an older version upgrades it in one transaction; a newer one than this
// program knows is refused and left as it is.
namespace ArchiveSchema {

constexpr int kVersion = 2;

struct Result {
    bool ok = false;
    QString message; // why not, naming the archive
};

// Creates the schema in an empty database, upgrades an older one, refuses a newer one.
// `where` names the archive in messages (a file path or a server).
[[nodiscard]] Result prepare(QSqlDatabase& db, const SqlDialect& dialect, const QString& where);

// The version an existing archive carries: 0 when it has no archive tables. When it cannot be
// read (ok false), error (if given) says why.
int versionOf(QSqlDatabase& db, bool& ok, QString* error = nullptr);

} // namespace ArchiveSchema
