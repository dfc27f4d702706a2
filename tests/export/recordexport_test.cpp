#include "xlsreadback.h"

#include "export/recordexporter.h"
#include "export/recordworkbook.h"
#include "model/recordstore.h"
#include "protocol/framecodec.h"
#include "protocol/instrumentlink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString timeText(int n) {
    return QString::asprintf("2025-03-07  %02d:%02d:%02d", n / 3600, (n / 60) % 60, n % 60);
}

// Record n of a download: a unique time, then per store column a text naming column and n.
void putRecord(RecordStore& store, quint32 row, int n) {
    store.setCell(0, row, timeText(n));
    for (int c = 1; c < RecordStore::kColumns; ++c) {
        store.setCell(c, row, QStringLiteral("c%1 r%2 ").arg(c).arg(n));
    }
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class RecordExportTest : public ::testing::Test {
protected:
    QString folder() const { return m_tmp.path() + QStringLiteral("/TRELLMO_RECORD_DATA"); }
    QString dayBook(ChannelLayout layout) const {
        return folder() + QLatin1Char('/') + recordWorkbookName(layout, m_day);
    }
    // Exports records first .. first + count - 1 as one batch.
    bool exportRecords(ChannelLayout layout, int first, int count) {
        RecordStore store;
        for (int i = 0; i < count; ++i) {
            putRecord(store, static_cast<quint32>(i), first + i);
        }
        return m_exporter.exportBatch(layout, store, static_cast<quint32>(count));
    }
    static ReadSheet storage(const QString& path) {
        const ReadBook book = readWithXlrd(path);
        EXPECT_EQ(book.error, QString()) << path.toStdString();
        const ReadSheet* sheet = book.sheet(QStringLiteral("Storage"));
        EXPECT_NE(sheet, nullptr);
        return sheet ? *sheet : ReadSheet{};
    }
    static void expectRecordsInOrder(const ReadSheet& sheet, int count) {
        ASSERT_EQ(sheet.rows.size(), count + 1);
        for (int n = 0; n < count; ++n) {
            ASSERT_EQ(sheet.rows[n + 1][0], timeText(n)) << "row " << n + 2;
        }
    }

    QTemporaryDir m_tmp;
    QDate m_day{2025, 3, 7};
    RecordExporter m_exporter{folder(), [this] {
                                  return m_day;
                              }};
};

TEST_F(RecordExportTest, BatchesAppendToOneWorkbookPerDayUnderOneHeader) {
    EXPECT_EQ(recordWorkbookName(ChannelLayout::Six, m_day), QStringLiteral("C6-25-03-07.xls"));
    EXPECT_EQ(recordWorkbookName(ChannelLayout::Four, QDate(2009, 12, 31)),
              QStringLiteral("C4-09-12-31.xls"));
    ASSERT_FALSE(QFileInfo::exists(folder()));

    // A download of 2500 records arrives as 1000, 1000 and 500.
    EXPECT_TRUE(exportRecords(ChannelLayout::Six, 0, 1000));
    EXPECT_TRUE(QFileInfo(folder()).isDir());
    EXPECT_TRUE(exportRecords(ChannelLayout::Six, 1000, 1000));
    EXPECT_TRUE(exportRecords(ChannelLayout::Six, 2000, 500));
    ReadSheet sheet = storage(dayBook(ChannelLayout::Six));
    ASSERT_FALSE(sheet.rows.isEmpty());
    EXPECT_EQ(sheet.rows[0], recordCaptions(ChannelLayout::Six));
    EXPECT_EQ(sheet.rows[0].size(), 19);
    EXPECT_EQ(sheet.rows[0].last(), QStringLiteral("CH6 Unit"));
    expectRecordsInOrder(sheet, 2500);
    // Channel k's gas, concentration and unit come from store columns k, k + 6, k + 12.
    EXPECT_EQ(sheet.rows[2500].mid(16),
              (QStringList{QStringLiteral("c6 r2499 "), QStringLiteral("c12 r2499 "),
                           QStringLiteral("c18 r2499 ")}));

    // A second download the same day goes below the first, the header staying single.
    EXPECT_TRUE(exportRecords(ChannelLayout::Six, 2500, 3));
    sheet = storage(dayBook(ChannelLayout::Six));
    expectRecordsInOrder(sheet, 2503);
    EXPECT_EQ(std::count_if(sheet.rows.begin(), sheet.rows.end(),
                            [](const QStringList& r) { return r[0] == QStringLiteral("Time"); }),
              1);
    EXPECT_FALSE(m_exporter.isFailing());
    EXPECT_EQ(m_exporter.takeFailureMessage(), QString());
}

TEST_F(RecordExportTest, FourChannelsWriteThirteenColumnsAndEachDateItsOwnWorkbook) {
    EXPECT_TRUE(exportRecords(ChannelLayout::Four, 0, 2));
    m_day = m_day.addDays(1); // midnight between two batches
    EXPECT_TRUE(exportRecords(ChannelLayout::Four, 2, 3));

    const ReadSheet first = storage(folder() + QStringLiteral("/C4-25-03-07.xls"));
    const ReadSheet second = storage(folder() + QStringLiteral("/C4-25-03-08.xls"));
    ASSERT_EQ(first.rows.size(), 3);
    ASSERT_EQ(second.rows.size(), 4);
    EXPECT_EQ(first.rows[0], recordCaptions(ChannelLayout::Four));
    EXPECT_EQ(second.rows[0], recordCaptions(ChannelLayout::Four));
    EXPECT_EQ(first.rows[0].size(), 13);
    EXPECT_EQ(first.rows[0].last(), QStringLiteral("CH4 Unit"));
    // The store still holds channel 5 and 6 texts: none of them reaches the workbook.
    const QStringList expected{timeText(1),
                               QStringLiteral("c1 r1 "),
                               QStringLiteral("c7 r1 "),
                               QStringLiteral("c13 r1 "),
                               QStringLiteral("c2 r1 "),
                               QStringLiteral("c8 r1 "),
                               QStringLiteral("c14 r1 "),
                               QStringLiteral("c3 r1 "),
                               QStringLiteral("c9 r1 "),
                               QStringLiteral("c15 r1 "),
                               QStringLiteral("c4 r1 "),
                               QStringLiteral("c10 r1 "),
                               QStringLiteral("c16 r1 ")};
    EXPECT_EQ(first.rows[2], expected);
    EXPECT_EQ(second.rows[3][0], timeText(4));
    EXPECT_FALSE(QFileInfo::exists(folder() + QStringLiteral("/C6-25-03-07.xls")));
}

TEST_F(RecordExportTest, UnreadableOrForeignDayWorkbookIsLeftAsItWas) {
    // Garbage under the day's name: the batch fails, the file is not touched.
    ASSERT_TRUE(QDir().mkdir(folder()));
    const QByteArray garbage = QByteArray("not a workbook\r\n").repeated(100);
    writeFile(dayBook(ChannelLayout::Six), garbage);
    EXPECT_FALSE(exportRecords(ChannelLayout::Six, 0, 5));
    EXPECT_FALSE(exportRecords(ChannelLayout::Six, 0, 7));
    EXPECT_EQ(fileBytes(dayBook(ChannelLayout::Six)), garbage);
    EXPECT_EQ(m_exporter.lastFailure().workbookPath, dayBook(ChannelLayout::Six));
    EXPECT_FALSE(m_exporter.lastFailure().reason.isEmpty());

    const QString message = m_exporter.takeFailureMessage();
    EXPECT_TRUE(message.contains(QDir::toNativeSeparators(dayBook(ChannelLayout::Six))))
        << message.toStdString();
    EXPECT_TRUE(message.contains(m_exporter.lastFailure().reason));
    EXPECT_EQ(m_exporter.takeFailureMessage(), QString()) << "one message per run of failures";
    const QString atExit = m_exporter.unwrittenRecordsMessage(7);
    EXPECT_TRUE(atExit.contains(QStringLiteral("7 downloaded records"))) << atExit.toStdString();
    EXPECT_TRUE(atExit.contains(QDir::toNativeSeparators(dayBook(ChannelLayout::Six))));

    // A day workbook whose sheet has other captions takes no rows: 19 captions where 13 are
    // written would put every row under the wrong columns.
    ASSERT_TRUE(QFile::remove(dayBook(ChannelLayout::Six)));
    EXPECT_TRUE(exportRecords(ChannelLayout::Six, 0, 2));
    ASSERT_TRUE(QFile::copy(dayBook(ChannelLayout::Six), dayBook(ChannelLayout::Four)));
    EXPECT_FALSE(exportRecords(ChannelLayout::Four, 2, 3));
    const ReadSheet foreign = storage(dayBook(ChannelLayout::Four));
    ASSERT_EQ(foreign.rows.size(), 3);
    EXPECT_EQ(foreign.rows[0], recordCaptions(ChannelLayout::Six));
    EXPECT_FALSE(m_exporter.takeFailureMessage().isEmpty())
        << "the success in between ended the run";
}

// The exporter behind the real receive path, fed record answers as the instrument sends them.
class DownloadExportTest : public RecordExportTest, public FrameSink, public LinkEvents {
protected:
    DownloadExportTest() {
        m_link.setExporter(&m_exporter);
        m_link.setChannelCount(4);
    }
    bool isOpen() const override { return true; }
    void sendFrame(const QByteArray&) override {}
    void frameSent(const QByteArray&) override {}
    void bytesReceived(const QByteArray&) override {}
    void recordRequested(quint32, quint32) override {}
    void channelCountReported(quint8) override {}
    void recordTotalReported(quint32) override {}
    void channelsChanged() override {}

    // Downloads records [first, last) out of total, taking a failure message after each event
    // as the window does; returns how many messages there were.
    int download(quint32 total, int first, int last) {
        m_link.state().recordTotal = total;
        int messages = 0;
        for (int n = first; n < last; ++n) {
            m_link.downloadTick();
            QByteArray answer("\x01\x41\x10", 3);
            for (int b : {25, 3, 7, n / 3600, (n / 60) % 60, n % 60}) {
                answer.append(static_cast<char>(b));
            }
            for (int ch = 0; ch < 4; ++ch) {
                answer.append(static_cast<char>(ch)).append(static_cast<char>(n % 256));
            }
            appendCrc(answer);
            m_link.receive(answer);
            if (!m_exporter.takeFailureMessage().isEmpty()) {
                ++messages;
            }
        }
        return messages;
    }

    UserGasNames m_userGases;
    InstrumentLink m_link{*this, *this, m_userGases};
};

TEST_F(DownloadExportTest, ThousandRecordsEndingTheDownloadAreWrittenOnce) {
    EXPECT_EQ(download(1000, 0, 1000), 0);
    EXPECT_TRUE(m_link.flushUnwritten());
    const ReadSheet sheet = storage(dayBook(ChannelLayout::Four));
    expectRecordsInOrder(sheet, 1000);
    EXPECT_EQ(sheet.rows[1000][2], QStringLiteral("  231")); // CH1 Conc of record 999, raw 231
}

TEST_F(DownloadExportTest, UnusableFolderLosesNoRecordAndIsReportedOnce) {
    // A file where the record folder should be; as root, permission bits would not stop us.
    writeFile(folder(), "in the way");
    EXPECT_EQ(download(2500, 0, 2200), 1); // failed at 1000 and again at 2000 rows
    EXPECT_GE(m_link.state().storeRow, 2000u);
    ASSERT_TRUE(QFile::remove(folder()));
    EXPECT_EQ(download(2500, 2200, 2500), 0);
    EXPECT_EQ(m_link.state().storeRow, 0u);
    EXPECT_FALSE(m_exporter.isFailing());
    expectRecordsInOrder(storage(dayBook(ChannelLayout::Four)), 2500);

    // The exit's last try fails as well: its text says how many and where to.
    ASSERT_TRUE(QDir(folder()).removeRecursively());
    writeFile(folder(), "in the way");
    download(2600, 2500, 2503);
    EXPECT_FALSE(m_link.flushUnwritten());
    const QString text = m_exporter.unwrittenRecordsMessage(m_link.state().storeRow);
    EXPECT_TRUE(text.contains(QStringLiteral("3 downloaded records"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(folder()))) << text.toStdString();
}

} // namespace
