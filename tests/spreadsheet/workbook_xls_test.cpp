// Workbooks written through the real .xls store, read back by other programs' readers.
#include "qtprinters.h"
#include "spreadsheet/workbook.h"
#include "spreadsheet/workbookstore.h"
#include "workbookreaders.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QStringList captions() {
    QStringList names{QStringLiteral("Time")};
    for (int channel = 1; channel <= 6; ++channel) {
        for (const char* part : {"Gas", "Conc", "Unit"}) {
            names.append(QStringLiteral("CH%1 %2").arg(channel).arg(QLatin1String(part)));
        }
    }
    return names;
}

// A record row of 19 cells with the texts the export writes: trailing blanks in gas names,
// leading blanks in readings, units outside ASCII, an apostrophe.
QStringList record(int n) {
    QStringList cells{QStringLiteral("2025-03-07  14:%1:09").arg(n % 60, 2, 10, QLatin1Char('0'))};
    const QStringList gases{"CO      ", "H2S     ", "O2      ", "Methyl's", "CH4     ", "Ω-gas   "};
    const QStringList units{"PPM", "PPM", "%VOL", "µg/m³", "%LEL", "mg/m³"};
    for (int channel = 0; channel < 6; ++channel) {
        cells.append(gases[channel]);
        cells.append(QStringLiteral("%1").arg(n + channel * 0.5, 6, 'f', 1));
        cells.append(units[channel]);
    }
    return cells;
}

std::vector<QStringList> expectedRows(int first, int count) {
    std::vector<QStringList> rows{captions()};
    for (int n = first; n < first + count; ++n) {
        rows.push_back(record(n));
    }
    return rows;
}

void expectSheet(const QString& path, const QString& sheet, const std::vector<QStringList>& rows) {
    for (const ReadBook& read : {readWithXlrd(path), readWithFreexl(path)}) {
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        const ReadSheet* found = read.sheet(sheet);
        ASSERT_NE(found, nullptr) << sheet.toStdString();
        const QList<QStringList> seen = found->trimmedRows();
        ASSERT_EQ(size_t(seen.size()), rows.size()) << sheet.toStdString();
        for (size_t r = 0; r < rows.size(); ++r) {
            EXPECT_EQ(seen[qsizetype(r)], rows[r]) << "row " << r + 1;
        }
    }
}

QStringList sheetNames(const QString& path) {
    QStringList names;
    for (const ReadSheet& sheet : readWithXlrd(path).sheets) {
        names.append(sheet.name);
    }
    return names;
}

void appendRecords(CWorkbook& book, int first, int count) {
    book.HoldWrites();
    book.SetHeaderRow(captions(), false);
    for (int n = first; n < first + count; ++n) {
        ASSERT_TRUE(book.PutRow(record(n), 0, false));
    }
    ASSERT_TRUE(book.WriteBack()) << book.lastError().toStdString();
}

TEST(WorkbookXls, RecordsAppendAcrossOpeningsWithOneBackup) {
    QTemporaryDir dir;
    const QString path = dir.filePath("C6-25-03-07.xls");
    {
        CWorkbook book(path, "Storage", true);
        EXPECT_EQ(book.RowCount(), 0);
        appendRecords(book, 0, 3);
    }
    expectSheet(path, "Storage", expectedRows(0, 3));
    EXPECT_EQ(sheetNames(path), QStringList{"Storage"});
    {
        CWorkbook book(path, "Storage", true);
        EXPECT_EQ(book.RowCount(), 4);
        QStringList cells;
        ASSERT_TRUE(book.GetRowValues(cells, 4));
        EXPECT_EQ(cells, record(2));
        appendRecords(book, 3, 2);
        EXPECT_EQ(book.lastError(), "Duplicate header row field:Time\n");
    }
    expectSheet(path, "Storage", expectedRows(0, 5));
    expectSheet(path, "CWorkbookBackup", expectedRows(0, 3));
    {
        // The backup sheet exists: it is neither made again nor changed, and nothing is said.
        CWorkbook book(path, "Storage", true);
        appendRecords(book, 5, 1);
        EXPECT_FALSE(book.lastError().contains("CWorkbookBackup"))
            << book.lastError().toStdString();
    }
    expectSheet(path, "Storage", expectedRows(0, 6));
    expectSheet(path, "CWorkbookBackup", expectedRows(0, 3));
    EXPECT_EQ(sheetNames(path), QStringList({"Storage", "CWorkbookBackup"}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(WorkbookXls, SheetOperationsReachTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ops.xls");
    {
        CWorkbook other(path, "Other", false);
        appendRecords(other, 0, 2);
        CWorkbook book(path, "Storage", false);
        appendRecords(book, 10, 3);
    }
    CWorkbook book(path, "Storage", false);
    ASSERT_TRUE(book.DropSheet("Other"));
    EXPECT_EQ(book.RowCount(), 0);
    expectSheet(path, "Other", {});
    expectSheet(path, "Storage", expectedRows(10, 3));

    // Held changes are dropped by a reload, which also ends the hold.
    ASSERT_TRUE(book.DiscardChanges());
    EXPECT_EQ(book.RowCount(), 4);
    book.HoldWrites();
    ASSERT_TRUE(book.PutRow(record(99), 0, false));
    ASSERT_TRUE(book.DiscardChanges());
    EXPECT_EQ(book.RowCount(), 4);
    ASSERT_TRUE(book.PutRow(record(13), 0, false)); // written at once
    expectSheet(path, "Storage", expectedRows(10, 4));

    QStringList oldValues = record(13).mid(0, 2);
    ASSERT_TRUE(book.UpdateMatchingRows({"changed", "it's"}, oldValues));
    QStringList cells;
    ASSERT_TRUE(book.GetRowValues(cells, 5));
    EXPECT_EQ(cells.mid(0, 3), QStringList({"changed", "it's", record(13)[2]}));
    EXPECT_EQ(readWithXlrd(path).sheet("Storage")->rows.value(4).mid(0, 2),
              QStringList({"changed", "it's"}));

    // A cleared sheet stays in the workbook, empty, and takes a new header.
    ASSERT_TRUE(book.ClearSheet());
    expectSheet(path, "Storage", {});
    EXPECT_EQ(sheetNames(path), QStringList({"Other", "Storage"}));
    ASSERT_TRUE(book.SetHeaderRow({"A"}, true));
    ASSERT_TRUE(book.PutRow({"1"}, 0, false));
    expectSheet(path, "Storage", {{"A"}, {"1"}});
    ASSERT_TRUE(book.DropSheet("Storage"));
    // A new object finds the emptied sheet without columns and creates it again.
    CWorkbook fresh(path, "Storage", true);
    EXPECT_EQ(fresh.ColumnCount(), 0);
    appendRecords(fresh, 20, 1);
    expectSheet(path, "Storage", expectedRows(20, 1));
    EXPECT_FALSE(book.DropSheet("Missing"));
    EXPECT_TRUE(book.lastError().contains("Missing")) << book.lastError().toStdString();
}

TEST(WorkbookXls, ConversionBothWays) {
    QTemporaryDir dir;
    const QString xlsPath = dir.filePath("data.xls");
    {
        CWorkbook book(xlsPath, "Storage", false);
        appendRecords(book, 0, 2);
        ASSERT_TRUE(book.PutCellAt("", 2, 0)); // blanks reach the workbook as one space
        ASSERT_TRUE(book.SaveInOtherFormat(";"));
    }
    CWorkbook text(dir.filePath("data.csv"), ";", false);
    EXPECT_EQ(text.RowCount(), 4);
    QStringList cells;
    ASSERT_TRUE(text.GetRowValues(cells, 3));
    EXPECT_EQ(cells, record(1));
    ASSERT_TRUE(text.GetRowValues(cells, 4));
    EXPECT_EQ(cells.mid(0, 3), QStringList({" ", "", " "}));
    const QByteArray csvBefore = fileBytes(dir.filePath("data.csv"));
    {
        CWorkbook again(xlsPath, "Storage", false);
        EXPECT_FALSE(again.SaveInOtherFormat(";")); // the text file has content
    }
    EXPECT_EQ(fileBytes(dir.filePath("data.csv")), csvBefore);

    // Text to workbook, into a new workbook beside the text file.
    const QString csvPath = dir.filePath("gases.txt");
    {
        CWorkbook source(csvPath, "\t", false);
        ASSERT_TRUE(source.PutRow({"Number", "Gas Type"}, 1, true));
        ASSERT_TRUE(source.PutRow({"81", "Methyl's "}, 0, false));
        ASSERT_TRUE(source.PutRow({"82", "Ωmega"}, 0, false));
        ASSERT_TRUE(source.SaveInOtherFormat("GasType"));
    }
    expectSheet(dir.filePath("gases.xls"), "GasType",
                {{"Number", "Gas Type"}, {"81", "Methyl's "}, {"82", "Ωmega"}});

    // Equal names: numbered columns, the text header as the first data row.
    const QString dupPath = dir.filePath("dup.csv");
    {
        CWorkbook source(dupPath, ",", false);
        source.HoldWrites();
        source.PutRow({"A", "B", "A", "B"}, 1, true);
        source.PutRow({"1", "2", "3", "4"}, 0, false);
        ASSERT_TRUE(source.WriteBack());
        ASSERT_TRUE(source.SaveInOtherFormat("S"));
        EXPECT_EQ(source.lastError(), "Duplicate header row field:B\n");
    }
    expectSheet(dir.filePath("dup.xls"), "S",
                {{"1", "2", "3", "4"}, {"A", "B", "A", "B"}, {"1", "2", "3", "4"}});
}

TEST(WorkbookXls, WorkbooksOfOtherProgramsLoadAndKeepTheirOtherSheets) {
    QTemporaryDir dir;
    const QString path = dir.filePath("foreign.xls");
    QByteArray output;
    ASSERT_TRUE(runPython(R"(
import sys, xlwt
book = xlwt.Workbook(encoding='utf-8')
readme = book.add_sheet('Readme')
readme.write(0, 0, 'Made elsewhere')
readme.write(1, 0, 12.5)
readme.write(1, 1, 3)
data = book.add_sheet('Storage')
for c, name in enumerate(['Time', 'Gas', 'Conc']):
    data.write(0, c, name)
data.write(1, 0, '2025-03-07  14:07:09')
data.write(1, 1, 'Ωmega   ')
data.write(1, 2, 0.25)
data.write(3, 1, 'after a gap')
notes = book.add_sheet('Notes ü')
notes.write(2, 3, 'far cell')
book.save(sys.argv[1])
)",
                          {path}, output))
        << output.toStdString();

    CWorkbook book(path, "Storage", false);
    ASSERT_EQ(book.RowCount(), 4);
    QStringList cells;
    ASSERT_TRUE(book.GetRowValues(cells, 2));
    EXPECT_EQ(cells, QStringList({"2025-03-07  14:07:09", "Ωmega   ", "0.25"}));
    ASSERT_TRUE(book.GetRowValues(cells, 3));
    EXPECT_EQ(cells, QStringList({"", "", ""}));
    ASSERT_TRUE(book.GetRowValues(cells, 4));
    EXPECT_EQ(cells, QStringList({"", "after a gap", ""}));
    ASSERT_TRUE(book.PutRow({"t", "CO ", "1"}, 0, false));

    // The other sheets keep their cells as they were: numbers stay numbers (xlrd shows them
    // as floats).
    const ReadBook xlrdRead = readWithXlrd(path);
    ASSERT_TRUE(xlrdRead.ok) << xlrdRead.error.toStdString();
    EXPECT_EQ(xlrdRead.sheets.at(0).name, "Readme");
    EXPECT_EQ(xlrdRead.sheets.at(0).trimmedRows(),
              (QList<QStringList>{{"Made elsewhere"}, {"12.5", "3.0"}}));
    for (const ReadBook& read : {xlrdRead, readWithFreexl(path)}) {
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        ASSERT_EQ(read.sheets.size(), 3);
        EXPECT_EQ(read.sheets[0].trimmedRows().at(0), QStringList{"Made elsewhere"});
        EXPECT_EQ(read.sheets[0].rows.at(1).at(0), "12.5");
        EXPECT_EQ(read.sheets[2].name, "Notes ü");
        EXPECT_EQ(read.sheets[2].trimmedRows(),
                  (QList<QStringList>{{}, {}, {"", "", "", "far cell"}}));
        EXPECT_EQ(read.sheets[1].rows.back(), QStringList({"t", "CO ", "1"}));
        EXPECT_EQ(read.sheets[1].rows.size(), 5);
    }
}

// Any text is one cell: the separator the class holds rows with, quotes, and what might look
// like an escape, in every place a cell can be (first, last, alone, header), through memory,
// the file, a reload and the backup copy.
TEST(WorkbookXls, CellsHoldingTheSeparatorAndQuotesComeBackWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("parameter1.xls");
    const QStringList header{",;.?", "Gas \"Type\""};
    const std::vector<QStringList> rows{{"81", "a\",;.?\"b"}, {"\",;.?\"", ",;.?"},
                                        {"\"", "\"\""},       {"\x1bq\x1b", "x\",;.?"},
                                        {"\",;.?x", ""},      {"\"\",;.?\"\"", " \", "}};
    {
        CWorkbook book(path, "GasType", false);
        book.HoldWrites();
        ASSERT_TRUE(book.SetHeaderRow(header, false));
        for (const QStringList& row : rows) {
            ASSERT_TRUE(book.PutRow(row, 0, false));
        }
        ASSERT_TRUE(book.PutCellAt(",;.?", 1, 0)); // a new row of blanks and the value
        QStringList cells;
        ASSERT_TRUE(book.GetRowValues(cells, 2));
        EXPECT_EQ(cells, rows[0]);
        ASSERT_TRUE(book.GetRowValues(cells, 8));
        EXPECT_EQ(cells, QStringList({",;.?", " "}));
        ASSERT_TRUE(book.GetColumnAt(cells, 2));
        EXPECT_EQ(cells.mid(0, 3), QStringList({header[1], rows[0][1], rows[1][1]}));
        ASSERT_TRUE(book.WriteBack());
    }
    std::vector<QStringList> expected{header};
    expected.insert(expected.end(), rows.begin(), rows.end());
    expected.push_back({",;.?", " "});
    // The readers drop empty cells at the end of a row.
    std::vector<QStringList> seen = expected;
    seen[5] = QStringList{rows[4][0]};
    expectSheet(path, "GasType", seen);

    // Read back, changed in one cell and written again with the backup copy: every other
    // text stays whole in both sheets.
    {
        CWorkbook book(path, "GasType", true);
        ASSERT_EQ(book.RowCount(), 8);
        for (qint32 r = 1; r <= 8; ++r) {
            QStringList cells;
            ASSERT_TRUE(book.GetRowValues(cells, r));
            EXPECT_EQ(cells, expected[size_t(r - 1)]) << "row " << r;
        }
        QString cell;
        ASSERT_TRUE(book.GetCellByRef(cell, "B", 2, true));
        EXPECT_EQ(cell, "a\",;.?\"b");
        ASSERT_TRUE(book.PutCellAt("Ozone", 2, 3));
    }
    expectSheet(path, "CWorkbookBackup", seen);
    seen[2][1] = "Ozone";
    expectSheet(path, "GasType", seen);
}

} // namespace
