#include "pgtestserver.h"
#include "serverarchive/archivelocation.h"
#include "serverarchive/archivesetting.h"
#include "serverarchive/serverconnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

const QString kSecret = QStringLiteral("s3cr%t;pw");

ArchiveLocation parsed(const QString& text) {
    const ArchiveLocation::Parsed result = ArchiveLocation::parse(text, QStringLiteral("/base"));
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    return result.location;
}

// Every message Qt or the driver logs while a test runs.
QStringList& loggedLines() {
    static QStringList lines;
    return lines;
}

void keepLogLine(QtMsgType, const QMessageLogContext&, const QString& message) {
    loggedLines().append(message);
}

} // namespace

TEST(ArchiveLocation, ReadsSqlitePathsAndLibpqUrls) {
    EXPECT_EQ(parsed(QStringLiteral("sqlite:archive.sqlite")).sqlitePath(),
              QStringLiteral("/base/archive.sqlite"));
    EXPECT_EQ(parsed(QStringLiteral("sqlite:/data/a.sqlite")).kind(),
              ArchiveLocation::Kind::SQLite);

    const ArchiveLocation fleet = parsed(QStringLiteral(
        "postgresql://trellmo@db.example:5433/fleet?sslmode=verify-full&sslrootcert=/etc/ca.pem"));
    EXPECT_EQ(fleet.kind(), ArchiveLocation::Kind::PostgreSQL);
    const ArchiveLocation::Parameters expected{
        {"host", "db.example"}, {"port", "5433"},           {"dbname", "fleet"},
        {"user", "trellmo"},    {"sslmode", "verify-full"}, {"sslrootcert", "/etc/ca.pem"}};
    EXPECT_EQ(fleet.parameters(), expected);
    EXPECT_EQ(fleet.displayText(),
              QStringLiteral("postgresql://trellmo@db.example:5433/fleet?sslmode=verify-full&"
                             "sslrootcert=/etc/ca.pem"));

    // A socket folder percent-encoded as the host, IPv6 in brackets, several hosts.
    EXPECT_EQ(parsed(QStringLiteral("postgres://%2Fvar%2Frun%2Fpostgresql/fleet"))
                  .parameter(QStringLiteral("host")),
              QStringLiteral("/var/run/postgresql"));
    EXPECT_EQ(parsed(QStringLiteral("postgresql://[::1]:5432/x")).parameter(QStringLiteral("host")),
              QStringLiteral("::1"));
    const ArchiveLocation two = parsed(QStringLiteral("postgresql://a:1,b/x"));
    EXPECT_EQ(two.parameter(QStringLiteral("host")), QStringLiteral("a,b"));
    EXPECT_EQ(two.parameter(QStringLiteral("port")), QStringLiteral("1,"));

    for (const char* wrong : {"mysql://x/y", "sqlite:", "/some/file", "postgresql://h:port/x",
                              "postgresql://h/x?bad-key=1", "postgresql://h/x?options=a;b"}) {
        const ArchiveLocation::Parsed result =
            ArchiveLocation::parse(QString::fromLatin1(wrong), QStringLiteral("/"));
        EXPECT_FALSE(result.ok) << wrong;
        EXPECT_FALSE(result.error.isEmpty()) << wrong;
    }
}

TEST(ArchiveLocation, PasswordInTheUrlIsNeverShown) {
    const QString encoded = QString::fromUtf8(QUrl::toPercentEncoding(kSecret));
    for (const QString& text :
         {QStringLiteral("postgresql://trellmo:%1@db/fleet").arg(encoded),
          QStringLiteral("postgresql://trellmo@db/fleet?password=%1&sslmode=require").arg(encoded),
          QStringLiteral("postgresql://trellmo:%1/fleet").arg(encoded)}) {
        const ArchiveLocation::Parsed result = ArchiveLocation::parse(text, QStringLiteral("/"));
        const QString shown = result.ok ? result.location.displayText() : result.error;
        EXPECT_FALSE(shown.contains(kSecret)) << shown.toStdString();
        EXPECT_FALSE(shown.contains(encoded)) << shown.toStdString();
        EXPECT_FALSE(shown.contains(QStringLiteral("s3cr"))) << shown.toStdString();
        if (result.ok) {
            EXPECT_TRUE(result.location.hasPassword());
            EXPECT_EQ(result.location.redacted(QStringLiteral("x ") + kSecret + " " + encoded),
                      QStringLiteral("x ******** ********"));
        }
    }
}

// Connecting through the URL to a real server: over TCP with the password from a password
// file, over the socket folder, and each way it can fail, with one message each that names the
// archive and never holds the password.
TEST(ArchiveLocation, ConnectsToARealServerAndTellsEachFailure) {
    TRELLMO_NEED_PG(server);
    qInstallMessageHandler(keepLogLine);
    const QString db = createTestDatabase(*server, QStringLiteral("location"));
    // Roles belong to the whole server: named after the database, which is new.
    const QString reader = db + QStringLiteral("_reader");
    psql(*server, db,
         QStringLiteral("CREATE TABLE t (n int); CREATE ROLE %1 LOGIN PASSWORD 'readerpw';"
                        "GRANT SELECT ON t TO %1")
             .arg(reader));

    usePasswordFile(*server, server->password);
    const ArchiveLocation tcp = parsed(server->url(db));
    EXPECT_EQ(openServerConnection(tcp, QStringLiteral("tcp")).fault, ServerFault::None);
    // Built by concatenation: the encoded folder's "%2F" would take a later arg().
    const QString socketUrl = QStringLiteral("postgresql://") + server->user + QLatin1Char('@') +
                              QString::fromUtf8(QUrl::toPercentEncoding(server->socketFolder)) +
                              QLatin1Char(':') + QString::number(server->port) + QLatin1Char('/') +
                              db;
    EXPECT_EQ(openServerConnection(parsed(socketUrl), QStringLiteral("socket")).fault,
              ServerFault::None);

    struct Case {
        QString url;
        ServerFault fault;
    };
    const QString secretInUrl = QString::fromUtf8(QUrl::toPercentEncoding(kSecret));
    const QList<Case> cases{
        {QStringLiteral("postgresql://%1:%2@127.0.0.1:%3/%4?sslmode=disable")
             .arg(server->user, secretInUrl, QString::number(server->port), db),
         ServerFault::WrongPassword},
        {server->url(QStringLiteral("nosuchdb")), ServerFault::UnknownDatabase},
        {QStringLiteral("postgresql://u:") + secretInUrl +
             QStringLiteral("@127.0.0.1:1/x?connect_timeout=2"),
         ServerFault::NoServer},
    };
    int n = 0;
    for (const Case& c : cases) {
        const ArchiveLocation location = parsed(c.url);
        const ServerProblem problem =
            openServerConnection(location, QStringLiteral("fault%1").arg(++n));
        EXPECT_EQ(problem.fault, c.fault) << problem.detail.toStdString();
        const QString text = serverProblemText(problem, location);
        EXPECT_TRUE(text.contains(location.displayText())) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("s3cr"))) << text.toStdString();
    }

    // A role that may read but not add rows.
    usePasswordFile(*server, QStringLiteral("readerpw"), reader);
    const ArchiveLocation readerLocation = parsed(server->url(db, reader));
    ASSERT_EQ(openServerConnection(readerLocation, QStringLiteral("reader")).fault,
              ServerFault::None);
    QSqlQuery insert(QSqlDatabase::database(QStringLiteral("reader")));
    EXPECT_FALSE(insert.exec(QStringLiteral("INSERT INTO t VALUES (1)")));
    const ServerProblem denied = serverProblem(insert.lastError(), readerLocation);
    EXPECT_EQ(denied.fault, ServerFault::NoRight) << denied.detail.toStdString();
    EXPECT_TRUE(serverProblemText(denied, readerLocation).contains(QStringLiteral("INSERT")));

    qInstallMessageHandler(nullptr);
    for (const QString& line : loggedLines()) {
        EXPECT_FALSE(line.contains(QStringLiteral("s3cr"))) << line.toStdString();
    }
}

// The command line wins over the settings file, which wins over the file beside the workbooks;
// a password given on the command line is wiped from the process's arguments.
TEST(ArchiveLocation, ComesFromCommandLineSettingsOrDefault) {
    QTemporaryDir home;
    const QString settingsFile = home.filePath(QStringLiteral("trellmo/trellmo.conf"));
    const QString fallback = home.filePath(QStringLiteral("records/trellmo-archive.sqlite"));

    ArchiveChoice choice = chooseArchive({}, settingsFile, fallback);
    ASSERT_TRUE(choice.parsed.ok);
    EXPECT_TRUE(choice.source.isEmpty());
    EXPECT_EQ(choice.parsed.location.sqlitePath(), fallback);

    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("trellmo"))));
    QFile conf(settingsFile);
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("archive=postgresql://trellmo@db1:5432,db2:5433/fleet?sslmode=verify-full\n");
    conf.close();
    choice = chooseArchive({}, settingsFile, fallback);
    ASSERT_TRUE(choice.parsed.ok) << choice.parsed.error.toStdString();
    EXPECT_EQ(choice.parsed.location.parameter(QStringLiteral("host")), QStringLiteral("db1,db2"));
    EXPECT_EQ(choice.parsed.location.parameter(QStringLiteral("sslmode")),
              QStringLiteral("verify-full"));

    choice = chooseArchive(QStringLiteral("sqlite:/tmp/elsewhere.sqlite"), settingsFile, fallback);
    EXPECT_EQ(choice.parsed.location.sqlitePath(), QStringLiteral("/tmp/elsewhere.sqlite"));

    QByteArray program("trellmo");
    QByteArray option("--archive=postgresql://u:hunter2@db/x");
    char* argv[] = {program.data(), option.data(), nullptr};
    const ArchiveLocation location = parsed(QString::fromLatin1(option.mid(10)));
    EXPECT_TRUE(hidePasswordInArguments(location, 2, argv));
    EXPECT_STREQ(argv[1], "--archive=postgresql://u:*******@db/x");
}
