// The archive on a PostgreSQL server: 65,535 six-channel records (a full memory) stored as a
// download hands them over, in batches of 1000, each one transaction with one INSERT for its
// records. Target: under 3 s into a server on this PC. Then the month query of the Records
// window (45,000 records) from the server.
//
// Needs a server: tools/pgserver start FOLDER; source FOLDER/env; build/bench/serverarchive_bench
#include "archive/archivestore.h"
#include "serverarchive/archivelocation.h"
#include "serverarchive/serveropener.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>

namespace {

ArchiveConfig config() {
    ArchiveConfig c;
    c.channels = 6;
    for (int i = 0; i < 6; ++i) {
        c.channel[size_t(i)] = {
            i + 1, QStringLiteral("G%1").arg(i), 1, QStringLiteral("ppm"), 1, 10, 1000, 100, 200};
    }
    return c;
}

ArchiveBatch batch(quint32 first, quint32 last) {
    ArchiveBatch b;
    b.memoryKey = QStringLiteral("bench-memory");
    b.fingerprint = QStringLiteral("bench");
    b.download.downloadKey = QStringLiteral("bench-download");
    b.download.downloadedAt = QDateTime::currentDateTime();
    b.download.port = QStringLiteral("ttyUSB0");
    b.download.config = config();
    b.download.recordTotal = 65535;
    const QDateTime start(QDate(2025, 3, 1), QTime(0, 0));
    for (quint32 n = first; n <= last; ++n) {
        const QDateTime t = start.addSecs(qint64(n) * 60);
        ArchiveRecord r;
        r.number = n;
        r.time = {quint8(t.date().year() - 2000), quint8(t.date().month()),  quint8(t.date().day()),
                  quint8(t.time().hour()),        quint8(t.time().minute()), 0};
        for (size_t c = 0; c < 6; ++c) {
            r.readings[c] = quint16((n * 7 + c * 13) % 1000);
        }
        b.records.push_back(r);
    }
    return b;
}

// CPU time in ms a process used so far (user + system, from /proc/PID/stat).
double cpuMs(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) * 1000.0 /
           double(sysconf(_SC_CLK_TCK));
}

QString env(const char* name) {
    return qEnvironmentVariable(name);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (env("TRELLMO_TEST_PG_PORT").isEmpty()) {
        std::fprintf(stderr, "serverarchive_bench needs a server: tools/pgserver start FOLDER; "
                             "source FOLDER/env\n");
        return 2;
    }
    const QString db = QStringLiteral("bench_%1").arg(QCoreApplication::applicationPid());
    QProcessEnvironment psqlEnv = QProcessEnvironment::systemEnvironment();
    psqlEnv.insert(QStringLiteral("PGPASSWORD"), env("TRELLMO_TEST_PG_PASSWORD"));
    const auto psql = [&](const QString& database, const QString& sql) {
        QProcess p;
        p.setProcessEnvironment(psqlEnv);
        p.start(env("TRELLMO_TEST_PG_BINDIR") + QStringLiteral("/psql"),
                {QStringLiteral("-qAt"), QStringLiteral("-h"), env("TRELLMO_TEST_PG_SOCKET"),
                 QStringLiteral("-p"), env("TRELLMO_TEST_PG_PORT"), QStringLiteral("-U"),
                 env("TRELLMO_TEST_PG_USER"), QStringLiteral("-d"), database, QStringLiteral("-c"),
                 sql});
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    };
    psql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + db);

    QTemporaryFile pass;
    (void)pass.open();
    pass.write(QStringLiteral("*:*:*:*:%1\n").arg(env("TRELLMO_TEST_PG_PASSWORD")).toUtf8());
    pass.flush();
    qputenv("PGPASSFILE", pass.fileName().toUtf8());
    const ArchiveLocation location =
        ArchiveLocation::parse(
            QStringLiteral("postgresql://%1@127.0.0.1:%2/%3?sslmode=disable")
                .arg(env("TRELLMO_TEST_PG_USER"), env("TRELLMO_TEST_PG_PORT"), db),
            QStringLiteral("/"))
            .location;
    ArchiveStore store(QStringLiteral("bench"));
    const ArchiveStore::Status status = openServerArchive(store, location);
    if (!status.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(status.message));
        return 1;
    }
    std::vector<ArchiveBatch> batches;
    for (quint32 first = 1; first <= 65535; first += 1000) {
        batches.push_back(batch(first, qMin<quint32>(65535, first + 999)));
    }
    QSqlQuery backend(store.database());
    const qint64 backendPid =
        backend.exec(QStringLiteral("SELECT pg_backend_pid()")) && backend.next()
            ? backend.value(0).toLongLong()
            : 0;
    const double cpuBefore = cpuMs(QCoreApplication::applicationPid()) + cpuMs(backendPid);
    QElapsedTimer timer;
    timer.start();
    for (const ArchiveBatch& b : batches) {
        if (!store.store(b).ok) {
            std::fprintf(stderr, "store failed\n");
            return 1;
        }
    }
    const qint64 storeMs = timer.elapsed();
    const double cpuUsed =
        cpuMs(QCoreApplication::applicationPid()) + cpuMs(backendPid) - cpuBefore;
    timer.restart();
    const QList<MemorySummary> memories = store.memories();
    const ArchiveRange month =
        store.range(memories.value(0).id, QStringLiteral("2025-03-01T00:00:00"),
                    QStringLiteral("2025-04-01T00:00:00"));
    const qint64 monthMs = timer.elapsed();
    // On a busy machine the wall time includes waiting for a core; the CPU time of the program
    // and its server process is what the store costs on a quiet one.
    std::printf("65,535 six-channel records stored in %lld ms wall, %.0f ms CPU of program and "
                "server (target < 3000 ms); server holds %s\n",
                storeMs, cpuUsed,
                qPrintable(psql(db, QStringLiteral("SELECT count(*) FROM records"))));
    std::printf("month query: %lld readings in %lld ms\n", qlonglong(month.readings.size()),
                monthMs);
    store.close();
    psql(QStringLiteral("postgres"), QStringLiteral("DROP DATABASE ") + db);
    return 0;
}
