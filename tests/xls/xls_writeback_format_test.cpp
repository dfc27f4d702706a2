// What a write-back puts into the file for readers: the string table where readers look for
// it, every kind of cell record seen as a cell, the stream and header fields kept as read, and
// new cells in the format their column or row gives them.
#include "biffcraft.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/keptbook.h"
#include "spreadsheet/xlsworkbookstore.h"
#include "workbookreaders.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

using namespace craft;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs the statements in one connection and writes back; the failure text, empty on success.
QString writeBack(const QString& path, const QStringList& statements) {
    XlsWorkbookStore store;
    store.connect(QStringLiteral("DRIVER={x};DSN='';DBQ=%1").arg(path));
    for (const QString& statement : statements) {
        store.execute(statement);
    }
    QString failure;
    return store.disconnect(failure) ? QString() : failure;
}

QByteArray label(uint16_t row, uint16_t column, const char* text) {
    return record(0x0204, cell(row, column) + unicodeString(QString::fromUtf8(text), false));
}

// Twenty cell formats, so that cells may name formats 15 to 19.
QByteArray formatRecords() {
    QByteArray xfs;
    for (int i = 0; i < 20; ++i) {
        xfs += record(0x00E0, QByteArray(20, '\0'));
    }
    return xfs;
}

// The records of the first sheet as written: type and data.
std::vector<std::pair<uint16_t, QByteArray>> sheetRecords(const QByteArray& file) {
    const xls::KeptBook kept = xls::parseKeeping(file);
    const QByteArray& stream = kept.layout->compound.workbook;
    std::vector<std::pair<uint16_t, QByteArray>> records;
    const xls::SheetLayout& sheet = kept.layout->sheets.at(0);
    for (qsizetype at = sheet.begin; at < sheet.end;) {
        const uint16_t length = xls::bytes::u16(stream.constData() + at + 2);
        records.emplace_back(xls::bytes::u16(stream.constData() + at), stream.mid(at + 4, length));
        at += 4 + length;
    }
    return records;
}

TEST(XlsWriteBackFormat, NewStringsStartInTheSstRecordAndSplitWhereReadersExpect) {
    // An empty table as Excel writes it for a workbook without text, and one exactly full.
    const QString full(8213, QLatin1Char('f'));
    const QByteArray emptySst = record(0x00FC, u32(0) + u32(0)) + record(0x00FF, u16(8));
    const QByteArray fullSst =
        record(0x00FC, u32(1) + u32(1) + u16(8213) + u8(0) + chars(full, false)) +
        record(0x00FF, u16(8) + u32(0) + u16(0) + u16(0));
    const QString latin(5000, QChar(0xE9));
    const QString wide = QString(3000, QChar(0x4E2D)) + QString::fromUtf8("😀") + "z";
    for (const QByteArray& globals : {emptySst, fullSst}) {
        const QByteArray numbers =
            label(0, 0, "A") + label(0, 1, "B") + record(0x0203, cell(1, 0) + f64(1.5));
        const QString path = writeTempFile(
            "strings.xls",
            compoundFile(workbookStream(formatRecords() + globals,
                                        {{QStringLiteral("Data"), 0, 0x10, numbers}})));
        EXPECT_EQ(writeBack(path, {"INSERT INTO [Data$A1:IV2] ([A], [B]) VALUES ('" + latin +
                                       "', '" + wide + "')",
                                   "INSERT INTO [Data$A1:IV3] ([A]) VALUES ('short')"}),
                  QString());
        const ReadBook read = readWithXlrd(path);
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        const auto& rows = read.sheets.at(0).cells;
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[1].at(0).toDouble(), 1.5);
        EXPECT_EQ(rows[2].at(0).toString(), latin);
        EXPECT_EQ(rows[2].at(1).toString(), wide);
        EXPECT_EQ(rows[3].at(0).toString(), "short");
        // Readers take the first string from the SST record itself: it is filled first.
        // The parsed book refers to the file's bytes: both stay alive while the stream is read.
        const QByteArray file = readAll(path);
        const auto kept = xls::parseKeeping(file);
        const QByteArray& stream = kept.layout->compound.workbook;
        const qsizetype sst = stream.indexOf(QByteArray("\xFC\x00", 2));
        EXPECT_EQ(xls::bytes::u16(stream.constData() + sst + 2), 8224);
    }
}

TEST(XlsWriteBackFormat, EveryFormulaRecordIsACellAndOlderCellRecordsAreRefused) {
    // A formula in the record of Excel 4, with 42 as its result: = 42.
    const QByteArray formula =
        record(0x0406, cell(1, 0) + f64(42) + u16(0) + u32(0) + u16(3) + u8(0x1E) + u16(42));
    const QByteArray sheet = label(0, 0, "A") + label(0, 1, "B") + formula + label(1, 1, "x");
    const QString path =
        writeTempFile("formula.xls",
                      compoundFile(workbookStream({}, {{QStringLiteral("Data"), 0, 0x10, sheet}})));
    // The formula's cell read as it was: the formula stays, as the one record of its cell.
    EXPECT_EQ(writeBack(path, {"INSERT INTO [Data$A1:IV1] ([A], [B]) VALUES ('42', 'y')"}),
              QString());
    auto records = sheetRecords(readAll(path));
    int cellsAtA2 = 0;
    for (const auto& [type, data] : records) {
        cellsAtA2 += data.size() >= 4 && type != 0x0208 && xls::bytes::u16(data.constData()) == 1 &&
                     xls::bytes::u16(data.constData() + 2) == 0 && type != 0x0200;
    }
    EXPECT_EQ(cellsAtA2, 1);
    EXPECT_NE(std::find_if(records.begin(), records.end(),
                           [](const auto& r) { return r.first == 0x0406; }),
              records.end());
    // A new text in its place replaces it.
    EXPECT_EQ(writeBack(path, {"INSERT INTO [Data$A1:IV1] ([A], [B]) VALUES ('new', 'y')"}),
              QString());
    records = sheetRecords(readAll(path));
    EXPECT_EQ(std::find_if(records.begin(), records.end(),
                           [](const auto& r) { return r.first == 0x0406; }),
              records.end());
    const ReadBook read = readWithXlrd(path);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(read.sheets.at(0).cells.at(1).at(0).toString(), "new");

    // A BIFF2 number record in a BIFF8 sheet: the sheet is left alone with that reason.
    const QByteArray old = record(0x0003, u16(1) + u16(0) + QByteArray(3, '\0') + f64(7));
    const QString oldPath =
        writeTempFile("old.xls", compoundFile(workbookStream({}, {{QStringLiteral("Data"), 0, 0x10,
                                                                   label(0, 0, "A") + old}})));
    const QByteArray before = readAll(oldPath);
    const QString failure = writeBack(oldPath, {"INSERT INTO [Data$A1:IV1] ([A]) VALUES ('new')"});
    EXPECT_NE(failure.indexOf("Excel 2.1 (record type 0x0003)"), -1) << failure.toStdString();
    EXPECT_EQ(readAll(oldPath), before);
}

TEST(XlsWriteBackFormat, StreamNameAndHeaderFieldsAreKept) {
    const QByteArray stream =
        workbookStream({}, {{QStringLiteral("Data"), 0, 0x10, label(0, 0, "A")}});
    QByteArray file = compoundFile(stream + QByteArray(5000, '\0'), QStringLiteral("Book"));
    xls::bytes::put16(file.data() + 24, 0x003B); // minor version, as many writers store it
    const QString path = writeTempFile("book.xls", file);
    EXPECT_EQ(writeBack(path, {"INSERT INTO [Data$A1:IV1] ([A]) VALUES ('new')"}), QString());
    const QByteArray written = readAll(path);
    EXPECT_EQ(xls::bytes::u16(written.constData() + 24), 0x003B);
    EXPECT_EQ(xls::bytes::u16(written.constData() + 26), 3);
    const QByteArray utf16Book("B\0o\0o\0k\0\0\0", 10);
    EXPECT_TRUE(written.contains(utf16Book));
    EXPECT_FALSE(written.contains(QByteArray("W\0o\0r\0k", 8)));
    const ReadBook read = readWithXlrd(path);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(read.sheets.at(0).cells.at(1).at(0).toString(), "new");
}

TEST(XlsWriteBackFormat, SheetsStoredInAnotherOrderThanListedAreKept) {
    const auto boundSheet = [](const char* name, uint32_t at) {
        return record(0x0085, u32(at) + u8(0) + u8(0) + u8(uint8_t(qstrlen(name))) + u8(0) +
                                  QByteArray(name));
    };
    const QByteArray first = bof(0x0010) + label(0, 0, "A") + eof();
    const QByteArray second = bof(0x0010) + label(0, 0, "b") + eof();
    const qsizetype globalsSize =
        (bof(0x0005) + boundSheet("A", 0) + boundSheet("B", 0) + eof()).size();
    // B's substream is stored before A's.
    const QByteArray globals = bof(0x0005) +
                               boundSheet("A", uint32_t(globalsSize + second.size())) +
                               boundSheet("B", uint32_t(globalsSize)) + eof();
    const QString path = writeTempFile("order.xls", compoundFile(globals + second + first));
    EXPECT_EQ(writeBack(path, {"INSERT INTO [A$A1:IV1] ([A]) VALUES ('new')"}), QString());
    const ReadBook read = readWithXlrd(path);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_EQ(read.sheets.size(), 2);
    EXPECT_EQ(read.sheets[0].name, "A");
    EXPECT_EQ(read.sheets[0].cells.at(1).at(0).toString(), "new");
    EXPECT_EQ(read.sheets[1].name, "B");
    EXPECT_EQ(read.sheets[1].cells.at(0).at(0).toString(), "b");
}

TEST(XlsWriteBackFormat, NewCellsTakeTheirColumnsOrRowsFormat) {
    const QByteArray xfs = formatRecords();
    const QByteArray colInfo = record(0x007D, u16(1) + u16(1) + u16(2000) + u16(16) + u16(0) +
                                                  u16(0)); // column B: format 16
    // Row 2 with a format of its own (fGhostDirty), format 17.
    const QByteArray row2 =
        record(0x0208, u16(1) + u16(0) + u16(0) + u16(0x00FF) + u32(0) + u16(0x0180) + u16(17));
    const QByteArray sheet =
        colInfo + row2 + label(0, 0, "A") + label(0, 1, "B") + label(0, 2, "C");
    const QString path = writeTempFile(
        "formats.xls",
        compoundFile(workbookStream(xfs, {{QStringLiteral("Data"), 0, 0x10, sheet}})));
    EXPECT_EQ(writeBack(path, {"INSERT INTO [Data$A1:IV1] ([A], [B], [C]) VALUES ('a', 'b', 'c')",
                               "INSERT INTO [Data$A1:IV2] ([A], [B]) VALUES ('d', 'e')"}),
              QString());
    std::map<std::pair<int, int>, int> formats;
    for (const auto& [type, data] : sheetRecords(readAll(path))) {
        if (type == 0x00FD) {
            const char* d = data.constData();
            formats[{xls::bytes::u16(d), xls::bytes::u16(d + 2)}] = xls::bytes::u16(d + 4);
        }
    }
    EXPECT_EQ(formats[std::make_pair(1, 0)], 17); // the row's
    EXPECT_EQ(formats[std::make_pair(1, 1)], 16); // the column's, before the row's
    EXPECT_EQ(formats[std::make_pair(1, 2)], 17);
    EXPECT_EQ(formats[std::make_pair(2, 0)], 15); // neither: the default
    EXPECT_EQ(formats[std::make_pair(2, 1)], 16);
}

} // namespace
