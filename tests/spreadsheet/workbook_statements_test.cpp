// The statements CWorkbook sends to its store, recorded exactly.
#include "qtprinters.h"
#include "recordingstore.h"
#include "spreadsheet/connectionstring.h"
#include "spreadsheet/workbook.h"

#include <gtest/gtest.h>

namespace {

const QString kPath = QStringLiteral("/data/records/C4-25-03-07.xls");
const QString kSelect = QStringLiteral("SELECT * FROM [S$A1:IV65536]");

struct Recorded {
    std::shared_ptr<RecordedSession> session = std::make_shared<RecordedSession>();
    std::unique_ptr<CWorkbook> book;

    void open(const QString& path = kPath, const QString& sheet = QStringLiteral("S"),
              bool backup = true) {
        book = std::make_unique<CWorkbook>(path, sheet, backup,
                                           std::make_unique<RecordingStore>(session));
    }
    QStringList take() {
        QStringList statements = session->statements;
        session->statements.clear();
        return statements;
    }
};

QStringList xyz() {
    return {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")};
}

TEST(WorkbookStatements, NewSheetIsCreatedThenRebuiltOnEveryWriteBack) {
    Recorded r;
    r.open();
    EXPECT_EQ(r.session->connects,
              QStringList{"DRIVER={Excel Workbook Driver (*.xls)};DSN='';FIRSTROWHASNAMES=1;"
                          "READONLY=FALSE;CREATE_DB=\"/data/records/C4-25-03-07.xls\";"
                          "DBQ=/data/records/C4-25-03-07.xls"});
    EXPECT_EQ(r.take(), QStringList{kSelect}); // no sheet: no backup copy
    EXPECT_EQ(r.book->RowCount(), 0);
    EXPECT_EQ(r.book->ColumnCount(), 0);

    r.book->HoldWrites();
    ASSERT_TRUE(r.book->SetHeaderRow(xyz(), false));
    ASSERT_TRUE(r.book->PutRow({"a", "b", "c"}, 0, false));
    ASSERT_TRUE(r.book->PutRow({"d", "e", "f"}, 0, false));
    EXPECT_TRUE(r.take().isEmpty());
    ASSERT_TRUE(r.book->WriteBack());
    const QStringList inserts{"INSERT INTO [S$A1:IV1] ([X], [Y], [Z]) VALUES ('a', 'b', 'c')",
                              "INSERT INTO [S$A1:IV2] ([X], [Y], [Z]) VALUES ('d', 'e', 'f')"};
    EXPECT_EQ(r.take(),
              QStringList{"CREATE TABLE [S] ([X] char(255), [Y] char(255), [Z] char(255))"} +
                  inserts);
    EXPECT_EQ(r.book->RowCount(), 3);

    // Nothing changed since: nothing is sent.
    ASSERT_TRUE(r.book->WriteBack());
    EXPECT_TRUE(r.take().isEmpty());
    ASSERT_TRUE(r.book->PutRow({"d", "e", "f"}, 3, true));
    EXPECT_TRUE(r.take().isEmpty()); // writes are free again: PutRow wrote back nothing new
    ASSERT_TRUE(r.book->PutRow({"g", "h", "i"}, 0, false));
    EXPECT_EQ(r.take(), QStringList({"DROP TABLE [S$A1:IV65536]",
                                     "CREATE TABLE [S$A1:IV65536] ([X] char(255), [Y] char(255), "
                                     "[Z] char(255))"}) +
                            inserts +
                            QStringList{"INSERT INTO [S$A1:IV3] ([X], [Y], [Z]) VALUES ('g', "
                                        "'h', 'i')"});
    EXPECT_EQ(r.session->disconnects, r.session->connects.size());
    EXPECT_FALSE(r.session->connected);

    // Without held writes every change is written back at once.
    ASSERT_TRUE(r.book->PutRow({"j"}, 0, false));
    const QStringList statements = r.take();
    ASSERT_EQ(statements.size(), 6);
    EXPECT_EQ(statements.back(), "INSERT INTO [S$A1:IV4] ([X]) VALUES ('j')");
}

TEST(WorkbookStatements, DriverSearchAndConnectionString) {
    for (const bool available : {true, false}) {
        Recorded none;
        none.session->drivers = {"PostgreSQL Unicode", "excel lower case"};
        none.session->driversAvailable = available;
        none.open("book.XLS");
        EXPECT_EQ(none.session->connects.value(0),
                  "DRIVER={};DSN='';FIRSTROWHASNAMES=1;"
                  "READONLY=FALSE;CREATE_DB=\"book.XLS\";DBQ=book.XLS");
    }
    // The store finds the path again whatever it holds, although DBQ is not quoted.
    for (const QString& path : {QStringLiteral("/tmp/a;b\"c;DBQ=d.xls"), QStringLiteral("x.xls")}) {
        Recorded odd;
        odd.open(path);
        WorkbookConnection connection;
        ASSERT_TRUE(parseWorkbookConnection(odd.session->connects.value(0), connection));
        EXPECT_EQ(connection.workbookPath, path);
        EXPECT_TRUE(connection.createIfMissing);
    }
    WorkbookConnection plain;
    ASSERT_TRUE(parseWorkbookConnection("DRIVER={x};DBQ=/a/b.xls", plain));
    EXPECT_EQ(plain.workbookPath, "/a/b.xls");
    EXPECT_FALSE(plain.createIfMissing);
}

TEST(WorkbookStatements, LoadedSheetIsBackedUpByTheFirstChangeAndReadFromMemory) {
    Recorded r;
    r.session->sheet = std::vector<QStringList>{{"Time", "Gas"}, {"t1", "CO  "}, {"t2", " "}};
    r.open();
    // Opening writes nothing: the backup copy waits for a change.
    EXPECT_EQ(r.take(), QStringList{kSelect});
    EXPECT_EQ(r.book->RowCount(), 3);
    EXPECT_EQ(r.book->ColumnCount(), 2);
    QStringList cells;
    ASSERT_TRUE(r.book->GetRowValues(cells, 0)); // the cursor is back at the header
    EXPECT_EQ(cells, QStringList({"Time", "Gas"}));
    ASSERT_TRUE(r.book->GetRowValues(cells, 3));
    EXPECT_EQ(cells, QStringList({"t2", " "}));

    // A write-back of the sheet as loaded sends nothing and makes no copy.
    r.book->HoldWrites();
    EXPECT_FALSE(r.book->SetHeaderRow({"Time", "Gas"}, false));
    ASSERT_TRUE(r.book->PutRow({"t1", "CO  "}, 2, true));
    ASSERT_TRUE(r.book->WriteBack());
    EXPECT_TRUE(r.take().isEmpty());

    // The first change brings the copy of the sheet as loaded, in the same connection.
    ASSERT_TRUE(r.book->PutRow({"t1", "O2  "}, 2, true));
    ASSERT_TRUE(r.book->WriteBack());
    const QStringList changed = r.take();
    ASSERT_EQ(changed.size(), 8);
    EXPECT_EQ(changed.mid(0, 4),
              QStringList({"SELECT * FROM [CWorkbookBackup$A1:IV65536]",
                           "CREATE TABLE [CWorkbookBackup] ([Time] char(255), [Gas] char(255))",
                           "INSERT INTO [CWorkbookBackup$A1:IV1] ([Time], [Gas]) VALUES ('t1', "
                           "'CO  ')",
                           "INSERT INTO [CWorkbookBackup$A1:IV2] ([Time], [Gas]) VALUES ('t2', "
                           "' ')"}));
    EXPECT_EQ(changed[4], "DROP TABLE [S$A1:IV65536]");
    EXPECT_EQ(changed[6], "INSERT INTO [S$A1:IV1] ([Time], [Gas]) VALUES ('t1', 'O2  ')");
    EXPECT_EQ(r.session->disconnects, 2); // the load and the one write-back
    // Made once: later changes of the same object bring no second copy.
    ASSERT_TRUE(r.book->PutRow({"t3", "H2S "}, 0, false));
    EXPECT_EQ(r.take().value(0), "DROP TABLE [S$A1:IV65536]");

    // A workbook that has the backup sheet keeps it as it is.
    Recorded again;
    again.session->sheet = r.session->sheet;
    again.session->backupSheet = r.session->sheet;
    again.open();
    EXPECT_EQ(again.take().size(), 1);
    again.book->HoldWrites();
    EXPECT_FALSE(again.book->SetHeaderRow({"Time", "Gas"}, false));
    EXPECT_EQ(again.book->lastError(), "Duplicate header row field:Time\n");
    ASSERT_TRUE(again.book->PutRow({"t3", "H2S "}, 0, false));
    ASSERT_TRUE(again.book->WriteBack());
    const QStringList statements = again.take();
    ASSERT_EQ(statements.size(), 6);
    EXPECT_EQ(statements[0], "SELECT * FROM [CWorkbookBackup$A1:IV65536]");
    EXPECT_EQ(statements[1], "DROP TABLE [S$A1:IV65536]");
    EXPECT_EQ(statements[5], "INSERT INTO [S$A1:IV3] ([Time], [Gas]) VALUES ('t3', 'H2S ')");

    // A store that refuses the copy: the change is still written, without a copy.
    Recorded refused;
    refused.session->sheet = r.session->sheet;
    refused.session->refusal = [](const QString& s) {
        return s.startsWith("CREATE TABLE [CWorkbookBackup]") ? QStringLiteral("exists\n")
                                                              : QString();
    };
    refused.open();
    refused.take();
    ASSERT_TRUE(refused.book->PutRow({"t3", "H2S "}, 0, false));
    EXPECT_EQ(refused.book->lastError(), "exists\n");
    EXPECT_EQ(refused.take().value(2), "DROP TABLE [S$A1:IV65536]");

    // A row that cannot be read ends the load; the rows read before it stay.
    Recorded broken;
    broken.session->sheet = r.session->sheet;
    broken.session->failingRow = 2;
    broken.open();
    EXPECT_EQ(broken.book->lastError(), "Error reading row\n");
    EXPECT_EQ(broken.book->RowCount(), 2);
    EXPECT_EQ(broken.take(), QStringList{kSelect}); // a failed load makes no backup
}

TEST(WorkbookStatements, UpdateTextAndReload) {
    Recorded r;
    r.session->sheet = std::vector<QStringList>{{"X", "Y"}, {"3", "4"}};
    r.open(kPath, "S", false);
    r.take();
    ASSERT_TRUE(r.book->UpdateMatchingRows({"1", "2"}, {"3", "4"}));
    EXPECT_EQ(r.take(), QStringList({"UPDATE [S] SET [X]='1', [Y]='2' WHERE ([X]='3' AND [Y]='4' )",
                                     kSelect}));

    r.session->refusal = [](const QString&) {
        return QStringLiteral("refused\n");
    };
    EXPECT_FALSE(r.book->UpdateMatchingRows({"1"}, {"3"}));
    EXPECT_EQ(r.book->lastError(), "refused\n");
    EXPECT_FALSE(r.session->connected);

    CWorkbook text(QStringLiteral("/nonexistent/folder/file.csv"), ",", false);
    EXPECT_FALSE(text.UpdateMatchingRows({"1"}, {"3"}));
    EXPECT_EQ(text.lastError(), "Function not available for text delimited file\n");
}

TEST(WorkbookStatements, HeaderAndRowRulesOfExcelMode) {
    Recorded r;
    r.open();
    r.take();
    r.book->HoldWrites();
    EXPECT_FALSE(r.book->PutRow({"a"}, 0, false));
    EXPECT_EQ(r.book->lastError(), "No header row. Add header row first\n");
    EXPECT_FALSE(r.book->SetHeaderRow({"X", "Y", "X"}, false));
    EXPECT_EQ(r.book->lastError(), "Duplicate header row field:X\n");
    ASSERT_TRUE(r.book->SetHeaderRow(xyz(), false));
    EXPECT_FALSE(r.book->PutRow({"X", "Y"}, 1, true));
    EXPECT_EQ(r.book->lastError(), "Number of columns in new header row cannot be less than the "
                                   "number of columns in previous header row");
    EXPECT_FALSE(r.book->PutRow({"1", "2", "3", "4"}, 0, false));
    EXPECT_EQ(r.book->lastError(),
              "Number of columns to be added cannot be greater than the number of fields\n");
    EXPECT_FALSE(r.book->PutCellAt("v", 5, 0));
    EXPECT_EQ(r.book->lastError(),
              "Cell column to be added cannot be greater than the number of fields\n");
    EXPECT_FALSE(r.book->PutCellAt("v", 0, 2));
    EXPECT_EQ(r.book->lastError(), "Column cannot be zero\n");
    EXPECT_EQ(r.book->RowCount(), 1);

    ASSERT_TRUE(r.book->PutRow({"only"}, 0, false));
    ASSERT_TRUE(r.book->PutCellAt("v", 2, 0)); // the other cells are blank: one space
    ASSERT_TRUE(r.book->PutCellByRef("w", "c", 4, true));
    QString cell;
    ASSERT_TRUE(r.book->GetCellByRef(cell, "Z", 4, false));
    EXPECT_EQ(cell, "w");
    // A new header cell one column beyond the fields extends the header.
    ASSERT_TRUE(r.book->PutCellAt("W", 4, 1));
    QStringList names;
    r.book->CopyFieldNames(names);
    EXPECT_EQ(names, QStringList({"X", "Y", "Z", "W"}));
    ASSERT_TRUE(r.book->WriteBack());
    const QStringList statements = r.take();
    EXPECT_EQ(statements.value(0),
              "CREATE TABLE [S] ([X] char(255), [Y] char(255), [Z] char(255), [W] char(255))");
    EXPECT_EQ(statements.mid(1),
              QStringList({"INSERT INTO [S$A1:IV1] ([X]) VALUES ('only')",
                           "INSERT INTO [S$A1:IV2] ([X], [Y], [Z]) VALUES (' ', 'v', ' ')",
                           "INSERT INTO [S$A1:IV3] ([X], [Y], [Z]) VALUES (' ', ' ', 'w')"}));
}

TEST(WorkbookStatements, NamesAndTextsAreQuoted) {
    Recorded r;
    r.open(kPath, "Gas]Log");
    r.book->HoldWrites();
    ASSERT_TRUE(r.book->SetHeaderRow({"Gas]", "Note"}, false));
    ASSERT_TRUE(r.book->PutRow({"Methyl's", "''"}, 0, false));
    ASSERT_TRUE(r.book->WriteBack());
    EXPECT_EQ(r.take(),
              QStringList({"SELECT * FROM [Gas]]Log$A1:IV65536]",
                           "CREATE TABLE [Gas]]Log] ([Gas]]] char(255), [Note] char(255))",
                           "INSERT INTO [Gas]]Log$A1:IV1] ([Gas]]], [Note]) VALUES ('Methyl''s', "
                           "'''''')"}));
    ASSERT_TRUE(r.book->UpdateMatchingRows({"it's"}, {"Methyl's"}));
    EXPECT_EQ(r.take().value(0),
              "UPDATE [Gas]]Log] SET [Gas]]]='it''s' WHERE ([Gas]]]='Methyl''s' )");
    ASSERT_TRUE(r.book->DropSheet("Old]"));
    EXPECT_EQ(r.take(), QStringList{"DROP TABLE [Old]]$A1:IV65536]"});
}

TEST(WorkbookStatements, RefusalsAndFailedWritesAreReported) {
    Recorded r;
    r.open();
    r.book->HoldWrites();
    ASSERT_TRUE(r.book->SetHeaderRow({"X"}, false));
    ASSERT_TRUE(r.book->PutRow({"good"}, 0, false));
    ASSERT_TRUE(r.book->PutRow({"bad"}, 0, false));
    r.session->refusal = [](const QString& s) {
        return s.contains("'bad'") ? QStringLiteral("[x] refused\n") : QString();
    };
    EXPECT_FALSE(r.book->WriteBack());
    EXPECT_EQ(r.book->lastError(), "[x] refused\n");
    EXPECT_FALSE(r.session->connected);
    QString cell;
    ASSERT_TRUE(r.book->GetCellAt(cell, 1, 3));
    EXPECT_EQ(cell, "bad"); // memory keeps the row

    // Nothing was kept by the store: the sheet is still new and is created again.
    r.session->refusal = nullptr;
    r.session->disconnectFailure = QStringLiteral("Cannot write: disk full\n");
    r.take();
    EXPECT_FALSE(r.book->WriteBack());
    EXPECT_EQ(r.book->lastError(), "Cannot write: disk full\n");
    r.session->disconnectFailure.clear();
    r.take();
    ASSERT_TRUE(r.book->WriteBack());
    EXPECT_EQ(r.take().value(0), "CREATE TABLE [S] ([X] char(255))");
    ASSERT_TRUE(r.book->WriteBack());
    EXPECT_TRUE(r.take().isEmpty()); // nothing changed since
    r.book->HoldWrites();
    ASSERT_TRUE(r.book->PutRow({"fine"}, 0, false));
    ASSERT_TRUE(r.book->WriteBack());
    EXPECT_EQ(r.take().value(0), "DROP TABLE [S$A1:IV65536]");

    // Dropping: the held rows go whichever sheet was named; a refusal of the own sheet's drop
    // reads as a failed clear.
    ASSERT_TRUE(r.book->DropSheet("Other"));
    EXPECT_EQ(r.book->RowCount(), 0);
    EXPECT_EQ(r.book->ColumnCount(), 0);
    r.session->refusal = [](const QString&) {
        return QStringLiteral("no\n");
    };
    EXPECT_FALSE(r.book->ClearSheet());
    EXPECT_EQ(r.book->lastError(), "Error deleting sheet\n");
    // With no field names the CREATE TABLE text is malformed, as the store will say.
    r.session->refusal = nullptr;
    r.take();
    (void)r.book->WriteBack(); // refused by the store; the statement it sent is what counts
    EXPECT_EQ(r.take().value(1), "CREATE TABLE [S$A1:IV65536])");
}

} // namespace
