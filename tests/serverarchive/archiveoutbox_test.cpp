#include "archive/archiveoutbox.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString sqliteRows(const QString& path, const QString& sql) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sqlite3,sys\n"
                                 "c = sqlite3.connect(sys.argv[1])\n"
                                 "print(c.execute(sys.argv[2]).fetchall())"),
                  path, sql});
    EXPECT_TRUE(python.waitForFinished(30000));
    return QString::fromUtf8(python.readAllStandardOutput()).trimmed();
}

} // namespace

// Batches leave in the order they came, only when removed, and survive the program's end.
TEST(ArchiveOutbox, KeepsBatchesInOrderAcrossRuns) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("records/trellmo-outbox.sqlite"));
    {
        ArchiveOutbox outbox(path, QStringLiteral("outbox-a"));
        QString error;
        ASSERT_TRUE(outbox.open(&error)) << error.toStdString();
        EXPECT_EQ(outbox.waitingRecords(), 0);
        EXPECT_FALSE(outbox.oldest().has_value());
        ASSERT_TRUE(outbox.add(QByteArray("first"), 1000));
        ASSERT_TRUE(outbox.add(QByteArray("second\0x", 8), 24));
        ASSERT_TRUE(outbox.add(QByteArray("third"), 1));
        EXPECT_EQ(outbox.waitingRecords(), 1025);
        const auto first = outbox.oldest();
        ASSERT_TRUE(first.has_value());
        EXPECT_EQ(first->batch, QByteArray("first"));
        EXPECT_EQ(first->records, 1000);
        ASSERT_TRUE(outbox.remove(first->id));
    }
    EXPECT_EQ(sqliteRows(path, QStringLiteral("SELECT records FROM outbox_batches ORDER BY id")),
              QStringLiteral("[(24,), (1,)]"));
    ArchiveOutbox again(path, QStringLiteral("outbox-b"));
    ASSERT_TRUE(again.open(nullptr));
    EXPECT_EQ(again.waitingRecords(), 25);
    const auto second = again.oldest();
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->batch, QByteArray("second\0x", 8));
    ASSERT_TRUE(again.remove(second->id));
    ASSERT_TRUE(again.remove(again.oldest()->id));
    EXPECT_EQ(again.waitingRecords(), 0);

    // A file that is not a database is named in the refusal and left as it was.
    const QString notDb = folder.filePath(QStringLiteral("junk.sqlite"));
    QFile junk(notDb);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    ArchiveOutbox broken(notDb, QStringLiteral("outbox-c"));
    QString error;
    EXPECT_FALSE(broken.open(&error));
    EXPECT_TRUE(error.contains(notDb)) << error.toStdString();
    EXPECT_EQ(QFileInfo(notDb).size(), 4096);
}
