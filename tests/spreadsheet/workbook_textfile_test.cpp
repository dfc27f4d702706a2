// Delimited text files: the exact bytes written, the line forms read, the backup copy.
#include "qtprinters.h"
#include "spreadsheet/workbook.h"
#include "workbookreaders.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// 16-bit little-endian characters, no byte-order mark, as a file must hold them.
QByteArray utf16le(const QString& text) {
    QByteArray bytes;
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

TEST(WorkbookTextFile, WrittenBytesAndBackupCopy) {
    QTemporaryDir dir;
    const QString path = dir.filePath("data.csv");
    {
        CWorkbook book(path, ",", true);
        EXPECT_EQ(book.lastError(), "Error in opening file\n");
        EXPECT_EQ(book.RowCount(), 0);
        book.HoldWrites();
        ASSERT_TRUE(book.SetHeaderRow({"Time", "Gas"}, false));
        ASSERT_TRUE(book.PutRow({"t1", "Ω CO  "}, 0, false));
        ASSERT_TRUE(book.PutCellAt("x", 3, 0)); // the other cells blank: empty in text mode
        ASSERT_TRUE(book.PutRow({"only"}, 0, false));
        EXPECT_FALSE(QFile::exists(path));
        ASSERT_TRUE(book.WriteBack());
    }
    const QByteArray written = fileBytes(path);
    EXPECT_EQ(written,
              utf16le("\"Time\",\"Gas\"\r\n\"t1\",\"Ω CO  \"\r\n\"\",\"\",\"x\"\r\n\"only\"\r\n"));
    EXPECT_EQ(written.mid(40, 2), QByteArray("\xa9\x03", 2));
    EXPECT_FALSE(QFile::exists(path + ".bak")); // nothing to back up at the first opening
    {
        CWorkbook book(path, ",", true);
        EXPECT_EQ(book.RowCount(), 4);
        EXPECT_EQ(book.ColumnCount(), 3);
        QStringList names;
        book.CopyFieldNames(names);
        EXPECT_EQ(names, QStringList({"Time", "Gas"}));
        EXPECT_EQ(fileBytes(path + ".bak"), written);
        ASSERT_TRUE(book.PutRow({"t2", "H2S"}, 0, false)); // not held: written at once
    }
    EXPECT_EQ(fileBytes(path), written + utf16le("\"t2\",\"H2S\"\r\n"));
    EXPECT_EQ(fileBytes(path + ".bak"), written);
    EXPECT_EQ(folderEntries(dir.path()), QStringList({"data.csv", "data.csv.bak"}));
}

TEST(WorkbookTextFile, ReaderFormsCursorAndColumns) {
    QTemporaryDir dir;
    const QString path = dir.filePath("forms.txt");
    writeFileBytes(path, QByteArray("\xff\xfe") + utf16le("\"Time\"||\"Gas\"||\"Conc\"\r\n"
                                                          "p||q||\"r\"\r\n"
                                                          "\"single\"\r\n"
                                                          "\r\n"
                                                          "\"a\"b\r\n"
                                                          "\"1\"||\"2\"||\"3\"||\"4\"\r\n"
                                                          "x\"||\"y\ninside"));
    CWorkbook book(path, "||", false);
    EXPECT_EQ(book.RowCount(), 7);
    EXPECT_EQ(book.ColumnCount(), 4); // the widest line counts, wherever it is
    const std::vector<QStringList> expected{
        {"Time", "Gas", "Conc"}, {"p", "q", "\"r\""}, {"single"}, {""}, {"\"a\"b"},
        {"1", "2", "3", "4"},    {"", "y\ninsid"}};
    QStringList cells;
    for (qint32 row = 1; row <= 7; ++row) {
        ASSERT_TRUE(book.GetRowValues(cells, 0)) << row;
        EXPECT_EQ(cells, expected[size_t(row - 1)]) << row;
    }
    EXPECT_FALSE(book.GetRowValues(cells, 0)); // past the last row: quietly
    EXPECT_EQ(book.lastError(), "");
    EXPECT_FALSE(book.GetRowValues(cells, 8));
    EXPECT_EQ(book.lastError(),
              "Desired row is greater than total number of rows in spreadsheet\n");
    EXPECT_EQ(cells, expected[6]); // left as it was

    ASSERT_TRUE(book.GetRowValues(cells, 2));
    QString cell = "kept";
    EXPECT_FALSE(book.GetCellAt(cell, 4, 2)); // a row of three cells
    EXPECT_EQ(cell, "");
    cell = "kept";
    EXPECT_FALSE(book.GetCellAt(cell, 1, 9));
    EXPECT_EQ(cell, "kept");
    EXPECT_EQ(book.lastError(), "Error reading row\n");
    ASSERT_TRUE(book.GetCellByRef(cell, "b", 6, true));
    EXPECT_EQ(cell, "2");
    ASSERT_TRUE(book.GetCellByRef(cell, "Conc", 6, false));
    EXPECT_EQ(cell, "3");
    EXPECT_FALSE(book.GetCellByRef(cell, "conc", 6, true)); // upper-cased: CONC is no field
    EXPECT_EQ(book.lastError(), "Invalid field name or column alphabet\n");
    EXPECT_FALSE(book.GetCellByRef(cell, "1", 6, true));
    EXPECT_FALSE(book.GetCellAt(cell, 0, 6));
    EXPECT_EQ(book.lastError(), "Column cannot be zero\n");
    ASSERT_TRUE(book.GetColumnByRef(cells, "B", true));
    EXPECT_EQ(cells, QStringList({"Gas", "q", "", "", "", "2", "y\ninsid"}));
    // Column and cell reads leave the cursor after row 2, where the row read left it.
    ASSERT_TRUE(book.GetRowValues(cells, 0));
    EXPECT_EQ(cells, expected[2]);

    ASSERT_TRUE(book.PutCellByRef("v", "AZ", 2, true));
    EXPECT_EQ(book.ColumnCount(), 52);
    ASSERT_TRUE(book.PutCellByRef("v", "iv", 2, true));
    EXPECT_EQ(book.ColumnCount(), 256);

    const QString empty = dir.filePath("empty.txt");
    writeFileBytes(empty, {});
    CWorkbook none(empty, ",", true);
    EXPECT_EQ(none.RowCount(), 0);
    EXPECT_EQ(none.ColumnCount(), 0);
    EXPECT_EQ(none.lastError(),
              "Desired row is greater than total number of rows in spreadsheet\n");
    EXPECT_FALSE(QFile::exists(empty + ".bak"));
}

TEST(WorkbookTextFile, RowPlacementClearAndReload) {
    QTemporaryDir dir;
    const QString path = dir.filePath("rows.csv");
    CWorkbook book(path, ",", false);
    ASSERT_TRUE(book.SetHeaderRow({"A", "B"}, false));
    ASSERT_TRUE(book.PutRow({"1", "2"}, 0, false));
    ASSERT_TRUE(book.PutRow({"5", "5"}, 5, false));
    EXPECT_EQ(book.RowCount(), 5);
    ASSERT_TRUE(book.PutRow({"i"}, 2, false));
    EXPECT_EQ(book.RowCount(), 6);
    ASSERT_TRUE(book.PutRow({"r", "r"}, 1, true));
    EXPECT_EQ(fileBytes(path), utf16le("\"r\",\"r\"\r\n\"i\"\r\n\"1\",\"2\"\r\n\"\",\"\"\r\n"
                                       "\"\",\"\"\r\n\"5\",\"5\"\r\n"));
    QStringList cells;
    ASSERT_TRUE(book.GetRowValues(cells, 0)); // the cursor was left at row 5 by the placement
    EXPECT_EQ(cells, QStringList({"", ""}));

    const QByteArray before = fileBytes(path);
    book.HoldWrites();
    ASSERT_TRUE(book.ClearSheet());
    EXPECT_EQ(book.RowCount(), 0);
    EXPECT_EQ(fileBytes(path), before); // unchanged while held
    ASSERT_TRUE(book.DiscardChanges());
    EXPECT_EQ(book.RowCount(), 6);
    ASSERT_TRUE(book.ClearSheet()); // no longer held: an empty file
    EXPECT_EQ(fileBytes(path), QByteArray());

    QFile::remove(path);
    EXPECT_FALSE(book.DiscardChanges());
    EXPECT_EQ(book.lastError(), "Error in returning to previous state\n");

    // A file that cannot be written: its folder is missing, or is a file.
    writeFileBytes(dir.filePath("plain"), "x");
    for (const QString& bad : {dir.filePath("missing/rows.csv"), dir.filePath("plain/rows.csv")}) {
        CWorkbook unwritable(bad, ",", false);
        unwritable.HoldWrites();
        unwritable.PutRow({"a"}, 0, false);
        EXPECT_FALSE(unwritable.WriteBack());
        EXPECT_EQ(unwritable.lastError(), "Error writing file\n");
    }
}

// A text file has no escape: a value that its line would not give back is refused with the
// reason, and the file stays as it was; quotes alone are kept.
TEST(WorkbookTextFile, ValuesHoldingTheSeparatorAreRefused) {
    QTemporaryDir dir;
    const QString path = dir.filePath("gases.csv");
    {
        CWorkbook book(path, ";", false);
        ASSERT_TRUE(book.SetHeaderRow({"Number", "Gas \"Type\""}, false));
        ASSERT_TRUE(book.PutRow({"81", "a\"b\""}, 0, false));
        ASSERT_TRUE(book.PutRow({"\""}, 0, false));
    }
    const QByteArray written = fileBytes(path);
    CWorkbook book(path, ";", false);
    QStringList cells;
    ASSERT_TRUE(book.GetRowValues(cells, 2));
    EXPECT_EQ(cells, QStringList({"81", "a\"b\""}));
    ASSERT_TRUE(book.GetRowValues(cells, 3));
    EXPECT_EQ(cells, QStringList{"\""});

    const QString reason = "Value cannot be written to a text delimited file: \"a\";\"b\" holds "
                           "its separator \";\" or a line end\n";
    EXPECT_FALSE(book.PutRow({"82", "a\";\"b"}, 0, false));
    EXPECT_EQ(book.lastError(), reason);
    EXPECT_FALSE(book.PutRow({"a\";\"b"}, 2, true));
    EXPECT_FALSE(book.PutCellAt("a\";\"b", 2, 2));
    EXPECT_EQ(book.lastError(), reason);
    EXPECT_FALSE(book.PutCellAt("x;y", 1, 0));
    EXPECT_FALSE(book.SetHeaderRow({"Unit;s"}, false));
    EXPECT_FALSE(book.PutRow({"line\r\nend"}, 0, false));
    EXPECT_TRUE(book.lastError().contains("line\r\nend"));
    EXPECT_EQ(book.RowCount(), 3);
    ASSERT_TRUE(book.GetRowValues(cells, 2));
    EXPECT_EQ(cells, QStringList({"81", "a\"b\""}));
    EXPECT_EQ(fileBytes(path), written);
}

} // namespace
