// The statement parser's fast paths, pinned on the very texts the workbook class sends: a change
// on either side that made the INSERTs of a write-back leave them would slow every export
// without failing anything else.
#include "recordingstore.h"
#include "spreadsheet/storestatement.h"
#include "spreadsheet/workbook.h"

#include <gtest/gtest.h>

namespace {

// The statements of a write-back of three rows of `columns` columns, as the class sends them.
QStringList writeBackStatements(int columns) {
    auto session = std::make_shared<RecordedSession>();
    CWorkbook book(QStringLiteral("/data/records/C4-25-03-07.xls"), QStringLiteral("Storage"),
                   false, std::make_unique<RecordingStore>(session));
    book.HoldWrites();
    QStringList header;
    QStringList row;
    for (int c = 0; c < columns; ++c) {
        header << QStringLiteral("CH%1 Gas").arg(c);
        row << QStringLiteral("it's %1").arg(c);
    }
    EXPECT_TRUE(book.SetHeaderRow(header, false));
    for (int r = 0; r < 3; ++r) {
        EXPECT_TRUE(book.PutRow(row, 0, false));
    }
    EXPECT_TRUE(book.WriteBack());
    return session->statements;
}

// The detours of each INSERT, parsed as the store parses them: with the column list of the
// INSERT before as the known one.
std::vector<int> insertDetours(const QStringList& statements) {
    std::vector<int> detours;
    StoreStatement statement;
    QString error;
    QString knownList;
    for (const QString& text : statements) {
        EXPECT_TRUE(parseStoreStatement(text, statement, error, knownList)) << error.toStdString();
        if (statement.kind != StatementKind::InsertInto) {
            continue;
        }
        // Every INSERT after the first names the columns of the one before, verbatim.
        EXPECT_EQ(statement.columnsKnown, !detours.empty()) << text.toStdString();
        knownList = statement.columnList.toString();
        detours.push_back(statement.detours);
    }
    return detours;
}

TEST(StoreStatementFastPath, TheInsertsOfAWriteBackTakeIt) {
    const std::vector<int> oneColumn = insertDetours(writeBackStatements(1));
    ASSERT_EQ(oneColumn.size(), 3u);
    // The parts of a statement that come once (the table name after the keywords, the
    // parenthesis after VALUES) may detour; the names and texts, however many, never do.
    EXPECT_EQ(insertDetours(writeBackStatements(19)), oneColumn);
    EXPECT_LE(oneColumn.front(), 3);

    // The seam sees a statement in another layout.
    StoreStatement statement;
    QString error;
    ASSERT_TRUE(parseStoreStatement(QStringLiteral("INSERT INTO [S$A1:IV2] ([A], [B]) VALUES "
                                                   "('a', 'b')"),
                                    statement, error));
    const int usual = statement.detours;
    ASSERT_TRUE(parseStoreStatement(QStringLiteral("INSERT INTO [S$A1:IV2] ([A],[B]) VALUES "
                                                   "('a' , 'b')"),
                                    statement, error));
    EXPECT_GT(statement.detours, usual);
}

} // namespace
