// The archive as a reporting tool and a second program see it: rows read back with Python's
// sqlite3, files it refuses left byte for byte, failures kept and written later, two writers.
#include "archivefixtures.h"

#include "archive/archiveschema.h"
#include "archive/archiveservice.h"
#include "archive/archivestore.h"
#include "archive/archiveworker.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ArchiveTest : public ::testing::Test {
protected:
    QString archivePath() const { return m_dir.filePath(QStringLiteral("trellmo-archive.sqlite")); }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(ArchiveTest, RecordsAreStoredOnceAndReadBackThroughTheView) {
    ArchiveStore store(QStringLiteral("view"));
    ASSERT_TRUE(store.openFile(archivePath()).ok);
    const ArchiveBatch batch = testBatch(QStringLiteral("m1"), 1, 40);
    const auto first = store.store(batch);
    ASSERT_TRUE(first.ok) << first.message.toStdString();
    EXPECT_EQ(first.added, 40);
    const auto again = store.store(batch);
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(again.added, 0);
    EXPECT_EQ(again.alreadyThere, 40);

    const QStringList rows = pythonSqlite(
        archivePath(), QStringLiteral("SELECT * FROM record_readings ORDER BY record_number, "
                                      "channel"));
    ASSERT_EQ(rows.size(), 1 + 40 * 6) << rows.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(rows[0],
              QStringLiteral(
                  "instrument_id|record_number|taken_at|channel|gas|unit|value|downloaded_at"));
    const ArchiveConfig config = sixChannelConfig();
    for (quint32 n = 1; n <= 40; ++n) {
        const ArchiveRecord sent = testRecord(n);
        for (int c = 1; c <= 6; ++c) {
            const ArchiveChannel& ch = config.channel[size_t(c - 1)];
            const QString expected =
                QStringLiteral("1|%1|'%2'|%3|'%4'|'%5'|%6|'2025-03-08T17:30:00'")
                    .arg(n)
                    .arg(isoTakenAt(sent.time))
                    .arg(c)
                    .arg(ch.gas, ch.unit)
                    .arg(
                        QString::number(*sent.readings[size_t(c - 1)] / double(ch.scale), 'g', 17));
            const QString& got = rows[int((n - 1) * 6 + quint32(c))];
            // Python prints floats in their shortest form: compare the value as a number.
            QStringList g = got.split(QLatin1Char('|'));
            const QStringList e = expected.split(QLatin1Char('|'));
            ASSERT_EQ(g.size(), 8);
            EXPECT_DOUBLE_EQ(g[6].toDouble(), e[6].toDouble()) << got.toStdString();
            g[6] = e[6];
            EXPECT_EQ(g, e);
        }
    }
}

TEST_F(ArchiveTest, MemoriesUnderAConfigurationNameTheirFirstAndLastRecord) {
    ArchiveStore store(QStringLiteral("candidates"));
    ASSERT_TRUE(store.openFile(archivePath()).ok);
    ASSERT_TRUE(store.store(testBatch(QStringLiteral("old"), 1, 30, sixChannelConfig(), 7)).ok);
    ASSERT_TRUE(store.store(testBatch(QStringLiteral("new"), 1, 40)).ok);
    const QList<MemoryCandidate> found = store.candidates(sixChannelConfig().key());
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0].memoryKey, QStringLiteral("new"));
    ASSERT_TRUE(found[0].first.has_value());
    EXPECT_TRUE(found[0].first->sameContent(testRecord(1)));
    EXPECT_EQ(found[0].last.number, 40u);
    EXPECT_TRUE(found[0].last.sameContent(testRecord(40)));
    EXPECT_EQ(found[1].last.number, 30u);
    EXPECT_TRUE(store.candidates(QStringLiteral("4;other")).isEmpty());

    const QList<MemorySummary> memories = store.memories();
    ASSERT_EQ(memories.size(), 2);
    EXPECT_EQ(memories[0].records, 40);
    EXPECT_EQ(memories[0].gases, QStringLiteral("CO, H2S, O2, EX, NO2, SO2"));
    const ArchiveRange range = store.range(memories[0].id, QStringLiteral("2025-03-07T08:10:00"),
                                           QStringLiteral("2025-03-07T08:19:59"));
    ASSERT_EQ(range.readings.size(), 10);
    ASSERT_EQ(range.downloads.size(), 1);
    EXPECT_EQ(range.downloads[0].second.channel[1].lowAlarmRaw, 51);
    EXPECT_DOUBLE_EQ(range.readings[0].values[1], *testRecord(11).readings[1] / 10.0);
}

TEST_F(ArchiveTest, AFileThatIsNoArchiveOrANewerOneIsRefusedAndLeftAsItIs) {
    const QString path = archivePath();
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("Dear diary, today I docked the detector.\n").repeated(200));
    }
    const QByteArray before = fileBytes(path);
    {
        ArchiveStore store(QStringLiteral("foreign"));
        const ArchiveStore::Status status = store.openFile(path);
        EXPECT_FALSE(status.ok);
        EXPECT_TRUE(status.message.contains(path)) << status.message.toStdString();
    }
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_FALSE(QFile::exists(path + QStringLiteral("-wal")));

    // An archive of the first version is upgraded; its records stay.
    const QString older = m_dir.filePath(QStringLiteral("older.sqlite"));
    {
        ArchiveStore store(QStringLiteral("made-older"));
        ASSERT_TRUE(store.openFile(older).ok);
        ASSERT_TRUE(store.store(testBatch(QStringLiteral("m"), 1, 5)).ok);
        QSqlQuery query(store.database());
        ASSERT_TRUE(query.exec(QStringLiteral("ALTER TABLE records DROP COLUMN clock_text")));
        ASSERT_TRUE(query.exec(QStringLiteral("UPDATE archive_schema SET version = 1")));
    }
    {
        ArchiveStore store(QStringLiteral("older"));
        ASSERT_TRUE(store.openFile(older).ok);
    }
    EXPECT_EQ(pythonSqlite(older, QStringLiteral("SELECT version, (SELECT COUNT(clock_text) + "
                                                 "COUNT(*) FROM records) FROM archive_schema"))
                  .value(1),
              QStringLiteral("2|5"));

    const QString newer = m_dir.filePath(QStringLiteral("newer.sqlite"));
    {
        ArchiveStore store(QStringLiteral("made"));
        ASSERT_TRUE(store.openFile(newer).ok);
        QSqlQuery query(store.database());
        ASSERT_TRUE(query.exec(QStringLiteral("UPDATE archive_schema SET version = 99")));
    }
    ArchiveStore store(QStringLiteral("newer"));
    const ArchiveStore::Status status = store.openFile(newer);
    EXPECT_FALSE(status.ok);
    EXPECT_TRUE(status.message.contains(QStringLiteral("newer version")))
        << status.message.toStdString();
    EXPECT_EQ(pythonSqlite(newer, QStringLiteral("SELECT version FROM archive_schema")).value(1),
              QStringLiteral("99"));
}

TEST_F(ArchiveTest, AFullDiskIsToldOnceAndTheKeptBatchesAreWrittenWhenSpaceReturns) {
    ArchiveWorker worker(QStringLiteral("full"));
    ASSERT_TRUE(worker.store().openFile(archivePath()).ok);
    ASSERT_TRUE(worker.store(testBatch(QStringLiteral("m"), 1, 10)).ok);
    QSqlQuery pragma(worker.store().database());
    // SQLite reports a database that may not grow as it reports a full disk (SQLITE_FULL).
    ASSERT_TRUE(pragma.exec(QStringLiteral("PRAGMA page_count")) && pragma.next());
    const int pages = pragma.value(0).toInt();
    ASSERT_TRUE(pragma.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages)));
    const ArchiveStoreReport failed = worker.store(testBatch(QStringLiteral("m"), 11, 1000));
    EXPECT_FALSE(failed.ok);
    EXPECT_TRUE(failed.message.contains(QStringLiteral("full"))) << failed.message.toStdString();
    EXPECT_EQ(worker.store(testBatch(QStringLiteral("m"), 1001, 2000)).pending, 2);

    ASSERT_TRUE(pragma.exec(QStringLiteral("PRAGMA max_page_count = 1000000")));
    const ArchiveStoreReport later = worker.store(testBatch(QStringLiteral("m"), 2001, 2010));
    EXPECT_TRUE(later.ok);
    EXPECT_EQ(later.pending, 0);
    EXPECT_EQ(later.added, 2000);
    EXPECT_EQ(pythonSqlite(archivePath(),
                           QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT record_number), "
                                          "MAX(record_number) FROM records"))
                  .value(1),
              QStringLiteral("2010|2010|2010"));
}

TEST_F(ArchiveTest, TheServiceTellsAFailureOnceAndAnswersOnTheCallersThread) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    ArchiveService service;
    QList<ArchiveStoreReport> reports;
    QObject::connect(&service, &ArchiveService::stored,
                     [&](const ArchiveStoreReport& r) { reports << r; });
    service.openFile(m_dir.filePath(QStringLiteral("missing-folder/x/archive.sqlite")));
    service.store(testBatch(QStringLiteral("m"), 1, 10));
    service.store(testBatch(QStringLiteral("m"), 11, 20));
    EXPECT_FALSE(service.finish(10000));
    QCoreApplication::processEvents();
    ASSERT_EQ(reports.size(), 2);
    EXPECT_FALSE(reports[0].message.isEmpty());
    EXPECT_TRUE(reports[1].message.isEmpty()) << "told once per run of failures";
    EXPECT_EQ(reports[1].pending, 2);
}

TEST_F(ArchiveTest, WritersInSeveralProcessesStoreEveryRecordOnce) {
    {
        ArchiveStore store(QStringLiteral("init"));
        ASSERT_TRUE(store.openFile(archivePath()).ok);
    }
    QList<pid_t> children;
    for (int w = 0; w < 3; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            ArchiveStore store(QStringLiteral("writer"));
            bool ok = store.openFile(archivePath()).ok;
            // Each writer stores the shared memory in its own batches, overlapping the others.
            for (quint32 first = 1 + quint32(w) * 100; ok && first <= 3000; first += 300) {
                ok = store.store(testBatch(QStringLiteral("shared"), first, first + 299)).ok;
            }
            // Instruments of their own: other readings than the shared one's.
            ok = ok && store
                           .store(testBatch(QStringLiteral("own%1").arg(w), 1, 2000,
                                            sixChannelConfig(), quint32(w) + 1))
                           .ok;
            _exit(ok ? 0 : 1);
        }
        children << pid;
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(pythonSqlite(archivePath(), QStringLiteral("SELECT COUNT(*) FROM records")).value(1),
              QStringLiteral("%1").arg(3000 + 3 * 2000 + 200));
}

TEST_F(ArchiveTest, AWriterKilledAtAnyMomentLeavesWholeBatchesAndTheRestArrivesLater) {
    {
        ArchiveStore store(QStringLiteral("init"));
        ASSERT_TRUE(store.openFile(archivePath()).ok);
    }
    for (int round = 0; round < 6; ++round) {
        const pid_t pid = fork();
        if (pid == 0) {
            ArchiveStore store(QStringLiteral("victim"));
            bool ok = store.openFile(archivePath()).ok;
            for (quint32 first = 1; ok; first = first % 20000 + 1000) {
                ok = store.store(testBatch(QStringLiteral("m"), first, first + 999)).ok;
            }
            _exit(1);
        }
        usleep(useconds_t(20000 + round * 37000));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        const QStringList counts =
            pythonSqlite(archivePath(), QStringLiteral("PRAGMA quick_check"));
        EXPECT_EQ(counts.value(1), QStringLiteral("'ok'"));
        const QString total =
            pythonSqlite(archivePath(), QStringLiteral("SELECT COUNT(*) % 1000 FROM records"))
                .value(1);
        EXPECT_EQ(total, QStringLiteral("0")) << "a batch is in the archive whole or not at all";
    }
    ArchiveStore store(QStringLiteral("after"));
    ASSERT_TRUE(store.openFile(archivePath()).ok);
    ASSERT_TRUE(store.store(testBatch(QStringLiteral("m"), 1, 21000)).ok);
    EXPECT_EQ(pythonSqlite(archivePath(), QStringLiteral("SELECT COUNT(*) FROM records")).value(1),
              QStringLiteral("21000"));
}
