#pragma once

#include "serverarchive/archivelocation.h"

#include <QString>

class QSqlDatabase;
class QSqlError;

// Why the archive server could not be used. Each has one message for the user.
enum class ServerFault {
    None,
    NoServer,        // nothing answers at the address, or it went away
    WrongPassword,   // authentication failed (or no password was found in ~/.pgpass)
    UnknownDatabase, // the server has no database of that name
    NoRight,         // the role may not read or add what the archive needs
    Other,
};

struct ServerProblem {
    ServerFault fault = ServerFault::None;
    // The server's or libpq's own words, with the password masked.
    QString detail;
};

// What kind of failure a QPSQL error is. Connection failures carry no SQLSTATE, only libpq's
// message, so those are told by libpq's wording.
[[nodiscard]] ServerFault classifyServerError(const QSqlError& error);
[[nodiscard]] ServerProblem serverProblem(const QSqlError& error, const ArchiveLocation& location);

// Sets up a QPSQL connection for location: its libpq parameters, a connect timeout (10 s unless
// the URL sets one) and the program's name for the server's activity view.
void applyServerLocation(const ArchiveLocation& location, QSqlDatabase& db);

// Opens a QPSQL connection under connectionName for location, on the calling thread (a worker's:
// libpq blocks until the server answers or connect_timeout passes). Returns no fault when open.
[[nodiscard]] ServerProblem openServerConnection(const ArchiveLocation& location,
                                                 const QString& connectionName);

// The one message for a problem of the archive at location.
QString serverProblemText(const ServerProblem& problem, const ArchiveLocation& location);
