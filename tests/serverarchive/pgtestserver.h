#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QTemporaryDir;

// The facts of a throwaway PostgreSQL server started by tools/pgserver: a socket folder, a port
// on 127.0.0.1 and a superuser role that logs in with a password.
struct PgServerFacts {
    QString bindir;
    QString runas;
    QString data;
    QString socketFolder;
    int port = 0;
    QString user;
    QString password;
    QString database;

    // postgresql://user@127.0.0.1:port/db (no password: it comes from a password file).
    QString url(const QString& db, const QString& role = {}) const;
};

// The server tools/test started (TRELLMO_TEST_PG_* in the environment), or why there is none.
std::optional<PgServerFacts> sharedPgServer(QString* whyNot);

// Runs sql with psql (an independent client) as the superuser over the socket; returns the
// rows, fields separated by '|'. Fails the calling test on an error.
QStringList psql(const PgServerFacts& server, const QString& db, const QString& sql);
// A new empty database (named after prefix and a counter) owned by the superuser.
QString createTestDatabase(const PgServerFacts& server, const QString& prefix);
// Points PGPASSFILE at a file (kept for the process's life) holding password for role on
// the server's TCP address; an empty role means the superuser.
void usePasswordFile(const PgServerFacts& server, const QString& password,
                     const QString& role = {});

// A server of the test's own, for tests that stop or kill it.
class PrivatePgServer {
public:
    PrivatePgServer();
    ~PrivatePgServer();
    // Starts it; false with the reason when it cannot be had (not root, no postgresql-15).
    bool start(QString* whyNot);
    const PgServerFacts& facts() const { return m_facts; }
    // pg_ctl stop -m fast, and start again on the same port.
    bool stopFast();
    bool startAgain();
    // SIGKILL to the postmaster (its children end with it).
    bool kill();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    PgServerFacts m_facts;
    bool m_started = false;
};

#define TRELLMO_NEED_PG(server)                                                                    \
    QString whyNoServer_;                                                                          \
    const std::optional<PgServerFacts> server = sharedPgServer(&whyNoServer_);                     \
    if (!server) {                                                                                 \
        GTEST_SKIP() << "PostgreSQL test skipped: " << whyNoServer_.toStdString();                 \
    }
