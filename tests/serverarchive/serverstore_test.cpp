// The archive on a real PostgreSQL server: the same schema and view as the file, read back with
// psql; and what the Records window asks, answered from the server.
#include "archivefixtures.h"
#include "pgtestserver.h"

#include "archive/archivestore.h"
#include "serverarchive/archivelocation.h"
#include "serverarchive/serverconnection.h"

#include <QSqlDatabase>
#include <gtest/gtest.h>

namespace {

ArchiveLocation serverLocation(const PgServerFacts& server, const QString& db) {
    usePasswordFile(server, server.password);
    return ArchiveLocation::parse(server.url(db), QStringLiteral("/")).location;
}

} // namespace

TEST(ServerArchive, KeepsTheSchemaAndViewOfTheFileWithTimestamps) {
    TRELLMO_NEED_PG(server);
    const QString db = createTestDatabase(*server, QStringLiteral("schema"));
    const ArchiveLocation location = serverLocation(*server, db);
    ASSERT_EQ(openServerConnection(location, QStringLiteral("schema-open")).fault,
              ServerFault::None);
    ArchiveStore store(QStringLiteral("schema-store"));
    const ArchiveStore::Status status = store.openDatabase(
        QSqlDatabase::database(QStringLiteral("schema-open")), location.displayText());
    ASSERT_TRUE(status.ok) << status.message.toStdString();

    const ArchiveBatch batch = testBatch(QStringLiteral("m1"), 1, 40);
    const auto first = store.store(batch);
    ASSERT_TRUE(first.ok) << first.message.toStdString();
    EXPECT_EQ(first.added, 40);
    const auto again = store.store(batch);
    ASSERT_TRUE(again.ok) << again.message.toStdString();
    EXPECT_EQ(again.alreadyThere, 40);

    EXPECT_EQ(psql(*server, db, QStringLiteral("SELECT version FROM archive_schema")),
              QStringList{QStringLiteral("2")});
    EXPECT_EQ(
        psql(*server, db,
             QStringLiteral("SELECT column_name || ' ' || data_type FROM "
                            "information_schema.columns WHERE table_name = "
                            "'record_readings' ORDER BY ordinal_position")),
        (QStringList{"instrument_id bigint", "record_number bigint",
                     "taken_at timestamp without time zone", "channel integer", "gas text",
                     "unit text", "value numeric", "downloaded_at timestamp without time zone"}));
    const ArchiveConfig config = sixChannelConfig();
    const QStringList rows =
        psql(*server, db,
             QStringLiteral("SELECT record_number, to_char(taken_at, 'YYYY-MM-DD\"T\"HH24:MI:SS'), "
                            "channel, gas, unit, value::float8 FROM record_readings "
                            "ORDER BY record_number, channel"));
    ASSERT_EQ(rows.size(), 40 * 6);
    for (quint32 n = 1; n <= 40; ++n) {
        const ArchiveRecord sent = testRecord(n);
        for (int c = 1; c <= 6; ++c) {
            const ArchiveChannel& ch = config.channel[size_t(c - 1)];
            const QStringList got = rows[int((n - 1) * 6 + quint32(c) - 1)].split(QLatin1Char('|'));
            ASSERT_EQ(got.size(), 6);
            EXPECT_EQ(got.mid(0, 5), (QStringList{QString::number(n), isoTakenAt(sent.time),
                                                  QString::number(c), ch.gas, ch.unit}));
            EXPECT_DOUBLE_EQ(got[5].toDouble(), *sent.readings[size_t(c - 1)] / double(ch.scale));
        }
    }

    // What the Records window and the download's "only what is new" ask.
    const QList<MemorySummary> memories = store.memories();
    ASSERT_EQ(memories.size(), 1);
    EXPECT_EQ(memories[0].records, 40);
    const ArchiveRange range = store.range(memories[0].id, {}, {});
    ASSERT_EQ(range.readings.size(), 40);
    EXPECT_EQ(range.readings[0].takenAt, isoTakenAt(testRecord(1).time));
    const QList<MemoryCandidate> candidates = store.candidates(config.key());
    ASSERT_EQ(candidates.size(), 1);
    EXPECT_EQ(candidates[0].last.number, 40U);
    EXPECT_TRUE(candidates[0].last.sameContent(testRecord(40)));

    // A clock never set (day 0) or garbled is no timestamp: the record is kept with the time as
    // sent, and neither it nor its batch is refused.
    ArchiveBatch odd = testBatch(QStringLiteral("m1"), 41, 43);
    odd.records[0].time = {0, 0, 0, 0, 0, 0};
    odd.records[2].time = {25, 2, 30, 24, 61, 99};
    const auto oddStored = store.store(odd);
    ASSERT_TRUE(oddStored.ok) << oddStored.message.toStdString();
    EXPECT_EQ(oddStored.added, 3);
    EXPECT_EQ(psql(*server, db,
                   QStringLiteral("SELECT record_number, taken_at IS NULL, clock_text FROM records "
                                  "WHERE record_number > 40 ORDER BY 1")),
              (QStringList{"41|t|2000-00-00T00:00:00", "42|f|", "43|t|2025-02-30T24:61:99"}));
    const QList<MemoryCandidate> after = store.candidates(config.key());
    ASSERT_EQ(after.size(), 1);
    EXPECT_TRUE(after[0].last.sameContent(odd.records[2]));
}
