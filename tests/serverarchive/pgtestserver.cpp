#include "pgtestserver.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <QThread>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace {

const QString kScript = QStringLiteral(TRELLMO_SOURCE_DIR "/tools/pgserver");

QString run(const QString& program, const QStringList& arguments, bool* ok,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    if (!*ok) {
        ADD_FAILURE() << program.toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
    }
    return output;
}

// Reads FOLDER/env as tools/pgserver writes it: export NAME=value lines, quoted by printf %q
// (no value the script writes needs unquoting beyond backslashes).
QHash<QString, QString> readEnvFile(const QString& path) {
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return values;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).remove(QStringLiteral("export "));
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        if (equals > 0) {
            values.insert(text.left(equals), text.mid(equals + 1).remove(QLatin1Char('\\')));
        }
    }
    return values;
}

PgServerFacts factsFrom(const std::function<QString(const char*)>& value) {
    PgServerFacts facts;
    facts.bindir = value("TRELLMO_TEST_PG_BINDIR");
    facts.runas = value("TRELLMO_TEST_PG_RUNAS");
    facts.data = value("TRELLMO_TEST_PG_DATA");
    facts.socketFolder = value("TRELLMO_TEST_PG_SOCKET");
    facts.port = value("TRELLMO_TEST_PG_PORT").toInt();
    facts.user = value("TRELLMO_TEST_PG_USER");
    facts.password = value("TRELLMO_TEST_PG_PASSWORD");
    facts.database = value("TRELLMO_TEST_PG_DATABASE");
    return facts;
}

} // namespace

QString PgServerFacts::url(const QString& db, const QString& role) const {
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3?sslmode=disable")
        .arg(role.isEmpty() ? user : role)
        .arg(port)
        .arg(db);
}

std::optional<PgServerFacts> sharedPgServer(QString* whyNot) {
    if (qEnvironmentVariableIsSet("TRELLMO_TEST_PG_SKIP")) {
        *whyNot = qEnvironmentVariable("TRELLMO_TEST_PG_SKIP");
        return std::nullopt;
    }
    if (!qEnvironmentVariableIsSet("TRELLMO_TEST_PG_PORT")) {
        *whyNot =
            QStringLiteral("no throwaway server (TRELLMO_TEST_PG_PORT is not set); tools/test "
                           "starts one, or run tools/pgserver start FOLDER and source "
                           "FOLDER/env");
        return std::nullopt;
    }
    return factsFrom([](const char* name) { return qEnvironmentVariable(name); });
}

QStringList psql(const PgServerFacts& server, const QString& db, const QString& sql) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), server.password);
    env.remove(QStringLiteral("PGPASSFILE"));
    bool ok = false;
    const QString output = run(
        server.bindir + QStringLiteral("/psql"),
        {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"),
         QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"),
         server.socketFolder, QStringLiteral("-p"), QString::number(server.port),
         QStringLiteral("-U"), server.user, QStringLiteral("-d"), db, QStringLiteral("-c"), sql},
        &ok, env);
    return output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString createTestDatabase(const PgServerFacts& server, const QString& prefix) {
    static int counter = 0;
    const QString name =
        QStringLiteral("%1_%2_%3").arg(prefix).arg(::getpid()).arg(++counter).toLower();
    psql(server, QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + name);
    return name;
}

void usePasswordFile(const PgServerFacts& server, const QString& password, const QString& role) {
    // Kept for the life of the process: libpq reads the file whenever it connects.
    static std::vector<std::unique_ptr<QTemporaryFile>> files;
    files.push_back(std::make_unique<QTemporaryFile>());
    QTemporaryFile* file = files.back().get();
    ASSERT_TRUE(file->open());
    file->setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file->write(QStringLiteral("127.0.0.1:%1:*:%2:%3\n%4:%1:*:%2:%3\n")
                    .arg(server.port)
                    .arg(role.isEmpty() ? server.user : role, password, server.socketFolder)
                    .toUtf8());
    file->flush();
    qputenv("PGPASSFILE", file->fileName().toUtf8());
}

PrivatePgServer::PrivatePgServer() = default;

PrivatePgServer::~PrivatePgServer() {
    if (m_started) {
        bool ok = false;
        run(kScript, {QStringLiteral("stop"), m_folder->path()}, &ok);
    }
}

bool PrivatePgServer::start(QString* whyNot) {
    if (::geteuid() != 0) {
        *whyNot = QStringLiteral("a server of the test's own needs root (to run it as an "
                                 "unprivileged user)");
        return false;
    }
    m_folder = std::make_unique<QTemporaryDir>();
    m_folder->setAutoRemove(false);
    bool ok = false;
    run(kScript, {QStringLiteral("start"), m_folder->path()}, &ok);
    const QHash<QString, QString> values = readEnvFile(m_folder->path() + QStringLiteral("/env"));
    if (!ok || values.contains(QStringLiteral("TRELLMO_TEST_PG_SKIP"))) {
        *whyNot = values.value(QStringLiteral("TRELLMO_TEST_PG_SKIP"),
                               QStringLiteral("tools/pgserver start failed"));
        return false;
    }
    m_started = true;
    m_facts = factsFrom([&values](const char* name) { return values.value(QLatin1String(name)); });
    return true;
}

bool PrivatePgServer::stopFast() {
    bool ok = false;
    run(QStringLiteral("runuser"),
        {QStringLiteral("-u"), m_facts.runas, QStringLiteral("--"),
         m_facts.bindir + QStringLiteral("/pg_ctl"), QStringLiteral("--pgdata=") + m_facts.data,
         QStringLiteral("--mode=fast"), QStringLiteral("--wait"), QStringLiteral("stop")},
        &ok);
    return ok;
}

bool PrivatePgServer::startAgain() {
    bool ok = false;
    // The same options as tools/pgserver gave it: same port, same socket folder.
    const QString options = QStringLiteral("-c listen_addresses=127.0.0.1 -c port=%1 "
                                           "-c unix_socket_directories=%2 -c fsync=off")
                                .arg(m_facts.port)
                                .arg(m_facts.socketFolder);
    run(QStringLiteral("runuser"),
        {QStringLiteral("-u"), m_facts.runas, QStringLiteral("--"),
         m_facts.bindir + QStringLiteral("/pg_ctl"), QStringLiteral("--pgdata=") + m_facts.data,
         QStringLiteral("--log=") + m_folder->path() + QStringLiteral("/server.log"),
         QStringLiteral("--wait"), QStringLiteral("--options=") + options, QStringLiteral("start")},
        &ok);
    return ok;
}

bool PrivatePgServer::kill() {
    QFile pidFile(m_facts.data + QStringLiteral("/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly)) {
        return false;
    }
    const pid_t pid = pidFile.readLine().trimmed().toInt();
    if (pid <= 0 || ::kill(pid, SIGKILL) != 0) {
        return false;
    }
    // Its children notice the postmaster's death and leave; a new start waits for the port.
    for (int i = 0; i < 100 && ::kill(pid, 0) == 0; ++i) {
        QThread::msleep(50);
    }
    return true;
}
