#include "serverarchive/serverconnection.h"

#include <QSqlDatabase>
#include <QSqlError>

namespace {

// Seconds libpq waits for an answering server unless the URL says otherwise.
const QString kDefaultConnectTimeout = QStringLiteral("10");

bool mentions(const QString& text, const char* phrase) {
    return text.contains(QLatin1String(phrase), Qt::CaseInsensitive);
}

} // namespace

ServerFault classifyServerError(const QSqlError& error) {
    if (error.type() == QSqlError::NoError) {
        return ServerFault::None;
    }
    // SQLSTATE classes of PostgreSQL's Appendix A.
    const QString state = error.nativeErrorCode();
    if (state == QLatin1String("28P01") || state == QLatin1String("28000")) {
        return ServerFault::WrongPassword;
    }
    if (state == QLatin1String("3D000")) {
        return ServerFault::UnknownDatabase;
    }
    if (state == QLatin1String("42501")) {
        return ServerFault::NoRight;
    }
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"))) {
        return ServerFault::NoServer;
    }
    const QString text = error.databaseText();
    if (mentions(text, "password authentication failed") ||
        mentions(text, "no password supplied") || mentions(text, "fe_sendauth")) {
        return ServerFault::WrongPassword;
    }
    if (mentions(text, "does not exist") && mentions(text, "database")) {
        return ServerFault::UnknownDatabase;
    }
    if (mentions(text, "permission denied")) {
        return ServerFault::NoRight;
    }
    if (error.type() == QSqlError::ConnectionError || mentions(text, "connection") ||
        mentions(text, "server closed") || mentions(text, "no connection")) {
        return ServerFault::NoServer;
    }
    return ServerFault::Other;
}

ServerProblem serverProblem(const QSqlError& error, const ArchiveLocation& location) {
    ServerProblem problem;
    problem.fault = classifyServerError(error);
    problem.detail = location.redacted(error.databaseText().trimmed());
    if (problem.detail.isEmpty()) {
        problem.detail = location.redacted(error.driverText().trimmed());
    }
    return problem;
}

void applyServerLocation(const ArchiveLocation& location, QSqlDatabase& db) {
    ArchiveLocation bounded = location;
    if (bounded.parameter(QStringLiteral("connect_timeout")).isEmpty()) {
        bounded.addParameter(QStringLiteral("connect_timeout"), kDefaultConnectTimeout);
    }
    if (bounded.parameter(QStringLiteral("application_name")).isEmpty()) {
        bounded.addParameter(QStringLiteral("application_name"), QStringLiteral("trellmo"));
    }
    bounded.applyTo(db);
}

ServerProblem openServerConnection(const ArchiveLocation& location, const QString& connectionName) {
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (!db.isValid()) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    }
    if (!db.isValid()) {
        return {ServerFault::Other,
                QStringLiteral("Qt's PostgreSQL driver (libqt6sql6-psql) is not installed")};
    }
    applyServerLocation(location, db);
    if (db.open()) {
        return {};
    }
    ServerProblem problem = serverProblem(db.lastError(), location);
    db.close();
    return problem;
}

QString serverProblemText(const ServerProblem& problem, const ArchiveLocation& location) {
    const QString where = location.displayText();
    const QString role = location.parameter(QStringLiteral("user"));
    switch (problem.fault) {
    case ServerFault::None:
        return {};
    case ServerFault::NoServer:
        return QStringLiteral("The archive server of %1 does not answer (%2). Downloaded records "
                              "wait on this PC and are sent when it answers.")
            .arg(where, problem.detail);
    case ServerFault::WrongPassword:
        return QStringLiteral("The archive server of %1 did not accept the password of role "
                              "\"%2\". Put the right one in ~/.pgpass (or the file PGPASSFILE "
                              "names). Downloaded records wait on this PC.")
            .arg(where, role);
    case ServerFault::UnknownDatabase:
        return QStringLiteral("The archive server has no database \"%1\" (%2). Downloaded "
                              "records wait on this PC.")
            .arg(location.parameter(QStringLiteral("dbname")), where);
    case ServerFault::NoRight:
        return QStringLiteral("Role \"%1\" may not store records in the archive of %2: it needs "
                              "INSERT and SELECT on the archive's tables (%3). Downloaded records "
                              "wait on this PC.")
            .arg(role, where, problem.detail);
    case ServerFault::Other:
        break;
    }
    return QStringLiteral("The archive of %1 cannot be used: %2. Downloaded records wait on this "
                          "PC.")
        .arg(where, problem.detail);
}
