// Sheets the store does not model (chart and macro sheets, hidden sheets) and compound files
// unlike its own (version 4, a Workbook stream in the mini stream) come back as they were.
#include "biffcraft.h"
#include "independentreaders.h"
#include "spreadsheet/xls/keptbook.h"
#include "spreadsheet/xlsworkbookstore.h"

#include <QFile>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using namespace craft;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Each sheet's substream as stored, by name (charts and macro sheets included).
std::vector<QByteArray> substreams(const QByteArray& file) {
    const xls::KeptBook kept = xls::parseKeeping(file);
    std::vector<QByteArray> parts;
    for (const xls::SheetLayout& sheet : kept.layout->sheets) {
        parts.push_back(kept.layout->compound.workbook.mid(sheet.begin, sheet.end - sheet.begin));
    }
    return parts;
}

TEST(XlsKeep, SheetsOfEveryKindSurviveARebuildOfOneSheet) {
    const auto label = [](uint16_t row, const char* t) {
        return record(0x0204, cell(row, 0) + unicodeString(QString::fromUtf8(t), false));
    };
    const QByteArray chartRecords = record(0x1002, QByteArray(16, '\x01')) + // CHART
                                    record(0x1033, {}) + record(0x1034, {}); // BEGIN, END
    const std::vector<SheetPart> parts = {
        {QStringLiteral("Data"), 0, 0x10, label(0, "Name") + label(1, "kept") + label(2, "old")},
        {QStringLiteral("Chart1"), 2, 0x20, chartRecords},
        {QString::fromUtf8("Verborgen ü"), 0, 0x10, label(1, "h"), true},
        {QStringLiteral("Macro1"), 1, 0x40, label(0, "m")},
    };
    const QByteArray stream = workbookStream({}, parts);
    ASSERT_LT(stream.size(), 4096); // in the mini stream of a version 4 file
    const QString path = writeTempFile("kinds.xls", compoundFile(stream, "Workbook", 12));
    const std::vector<QByteArray> before = substreams(readAll(path));

    XlsWorkbookStore store;
    const QString connect = QStringLiteral("DRIVER={x};DSN='';CREATE_DB=\"%1\";DBQ=%1").arg(path);
    store.connect(connect);
    store.execute("DROP TABLE [Data$A1:IV65536]");
    store.execute("CREATE TABLE [Data$A1:IV65536] ([Name] char(255))");
    store.execute("INSERT INTO [Data$A1:IV1] ([Name]) VALUES ('kept')");
    store.execute("INSERT INTO [Data$A1:IV2] ([Name]) VALUES ('new text')");
    QString failure;
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString();

    const std::vector<QByteArray> after = substreams(readAll(path));
    ASSERT_EQ(after.size(), 4u);
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(after[i], before[i]) << i; // chart, hidden and macro sheet, byte for byte
    }
    // The unchanged cells of the rebuilt sheet are the LABEL records they were.
    EXPECT_TRUE(after[0].contains(label(0, "Name")));
    EXPECT_TRUE(after[0].contains(label(1, "kept")));
    EXPECT_FALSE(after[0].contains(label(2, "old")));

    // libfreexl lists no sheets of a workbook this bare (no code page, no formats), before
    // as after; xlrd reads it.
    const ForeignRead read = readWithXlrd(path);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_EQ(read.sheets.size(), 2u); // the worksheets; the hidden one among them
    EXPECT_EQ(read.sheets[0].name, "Data");
    ASSERT_EQ(read.sheets[0].rows.size(), 3u);
    EXPECT_EQ(read.sheets[0].rows[2].at(0).toString(), "new text");
    // The store reads it again as it wrote it.
    store.connect(connect);
    std::unique_ptr<WorkbookResult> result =
        store.openForwardOnly("SELECT * FROM [Data$A1:IV65536]");
    ASSERT_EQ(result->columnName(0), "Name");
    EXPECT_EQ(result->value(0), "kept");
    result->moveNext();
    EXPECT_EQ(result->value(0), "new text");
    result.reset();
    ASSERT_TRUE(store.disconnect(failure));
}

TEST(XlsKeep, DamagedSheetListIsReadButNotWrittenBack) {
    const std::vector<SheetPart> parts = {
        {QStringLiteral("A"), 0, 0x10, record(0x0204, cell(0, 0) + unicodeString("a", false))},
        {QStringLiteral("B"), 0, 0x10, record(0x0204, cell(0, 0) + unicodeString("b", false))},
    };
    // Offsets that miss the BOF records: the reader finds the sheets in order, but writing
    // them back would rest on that guess.
    const QString path = writeTempFile("shifted.xls", compoundFile(workbookStream({}, parts, 7)));
    const QByteArray before = readAll(path);
    XlsWorkbookStore store;
    store.connect(QStringLiteral("DRIVER={x};DSN='';CREATE_DB=\"%1\";DBQ=%1").arg(path));
    store.execute("DROP TABLE [A$A1:IV65536]");
    store.execute("CREATE TABLE [A$A1:IV65536] ([x] char(255))");
    QString failure;
    EXPECT_FALSE(store.disconnect(failure));
    EXPECT_NE(failure.indexOf(path), -1) << failure.toStdString();
    EXPECT_NE(failure.indexOf("does not match"), -1) << failure.toStdString();
    EXPECT_EQ(readAll(path), before);
}

} // namespace
