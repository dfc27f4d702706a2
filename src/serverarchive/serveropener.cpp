#include "serverarchive/serveropener.h"

#include "archive/archiveschema.h"
#include "serverarchive/serverconnection.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace {

QString templateName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("trellmo-server-template-%1").arg(++counter);
}

// The privileges a download needs: new rows in every table and reading them back. Moving a
// download's last record and end as its batches arrive takes UPDATE on downloads as well, which
// a role may lack.
const char* const kRightsQuery =
    "SELECT bool_and(has_table_privilege(t, 'INSERT') AND has_table_privilege(t, 'SELECT')), "
    "has_table_privilege('downloads', 'UPDATE') FROM unnest(ARRAY['instrument_memories', "
    "'downloads', 'download_channels', 'records', 'archive_schema']) AS t";

ArchiveStore::Status checkRights(ArchiveStore& store, const ArchiveLocation& location) {
    QSqlQuery query(store.database());
    if (query.exec(QString::fromLatin1(kRightsQuery)) && query.next() && query.value(0).toBool()) {
        store.setUpdatesDownloads(query.value(1).toBool());
        return {true, {}};
    }
    ServerProblem problem{ServerFault::NoRight, query.lastError().databaseText()};
    if (problem.detail.isEmpty()) {
        problem.detail = QStringLiteral("it lacks a grant");
    }
    problem.detail = location.redacted(problem.detail);
    store.close();
    return {false, serverProblemText(problem, location)};
}

} // namespace

ArchiveStore::Status openServerArchive(ArchiveStore& store, const ArchiveLocation& location) {
    const QString name = templateName();
    ArchiveStore::Status status;
    {
        QSqlDatabase settings = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        if (!settings.isValid()) {
            status = {false, QStringLiteral("The archive %1 cannot be used: Qt's PostgreSQL "
                                            "driver is missing (Debian package libqt6sql6-psql)")
                                 .arg(location.displayText())};
        } else {
            applyServerLocation(location, settings);
            // The store opens its own connection with these settings; this one is never opened.
            status = store.openDatabase(settings, location.displayText());
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (status.ok) {
        return checkRights(store, location);
    }
    const QSqlError error = store.database().lastError();
    const ServerFault fault = classifyServerError(error);
    store.close();
    const bool denied = fault == ServerFault::NoRight ||
                        status.message.contains(QLatin1String("permission denied"));
    // PostgreSQL 15 lets only the database's owner create tables in its public schema.
    if (denied && status.message.contains(QLatin1String("for schema"))) {
        return {false,
                QStringLiteral("The archive %1 has no tables yet, and role \"%2\" may not "
                               "make them: its administrator runs \"trellmo --archive "
                               "URL --archive-init\" once.")
                    .arg(location.displayText(), location.parameter(QStringLiteral("user")))};
    }
    // Upgrading the tables of an older program is their owner's.
    if (status.message.contains(QLatin1String("must be owner"))) {
        return {false,
                QStringLiteral("The archive %1 was made by an older version of the program, "
                               "and role \"%2\" may not upgrade it: its administrator runs "
                               "\"trellmo --archive URL --archive-init\" once.")
                    .arg(location.displayText(), location.parameter(QStringLiteral("user")))};
    }
    if (denied) {
        const ServerProblem problem{ServerFault::NoRight, location.redacted(status.message)};
        return {false, serverProblemText(problem, location)};
    }
    if (fault != ServerFault::None && fault != ServerFault::Other) {
        return {false, serverProblemText(serverProblem(error, location), location)};
    }
    return {false, location.redacted(status.message)};
}

ArchiveStore::Status initArchive(const ArchiveLocation& location) {
    ArchiveStore store(QStringLiteral("trellmo-archive-init"));
    const ArchiveStore::Status status = location.kind() == ArchiveLocation::Kind::SQLite
                                            ? store.openFile(location.sqlitePath())
                                            : openServerArchive(store, location);
    if (!status.ok) {
        return status;
    }
    return {true, QStringLiteral("The archive %1 is ready (schema version %2).")
                      .arg(location.displayText())
                      .arg(ArchiveSchema::kVersion)};
}
