// Day workbooks written by an earlier download, taken into the archive: each record once,
// however often the workbooks are imported and whether or not the download was archived.
#include "archivefixtures.h"

#include "archive/archivestore.h"
#include "archive/workbookimport.h"
#include "export/recordexporter.h"
#include "model/recordstore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The rows the download of records 1 .. count writes, with the texts the program shows.
void writeDayWorkbook(const QString& folder, quint32 count) {
    RecordStore store;
    fillStore(store, 1, count);
    RecordExporter exporter(folder, [] { return QDate(2025, 3, 7); });
    ASSERT_TRUE(exporter.exportBatch(ChannelLayout::Six, store, count));
}

QByteArray digest(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

} // namespace

TEST(WorkbookImport, RecordsAreTakenOnceAndTheWorkbooksAreOnlyRead) {
    QTemporaryDir dir;
    writeDayWorkbook(dir.path(), 40);
    const QString book = dir.filePath(QStringLiteral("C6-25-03-07.xls"));
    const QString notes = dir.filePath(QStringLiteral("notes.xls"));
    {
        QFile file(notes);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("shopping list");
    }
    const QByteArray before = digest(book);
    ArchiveStore store(QStringLiteral("import"));
    ASSERT_TRUE(store.openFile(dir.filePath(QStringLiteral("archive.sqlite"))).ok);

    const ImportReport first = importWorkbooks(store, {book, notes});
    EXPECT_EQ(first.files, 1);
    EXPECT_EQ(first.added, 40);
    ASSERT_EQ(first.refused.size(), 1);
    EXPECT_TRUE(first.refused[0].startsWith(QStringLiteral("notes.xls: ")));
    const ImportReport second = importWorkbooks(store, {book});
    EXPECT_EQ(second.added, 0);
    EXPECT_EQ(second.alreadyThere, 40);
    EXPECT_EQ(digest(book), before);

    // The imported readings are the numbers the instrument sent, scaled as the workbook shows.
    const QStringList rows =
        pythonSqlite(dir.filePath(QStringLiteral("archive.sqlite")),
                     QStringLiteral("SELECT taken_at, gas, unit, value FROM record_readings "
                                    "WHERE record_number = 40 ORDER BY channel"));
    ASSERT_EQ(rows.size(), 7);
    const ArchiveRecord last = testRecord(40);
    EXPECT_EQ(rows[2], QStringLiteral("'%1'|'H2S'|'PPM'|%2")
                           .arg(isoTakenAt(last.time))
                           .arg(*last.readings[1] / 10.0));
}

TEST(WorkbookImport, RecordsADownloadArchivedAreNotAddedAgain) {
    QTemporaryDir dir;
    writeDayWorkbook(dir.path(), 40);
    ArchiveStore store(QStringLiteral("import-after-download"));
    ASSERT_TRUE(store.openFile(dir.filePath(QStringLiteral("archive.sqlite"))).ok);
    ASSERT_TRUE(store.store(testBatch(QStringLiteral("m"), 1, 40)).ok);
    const ImportReport report =
        importWorkbooks(store, {dir.filePath(QStringLiteral("C6-25-03-07.xls"))});
    EXPECT_EQ(report.added, 0);
    EXPECT_EQ(report.alreadyThere, 40);
}
