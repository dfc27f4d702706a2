// A program killed between a batch's workbook write and the archive's commit: at the next
// start the archive catches up with the workbooks, so that a download going on after the
// archive's last record fetches nothing twice into a workbook.
#include "archivefixtures.h"

#include "archive/archivefeed.h"
#include "export/recordexporter.h"
#include "records/recordsheet.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(BatchJournal, AKillAroundAWorkbookWriteLeavesArchiveAndWorkbookAlike) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    // How many records the workbook holds after each kill.
    const QList<std::pair<QString, int>> cases{{QStringLiteral("before-workbook"), 1000},
                                               {QStringLiteral("after-workbook"), 2000},
                                               {QStringLiteral("after-batch"), 2000}};
    for (const auto& [mode, rows] : cases) {
        SCOPED_TRACE(mode.toStdString());
        QTemporaryDir folder;
        QProcess victim;
        victim.start(QStringLiteral(TRELLMO_JOURNAL_VICTIM), {folder.path(), mode});
        ASSERT_TRUE(victim.waitForFinished(60000));
        ASSERT_EQ(victim.exitStatus(), QProcess::CrashExit)
            << victim.readAllStandardError().toStdString();

        // The next start.
        RecordExporter workbooks(folder.path(), [] { return QDate(2025, 3, 7); });
        ArchiveService archive;
        archive.openFile(folder.filePath(QStringLiteral("trellmo-archive.sqlite")));
        ArchiveFeed feed(workbooks, archive,
                         folder.filePath(QStringLiteral("trellmo-journal.sqlite")));
        QObject::connect(&archive, &ArchiveService::stored,
                         [&feed](const ArchiveStoreReport& report) { feed.archived(report); });
        feed.recoverJournal();
        ASSERT_TRUE(archive.finish(30000));
        QCoreApplication::processEvents();

        QString problem;
        const auto inWorkbook =
            countRecords(workbooks.workbookPath(ChannelLayout::Six, QDate(2025, 3, 7)), problem);
        EXPECT_EQ(inWorkbook.value_or(-1), rows) << problem.toStdString();
        EXPECT_EQ(pythonSqlite(folder.filePath(QStringLiteral("trellmo-archive.sqlite")),
                               QStringLiteral("SELECT COUNT(*), MAX(record_number) FROM records"))
                      .value(1),
                  QStringLiteral("%1|%1").arg(rows));
        EXPECT_EQ(pythonSqlite(folder.filePath(QStringLiteral("trellmo-journal.sqlite")),
                               QStringLiteral("SELECT COUNT(*) FROM journal_batches"))
                      .value(1),
                  QStringLiteral("0"));
    }
}
