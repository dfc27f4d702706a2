// A day workbook whose sheet cannot take a whole batch: the rows that fit go in, the rest go on,
// in order, in "name (2).xls" beside it, where the later batches of the day go too.
#include "workbookreaders.h"

#include "export/recordexporter.h"
#include "export/recordworkbook.h"
#include "model/recordstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString timeText(int n) {
    return QStringLiteral("2026-12-07  #%1").arg(n);
}

void putRecords(RecordStore& store, int first, int count) {
    for (int i = 0; i < count; ++i) {
        const auto row = static_cast<quint32>(i);
        store.setCell(0, row, timeText(first + i));
        for (int c = 1; c < RecordStore::kColumns; ++c) {
            store.setCell(c, row, QStringLiteral("c%1").arg(c));
        }
    }
}

class ContinuationTest : public ::testing::Test {
protected:
    QString folder() const { return m_tmp.path() + QStringLiteral("/TRELLMO_RECORD_DATA"); }
    QString book(const QString& name) const { return folder() + QLatin1Char('/') + name; }

    bool exportRecords(int first, int count) {
        RecordStore store;
        putRecords(store, first, count);
        return m_exporter.exportBatch(ChannelLayout::Four, store, static_cast<quint32>(count));
    }

    // The record numbers of a "Storage" sheet read back by xlrd, below its one header row.
    static QList<int> recordNumbers(const QString& path) {
        const ReadBook read = readWithXlrd(path);
        EXPECT_EQ(read.error, QString()) << path.toStdString();
        const ReadSheet* sheet = read.sheet(QStringLiteral("Storage"));
        EXPECT_NE(sheet, nullptr) << path.toStdString();
        QList<int> numbers;
        if (sheet == nullptr || sheet->rows.isEmpty()) {
            return numbers;
        }
        EXPECT_EQ(sheet->rows.first(), recordCaptions(ChannelLayout::Four));
        for (qsizetype r = 1; r < sheet->rows.size(); ++r) {
            numbers << sheet->rows[r][0].section(QLatin1Char('#'), 1).toInt();
        }
        return numbers;
    }

    static QList<int> range(int first, int count) {
        QList<int> numbers;
        for (int n = first; n < first + count; ++n) {
            numbers << n;
        }
        return numbers;
    }

    QTemporaryDir m_tmp;
    QDate m_day{2026, 12, 7};
    RecordExporter m_exporter{folder(), [this] {
                                  return m_day;
                              }};
};

TEST_F(ContinuationTest, FullSheetGoesOnInTheNextWorkbookAndLaterBatchesFollow) {
    const QString day = book(QStringLiteral("C4-26-12-07.xls"));
    const QString second = book(QStringLiteral("C4-26-12-07 (2).xls"));
    ASSERT_TRUE(exportRecords(0, 65000));
    EXPECT_EQ(m_exporter.takeContinuationNotice(), QString());

    // 65,536 rows per sheet, header included: 535 fit, 665 go on.
    ASSERT_TRUE(exportRecords(65000, 1200));
    EXPECT_EQ(recordNumbers(day), range(0, 65535));
    EXPECT_EQ(recordNumbers(second), range(65535, 665));
    const QString notice = m_exporter.takeContinuationNotice();
    EXPECT_TRUE(
        notice.contains(QStringLiteral("535 records went to\n") + QDir::toNativeSeparators(day)))
        << notice.toStdString();
    EXPECT_TRUE(
        notice.contains(QStringLiteral("665 records went to\n") + QDir::toNativeSeparators(second)))
        << notice.toStdString();
    EXPECT_EQ(m_exporter.takeContinuationNotice(), QString()) << "one message";
    EXPECT_EQ(m_exporter.takeFailureMessage(), QString());

    // A later download of the day appends to the newest continuation, without a message; the
    // full day workbook is not written again.
    const QDateTime dayWritten = QFileInfo(day).lastModified();
    ASSERT_TRUE(exportRecords(66200, 3));
    EXPECT_EQ(recordNumbers(second), range(65535, 668));
    EXPECT_EQ(QFileInfo(day).lastModified(), dayWritten);
    EXPECT_EQ(m_exporter.takeContinuationNotice(), QString());
    EXPECT_FALSE(QFileInfo::exists(book(QStringLiteral("C4-26-12-07 (3).xls"))));
}

TEST_F(ContinuationTest, FailedContinuationKeepsTheRestAndNeverRepeatsTheRowsThatFit) {
    const QString day = book(QStringLiteral("C4-26-12-07.xls"));
    const QString second = book(QStringLiteral("C4-26-12-07 (2).xls"));
    ASSERT_TRUE(exportRecords(0, 65530));
    // A folder in the continuation's place: the 5 rows that fit are written, the rest fail.
    ASSERT_TRUE(QDir().mkdir(second));
    RecordStore store;
    putRecords(store, 65530, 20);
    EXPECT_FALSE(m_exporter.exportBatch(ChannelLayout::Four, store, 20));
    EXPECT_EQ(m_exporter.rowsAlreadyWritten(), 5u);
    EXPECT_EQ(m_exporter.lastFailure().workbookPath, second);
    EXPECT_TRUE(
        m_exporter.unwrittenRecordsMessage(20).contains(QStringLiteral("15 downloaded records")));

    // The caller offers the same rows again with more behind them: only the unwritten go out.
    ASSERT_TRUE(QDir().rmdir(second));
    RecordStore more;
    putRecords(more, 65530, 25);
    EXPECT_TRUE(m_exporter.exportBatch(ChannelLayout::Four, more, 25));
    EXPECT_EQ(m_exporter.rowsAlreadyWritten(), 0u);
    EXPECT_EQ(recordNumbers(day), range(0, 65535));
    EXPECT_EQ(recordNumbers(second), range(65535, 20));
}

TEST_F(ContinuationTest, ChainNamesFollowTheDesktopCopySuffix) {
    const QString day = book(QStringLiteral("C6-26-12-07.xls"));
    EXPECT_EQ(continuationWorkbookPath(day, 2), book(QStringLiteral("C6-26-12-07 (2).xls")));
    int n = 0;
    EXPECT_EQ(newestWorkbookOfChain(day, n), day);
    EXPECT_EQ(n, 1);
    ASSERT_TRUE(QDir().mkpath(folder()));
    for (const char* name : {"C6-26-12-07 (2).xls", "C6-26-12-07 (10).xls", "C6-26-12-07 (x).xls",
                             "C6-26-12-070 (11).xls", "C4-26-12-07 (12).xls"}) {
        QFile file(book(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(newestWorkbookOfChain(day, n), book(QStringLiteral("C6-26-12-07 (10).xls")));
    EXPECT_EQ(n, 10);
}

} // namespace
