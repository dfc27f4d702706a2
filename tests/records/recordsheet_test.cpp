// Day workbooks read for the chart: written by the program's own export, found by captions,
// never changed by reading; other files refused with one sentence; the rows written as CSV.
#include "recordbooks.h"
#include "workbookreaders.h"

#include "export/recordexporter.h"
#include "model/recordstore.h"
#include "records/dayworkbooks.h"
#include "records/recordcsv.h"
#include "records/recordshape.h"
#include "records/recordsheet.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

class RecordSheetTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
};

TEST_F(RecordSheetTest, AWorkbookOfTheProgramsExportIsReadWithoutBeingChanged) {
    // Two batches through the export, as a download writes them.
    RecordExporter exporter(m_dir.path(), [] { return QDate(2025, 3, 7); });
    RecordStore store;
    for (quint32 row = 0; row < 30; ++row) {
        store.setCell(0, row,
                      QString::asprintf("2025-03-07  10:%02u:%02u", row / 20, row * 3 % 60));
        for (int ch = 1; ch <= 6; ++ch) {
            store.setCell(ch, row, QStringLiteral("H2S     "));
            store.setCell(6 + ch, row, QString::asprintf("%5.1f", row * 0.5 + ch));
            store.setCell(12 + ch, row, QStringLiteral("PPM"));
        }
    }
    ASSERT_TRUE(exporter.exportBatch(ChannelLayout::Six, store, 20));
    ASSERT_TRUE(exporter.exportBatch(ChannelLayout::Six, store, 10));
    const QString book = m_dir.filePath(QStringLiteral("C6-25-03-07.xls"));
    const FileState before = stateOf(book);
    const QStringList entriesBefore = folderEntries(m_dir.path());
    QThread::msleep(20); // a write would show in the change time

    const RecordSheetRead read = readRecordSheet(book);
    ASSERT_TRUE(read.sheet) << read.problem.toStdString();
    EXPECT_EQ(read.sheet->channelCount, 6);
    EXPECT_EQ(read.sheet->recordCount(), 30);
    EXPECT_EQ(read.sheet->timeText(29), QStringLiteral("2025-03-07  10:00:27"));
    EXPECT_EQ(read.sheet->readingText(21, 6), QStringLiteral("6.5"));
    const RecordShape shape = shapeRecords(*read.sheet);
    ASSERT_EQ(shape.series.size(), 6u);
    EXPECT_EQ(shape.series[1].name, QStringLiteral("CH2 H2S PPM"));
    EXPECT_EQ(shape.series[1].points.size(), 30u);
    // The second batch starts the clock again at 10:00:00: its own line.
    EXPECT_EQ(shape.series[1].segmentCount(), 2u);

    QString problem;
    EXPECT_EQ(countRecords(book, problem), 30);
    EXPECT_TRUE(stateOf(book) == before);
    EXPECT_EQ(folderEntries(m_dir.path()), entriesBefore); // no backup, no temporary file
}

TEST_F(RecordSheetTest, ColumnsAreFoundByTheirCaptionsWhereverTheyStand) {
    // Edited by hand: a note column first, channel 2 before channel 1, no channels 3 and 4.
    const QList<QStringList> rows{
        {QStringLiteral("Note"), QStringLiteral("CH2 Gas"), QStringLiteral("CH2 Conc"),
         QStringLiteral("CH2 Unit"), QStringLiteral("Time"), QStringLiteral("CH1 Unit"),
         QStringLiteral("CH1 Conc"), QStringLiteral("CH1 Gas")},
        {QStringLiteral("calibrated"), QStringLiteral("CO"), QStringLiteral("7"),
         QStringLiteral("PPM"), QStringLiteral("2025-03-07  10:00:00"), QStringLiteral("%VOL"),
         QStringLiteral("20.9"), QStringLiteral("O2")},
        {}, // an empty row is no record
        {QString(), QStringLiteral("CO"), QStringLiteral("8"), QStringLiteral("PPM"),
         QStringLiteral("2025-03-07  10:00:03"), QStringLiteral("%VOL"), QStringLiteral("20.8"),
         QStringLiteral("O2")}};
    ASSERT_EQ(writeWorkbook(path("edited.xls"), rows), QString());
    const RecordSheetRead read = readRecordSheet(path("edited.xls"));
    ASSERT_TRUE(read.sheet) << read.problem.toStdString();
    EXPECT_EQ(read.sheet->channelCount, 2);
    EXPECT_EQ(read.sheet->recordCount(), 2);
    const RecordShape shape = shapeRecords(*read.sheet);
    ASSERT_EQ(shape.series.size(), 2u);
    EXPECT_EQ(shape.series[0].name, QStringLiteral("CH1 O2 %VOL"));
    EXPECT_DOUBLE_EQ(shape.series[0].points[1].value, 20.8);
    EXPECT_EQ(shape.series[1].name, QStringLiteral("CH2 CO PPM"));
}

TEST_F(RecordSheetTest, FilesThatAreNoRecordWorkbooksAreRefusedWithOneSentenceAndLeftAlone) {
    ASSERT_EQ(writeWorkbook(path("gases.xls"),
                            {{QStringLiteral("Number"), QStringLiteral("Gas Type")}},
                            QStringLiteral("GasType")),
              QString());
    ASSERT_EQ(writeWorkbook(path("other.xls"), {{QStringLiteral("Date"), QStringLiteral("Value")},
                                                {QStringLiteral("x"), QStringLiteral("1")}}),
              QString());
    {
        QFile text(path("notes.xls"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("Time,CH1 Gas,CH1 Conc,CH1 Unit\r\n");
    }
    const QStringList entriesBefore = folderEntries(m_dir.path());
    struct Case {
        const char* file;
        const char* words;
    };
    for (const Case& c : {Case{"gases.xls", "no sheet \"Storage\""},
                          Case{"other.xls", "lacks the captions \"Time\""},
                          Case{"notes.xls", "cannot be read as an Excel 97-2003 workbook"},
                          Case{"missing.xls", "does not exist"}}) {
        const FileState before = stateOf(path(c.file));
        const RecordSheetRead read = readRecordSheet(path(c.file));
        EXPECT_FALSE(read.sheet) << c.file;
        EXPECT_TRUE(read.problem.contains(QString::fromLatin1(c.words)))
            << read.problem.toStdString();
        EXPECT_FALSE(read.problem.contains(u'\n')) << read.problem.toStdString();
        EXPECT_TRUE(stateOf(path(c.file)) == before) << c.file;
        QString problem;
        EXPECT_FALSE(countRecords(path(c.file), problem)) << c.file;
    }
    EXPECT_EQ(folderEntries(m_dir.path()), entriesBefore); // the missing one is not created
}

TEST_F(RecordSheetTest, CsvHoldsOneHeaderRowIsoTimesAndTheReadingsReadBackByPython) {
    QList<QStringList> rows{recordCaptions(4)};
    rows << recordRow(
                QStringLiteral("2025-03-07  23:59:59"),
                {{QStringLiteral("CO      "), QStringLiteral("  123"), QStringLiteral("PPM")},
                 {QStringLiteral("Gas, \"mixed\""), QStringLiteral(" 12.30"),
                  QStringLiteral("%LEL")},
                 {QStringLiteral("O2      "), QStringLiteral("----"), QStringLiteral("%VOL")},
                 {QStringLiteral("Méthane"), QStringLiteral("0.123"), QStringLiteral("mg/m3")}})
         << recordRow(QStringLiteral("2025-03-08  00:00:02"),
                      {{QStringLiteral("CO      "), QStringLiteral("  124"), QStringLiteral("PPM")},
                       {},
                       {},
                       {}});
    ASSERT_EQ(writeWorkbook(path("C4-25-03-07.xls"), rows), QString());
    const RecordSheetRead read = readRecordSheet(path("C4-25-03-07.xls"));
    ASSERT_TRUE(read.sheet);
    QString failure;
    ASSERT_TRUE(writeRecordCsv(*read.sheet, path("out.csv"), failure)) << failure.toStdString();

    // Python's csv module, as another program would read the file.
    QFile script(path("read.py"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("import csv, json, sys\n"
                 "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                 "    print(json.dumps(list(csv.reader(f))))\n");
    script.close();
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {script.fileName(), path("out.csv")});
    ASSERT_TRUE(python.waitForFinished(20000));
    const QJsonArray table = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    ASSERT_EQ(table.size(), 3);
    QStringList header;
    for (const QJsonValue& v : table[0].toArray()) {
        header << v.toString();
    }
    EXPECT_EQ(header, recordCaptions(4));
    const QJsonArray first = table[1].toArray();
    EXPECT_EQ(first[0].toString(), QStringLiteral("2025-03-07T23:59:59"));
    EXPECT_EQ(first[1].toString(), QStringLiteral("CO"));
    EXPECT_EQ(first[2].toString(), QStringLiteral("123"));
    EXPECT_EQ(first[4].toString(), QStringLiteral("Gas, \"mixed\""));
    EXPECT_EQ(first[5].toString(), QStringLiteral("12.30"));
    EXPECT_EQ(first[8].toString(), QStringLiteral("----"));
    EXPECT_EQ(first[10].toString(), QStringLiteral("Méthane"));
    EXPECT_EQ(first[12].toString(), QStringLiteral("mg/m3"));
    const QJsonArray second = table[2].toArray();
    EXPECT_EQ(second[0].toString(), QStringLiteral("2025-03-08T00:00:02"));
    EXPECT_EQ(second[4].toString(), QString());
    EXPECT_EQ(second.size(), 13);
    EXPECT_FALSE(bytesOf(path("out.csv")).startsWith("\xEF\xBB\xBF"));
}

TEST(DayWorkbooks, TheRecordFolderIsListedNewestFirstByTheDateInTheName) {
    QTemporaryDir dir;
    for (const char* name :
         {"C4-25-03-07.xls", "C6-25-03-09.xls", "C4-25-03-09 (2).xls", "C4-25-03-09.xls",
          "C4-25-13-01.xls", "parameter1.xls", "C4-25-03-08.csv", "c6-24-12-31.XLS"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QStringList names;
    for (const DayWorkbook& workbook : listDayWorkbooks(dir.path())) {
        names << workbook.fileName;
    }
    EXPECT_EQ(names.mid(0, 1), QStringList{QStringLiteral("C4-25-03-09 (2).xls")});
    EXPECT_EQ(names.size(), 5);
    EXPECT_EQ(names.mid(3),
              QStringList({QStringLiteral("C4-25-03-07.xls"), QStringLiteral("c6-24-12-31.XLS")}));
    const auto parsed = dayWorkbookFromName(QStringLiteral("C6-25-03-09.xls"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->date, QDate(2025, 3, 9));
    EXPECT_EQ(parsed->channels, 6);
}
