#include "archive/localsqlite.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

QString openLocalSqlite(const QString& connectionName, const QString& path,
                        const QStringList& schema) {
    QSqlDatabase db = QSqlDatabase::contains(connectionName)
                          ? QSqlDatabase::database(connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return QStringLiteral("its folder cannot be made");
    }
    db.setDatabaseName(path);
    if (!db.open()) {
        return db.lastError().text();
    }
    // Another copy of the program may hold the file for a moment; every write is on disk
    // before it counts.
    const QStringList pragmas{QStringLiteral("PRAGMA busy_timeout = 5000"),
                              QStringLiteral("PRAGMA journal_mode = WAL"),
                              QStringLiteral("PRAGMA synchronous = FULL")};
    for (const QString& statement : pragmas + schema) {
        QSqlQuery query(db);
        if (!query.exec(statement)) {
            return query.lastError().text();
        }
    }
    return {};
}

void closeLocalSqlite(const QString& connectionName) {
    if (QSqlDatabase::contains(connectionName)) {
        QSqlDatabase::database(connectionName, false).close();
        QSqlDatabase::removeDatabase(connectionName);
    }
}
