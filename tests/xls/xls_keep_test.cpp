// Sheets the store does not model (chart and macro sheets, hidden sheets) and compound files
// unlike its own (version 4, a Workbook stream in the mini stream) come back as they were.
#include "biffcraft.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/cfbrewriter.h"
#include "spreadsheet/xls/keptbook.h"
#include "spreadsheet/xlsworkbookstore.h"
#include "workbookreaders.h"

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
    const ReadBook read = readWithXlrd(path);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_EQ(read.sheets.size(), 2); // the worksheets; the hidden one among them
    EXPECT_EQ(read.sheets[0].name, "Data");
    ASSERT_EQ(read.sheets[0].cells.size(), 3u);
    EXPECT_EQ(read.sheets[0].cells[2].at(0).toString(), "new text");
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

// Two formatted empty cells of `row`, columns C and D, in one MULBLANK, as Excel stores them.
QByteArray mulBlank(uint16_t row) {
    return record(0x00BE, u16(row) + u16(2) + u16(15) + u16(15) + u16(3));
}

// A sheet of `rows` rows of two text cells (and two formatted empty cells beside them in the first
// row of each block) laid out as Excel lays it out: an INDEX, then for each block of 32 rows its
// ROW records, its cells and a DBCELL. The blocks are stored in `order`; `interrupted` puts a
// record that holds no cell between two rows of that block.
QByteArray excelLaidSheet(int rows, const std::vector<int>& order, int interrupted = -1) {
    const int blocks = (rows + 31) / 32;
    QByteArray out = record(0x020B, QByteArray(16 + 4 * blocks, '\0')) + // INDEX, filled by Excel
                     record(0x0055, u16(8));                             // DEFCOLWIDTH
    for (const int b : order) {
        QByteArray rowRecords;
        QByteArray cells;
        std::vector<int> firstCells;
        for (int r = b * 32; r < std::min(rows, b * 32 + 32); ++r) {
            rowRecords += record(0x0208, u16(uint16_t(r)) + u16(0) + u16(r == b * 32 ? 4 : 2) +
                                             u16(0xFF) + u32(0) + u16(0x100) + u16(15));
            firstCells.push_back(int(cells.size()));
            for (uint16_t c = 0; c < 2; ++c) {
                cells += record(0x0204,
                                cell(uint16_t(r), c) +
                                    unicodeString(QStringLiteral("r%1c%2").arg(r).arg(c), false));
            }
            if (r == b * 32) {
                // A block taken apart would hold these as two BLANK records instead.
                cells += mulBlank(uint16_t(r));
            }
            if (b == interrupted && r == b * 32 + 3) {
                cells += record(0x0099, u16(9)); // STANDARDWIDTH, in the middle of the block
            }
        }
        // DBCELL: back to the first ROW record, then where each row's cells start, the first
        // counted from the second ROW record, the others from the row before.
        QByteArray dbCell = u32(uint32_t(rowRecords.size() + cells.size()));
        int from = 20;
        for (const int at : firstCells) {
            const int cellsAt = int(rowRecords.size()) + at;
            dbCell += u16(uint16_t(cellsAt - from));
            from = cellsAt;
        }
        out += rowRecords + cells + record(0x00D7, dbCell);
    }
    return out + record(0x023E, QByteArray(18, '\0')); // WINDOW2
}

// Fills the INDEX of each sheet of `stream` as Excel does: the DEFCOLWIDTH and every DBCELL by
// stream position.
void fillIndexes(QByteArray& stream) {
    const xls::KeptBook kept = xls::parseKeeping(compoundFile(stream));
    for (const xls::SheetLayout& sheet : kept.layout->sheets) {
        qsizetype index = -1;
        std::vector<qsizetype> positions;
        for (qsizetype at = sheet.begin; at < sheet.end;) {
            const uint16_t type = xls::bytes::u16(stream.constData() + at);
            if (type == 0x020B) {
                index = at;
            } else if (type == 0x0055 || type == 0x00D7) {
                positions.push_back(at);
            }
            at += 4 + xls::bytes::u16(stream.constData() + at + 2);
        }
        for (size_t k = 0; index >= 0 && k < positions.size(); ++k) {
            xls::bytes::put32(stream.data() + index + 4 + 12 + 4 * qsizetype(k),
                              uint32_t(positions[k]));
        }
    }
}

std::vector<QByteArray> writeBack(const xls::KeptBook& kept, const xls::Book& changed,
                                  const std::vector<std::vector<QString>>& original) {
    std::vector<xls::SheetChange> changes(changed.sheets.size());
    changes[0].changed = true;
    changes[0].originalRows = &original;
    return xls::rewriteCompoundFile(kept.layout->compound,
                                    xls::writeKeptStream(*kept.layout, changed, changes));
}

// Checks the INDEX and DBCELL records of a sheet as written: every DBCELL is listed, points back
// at the first ROW record of its block, and each row's offset lands on a cell of that row.
QString cellTableProblem(const QByteArray& stream, const xls::SheetLayout& sheet) {
    std::vector<uint32_t> listed;
    std::vector<qsizetype> dbCells;
    for (qsizetype at = sheet.begin; at < sheet.end;) {
        const uint16_t type = xls::bytes::u16(stream.constData() + at);
        const uint16_t length = xls::bytes::u16(stream.constData() + at + 2);
        if (type == 0x020B) {
            for (qsizetype f = 16; f + 4 <= length; f += 4) {
                listed.push_back(xls::bytes::u32(stream.constData() + at + 4 + f));
            }
        } else if (type == 0x00D7) {
            dbCells.push_back(at);
        }
        at += 4 + length;
    }
    if (std::vector<qsizetype>(listed.begin(), listed.end()) != dbCells) {
        return QStringLiteral("the INDEX lists %1 DBCELLs, the sheet holds %2")
            .arg(listed.size())
            .arg(dbCells.size());
    }
    int lastRow = -1;
    for (const qsizetype at : dbCells) {
        const char* d = stream.constData() + at + 4;
        const qsizetype length = xls::bytes::u16(stream.constData() + at + 2);
        const qsizetype firstRowAt = at - xls::bytes::u32(d);
        if (xls::bytes::u16(stream.constData() + firstRowAt) != 0x0208) {
            return QStringLiteral("a DBCELL at %1 does not point at a ROW record").arg(at);
        }
        qsizetype cellAt = firstRowAt + 20;
        for (qsizetype k = 0; 4 + 2 * k + 2 <= length; ++k) {
            cellAt += xls::bytes::u16(d + 4 + 2 * k);
            const int rowOfRecord = xls::bytes::u16(stream.constData() + firstRowAt + 20 * k + 4);
            const int rowOfCell = xls::bytes::u16(stream.constData() + cellAt + 4);
            if (rowOfCell != rowOfRecord || rowOfRecord <= lastRow) {
                return QStringLiteral("row %1 of the DBCELL at %2 points at a cell of row %3")
                    .arg(rowOfRecord)
                    .arg(at)
                    .arg(rowOfCell);
            }
            lastRow = rowOfRecord;
        }
    }
    return {};
}

TEST(XlsKeep, RowBlocksAreWrittenInOrderAndUnchangedOnesAsRead) {
    struct Layout {
        const char* what;
        std::vector<int> order;
        int interrupted;
        bool unchangedBlocksKept; // blocks out of order are all taken apart and sorted
    };
    const std::vector<Layout> layouts = {
        {"blocks in order", {0, 1, 2, 3}, -1, true},
        {"blocks stored backwards", {3, 2, 1, 0}, -1, false},
        {"a block interrupted by another record", {0, 1, 2, 3}, 1, true},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.what);
        const QByteArray data = excelLaidSheet(100, layout.order, layout.interrupted);
        QByteArray stream =
            workbookStream({}, {{QStringLiteral("Data"), 0, 0x10, data},
                                {QStringLiteral("Other"), 0, 0x10, excelLaidSheet(40, {0, 1})}});
        fillIndexes(stream);
        const xls::KeptBook kept = xls::parseKeeping(compoundFile(stream));
        ASSERT_EQ(cellTableProblem(stream, kept.layout->sheets[1]).toStdString(), "");
        xls::Book changed = kept.book;
        ASSERT_EQ(changed.sheets[0].rows.size(), 100u);
        changed.sheets[0].rows[40][1] = QStringLiteral("changed");
        changed.sheets[0].rows.push_back({QStringLiteral("new")});

        QByteArray written;
        for (const QByteArray& piece : writeBack(kept, changed, kept.book.sheets[0].rows)) {
            written += piece;
        }
        const xls::KeptBook again = xls::parseKeeping(written);
        ASSERT_EQ(again.book.sheets.size(), 2u);
        EXPECT_EQ(again.book.sheets[0].rows, changed.sheets[0].rows);
        EXPECT_EQ(again.book.sheets[1].rows, kept.book.sheets[1].rows);
        // The unchanged sheet moved: its INDEX follows it.
        for (const xls::SheetLayout& sheet : again.layout->sheets) {
            EXPECT_EQ(cellTableProblem(again.layout->compound.workbook, sheet).toStdString(), "");
        }
        const xls::SheetLayout& dataSheet = again.layout->sheets[0];
        const QByteArray sheetWritten =
            again.layout->compound.workbook.mid(dataSheet.begin, dataSheet.end - dataSheet.begin);
        // The record that held no cell is still there, once.
        EXPECT_EQ(sheetWritten.count(record(0x0099, u16(9))), layout.interrupted >= 0 ? 1 : 0);
        // Block 0 did not change: it is the bytes it was (after an INDEX and a DEFCOLWIDTH,
        // before a WINDOW2), its MULBLANK included.
        const QByteArray block0 = excelLaidSheet(32, {0}).mid(24 + 6);
        EXPECT_EQ(sheetWritten.contains(block0.left(block0.size() - 22)),
                  layout.unchangedBlocksKept);
        EXPECT_EQ(sheetWritten.contains(mulBlank(0)), layout.unchangedBlocksKept);
        // Block 1 changed: it is taken apart, and its MULBLANK is one BLANK record per cell.
        EXPECT_FALSE(sheetWritten.contains(mulBlank(32)));
        EXPECT_TRUE(sheetWritten.contains(record(0x0201, cell(32, 2))));
        EXPECT_TRUE(sheetWritten.contains(record(0x0201, cell(32, 3))));

        const ReadBook read = readWithXlrd(writeTempFile("blocks.xls", written));
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        ASSERT_EQ(read.sheets[0].cells.size(), 101u);
        EXPECT_EQ(read.sheets[0].cells[40].at(1).toString(), "changed");
        EXPECT_EQ(read.sheets[0].cells[99].at(0).toString(), "r99c0");
        EXPECT_EQ(read.sheets[0].cells[100].at(0).toString(), "new");
    }
}

} // namespace
