#pragma once

#include <QString>

// The few places where SQLite and PostgreSQL want different words. Every statement the archive
// sends is written once in the SQL both understand (ON CONFLICT DO NOTHING, integer keys,
// CASE, no PRAGMA) with these filled in; anything that only one of them has stays in
// sqldialect.cpp.
struct SqlDialect {
    enum class Kind { Sqlite, Postgres };

    Kind kind = Kind::Sqlite;
    QString autoKey;   // an integer primary key the database numbers itself
    QString timestamp; // the column type of a time: ISO 8601 text in SQLite
    QString bigInt;    // a 64-bit integer column

    static SqlDialect sqlite();
    static SqlDialect postgres();
    // By Qt SQL driver name ("QSQLITE", "QPSQL").
    static SqlDialect forDriver(const QString& driverName);
};
