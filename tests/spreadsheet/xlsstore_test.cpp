// The statement forms of the .xls workbook store and their effects.
#include "qtprinters.h"
#include "spreadsheet/xlsworkbookstore.h"
#include "workbookreaders.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString connection(const QString& path) {
    return QStringLiteral("DRIVER={x};DSN='';FIRSTROWHASNAMES=1;READONLY=FALSE;CREATE_DB=\"%1\";"
                          "DBQ=%1")
        .arg(path);
}

// The columns, then the rows of a SELECT over the whole sheet.
std::vector<QStringList> selectAll(XlsWorkbookStore& store, const QString& sheet) {
    std::unique_ptr<WorkbookResult> result =
        store.openForwardOnly("SELECT * FROM [" + sheet + "$A1:IV65536]");
    std::vector<QStringList> rows(1);
    for (int c = 0; c < result->columnCount(); ++c) {
        rows[0].append(result->columnName(c));
    }
    for (; !result->atEnd(); result->moveNext()) {
        rows.emplace_back();
        for (int c = 0; c < result->columnCount(); ++c) {
            rows.back().append(result->value(c));
        }
    }
    return rows;
}

QString refusal(XlsWorkbookStore& store, const QString& statement) {
    try {
        store.execute(statement);
    } catch (const WorkbookStatementError& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

TEST(XlsStore, StatementEffects) {
    QTemporaryDir dir;
    const QString path = dir.filePath("store.xls");
    XlsWorkbookStore store;
    QStringList drivers;
    ASSERT_TRUE(store.installedDrivers(drivers));
    EXPECT_TRUE(drivers.value(0).contains("Excel"));

    store.connect(connection(path));
    EXPECT_THROW(selectAll(store, "S"), WorkbookStatementError);
    store.execute("create table [S] ( [A] char(255),[B] CHAR(10) )");
    store.execute("INSERT INTO [S$A1:IV1] ([B], [A]) VALUES ('b', 'a''s')");
    store.execute("INSERT  INTO [s$a1:iv3] ([A]) VALUES ('gap')");
    EXPECT_TRUE(refusal(store, "CREATE TABLE [s] ([A] char(255))").contains("already has a sheet"));
    QString failure;
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString(); // refusals drop everything
    EXPECT_FALSE(QFile::exists(path));

    store.connect(connection(path));
    store.execute("CREATE TABLE [S] ([A] char(255), [B] char(255))");
    store.execute("INSERT INTO [S$A1:IV1] ([B], [A]) VALUES ('b', 'a''s')");
    store.execute("INSERT INTO [S$A1:IV3] ([A]) VALUES ('gap')");
    store.execute("UPDATE [S] SET [B]='x' WHERE ([A]='a''s' AND [B]='b' )");
    store.execute("UPDATE [S] SET [B]='never' WHERE ([A]='none' )");
    ASSERT_TRUE(store.disconnect(failure));
    const std::vector<QStringList> written{{"A", "B"}, {"a's", "x"}, {"", ""}, {"gap", ""}};
    EXPECT_EQ(readWithXlrd(path).sheet("S")->trimmedRows(),
              (QList<QStringList>{{"A", "B"}, {"a's", "x"}, {}, {"gap"}}));

    store.connect(connection(path));
    EXPECT_EQ(selectAll(store, "S"), written);
    const QByteArray bytes = fileBytes(path);
    store.execute("DROP TABLE [S$A1:IV65536]");
    EXPECT_EQ(selectAll(store, "S"), std::vector<QStringList>(1));
    const QStringList refused{
        "DELETE FROM [S]",
        "DROP TABLE [S]",
        "DROP TABLE [Missing$A1:IV65536]",
        "INSERT INTO [S$A1:IV65536] ([A]) VALUES ('x')",
        "INSERT INTO [S$A1:IV2] ([A], [B]) VALUES ('x')",
        "CREATE TABLE [Bad:Name] ([A] char(255))",
        "CREATE TABLE [T] ([A] char(255), [A] char(255))",
        "CREATE TABLE [T] ([A] char(256))",
        "CREATE TABLE [T] ([A] char(255)) extra",
        "UPDATE [S] SET [Nope]='1' WHERE ([A]='2' )",
    };
    for (const QString& statement : refused) {
        const QString reason = refusal(store, statement);
        EXPECT_TRUE(reason.startsWith("[Trellmo][Excel Workbook Driver] ") && reason.endsWith("\n"))
            << statement.toStdString() << " -> " << reason.toStdString();
    }
    EXPECT_THROW(store.openForwardOnly("SELECT * FROM [S]"), WorkbookStatementError);
    ASSERT_TRUE(store.disconnect(failure));
    EXPECT_EQ(fileBytes(path), bytes);
}

// A rebuild hands the rows it puts back unchanged to the sheet without copying them: later
// statements of the same connection that change such a row, or empty the sheet again, still
// find the texts as read, and a rebuild that changes nothing writes nothing.
TEST(XlsStore, RowsRebuiltUnchangedCanStillChange) {
    QTemporaryDir dir;
    const QString path = dir.filePath("rebuilt.xls");
    XlsWorkbookStore store;
    QString failure;
    auto rebuild = [&](const QStringList& secondRow) {
        store.execute("DROP TABLE [S$A1:IV65536]");
        store.execute("CREATE TABLE [S] ([A] char(255), [B] char(255))");
        store.execute("INSERT INTO [S$A1:IV1] ([A], [B]) VALUES ('r1', 'b1')");
        if (secondRow.size() == 1) {
            store.execute(
                QStringLiteral("INSERT INTO [S$A1:IV2] ([A]) VALUES ('%1')").arg(secondRow[0]));
        } else {
            store.execute(QStringLiteral("INSERT INTO [S$A1:IV2] ([A], [B]) VALUES ('%1', '%2')")
                              .arg(secondRow[0], secondRow[1]));
        }
        store.execute("INSERT INTO [S$A1:IV3] ([A], [B]) VALUES ('r3', 'b3')");
    };

    store.connect(connection(path));
    store.execute("CREATE TABLE [S] ([A] char(255), [B] char(255))");
    store.execute("INSERT INTO [S$A1:IV1] ([A], [B]) VALUES ('r1', 'b1')");
    store.execute("INSERT INTO [S$A1:IV2] ([A], [B]) VALUES ('r2', 'b2')");
    store.execute("INSERT INTO [S$A1:IV3] ([A], [B]) VALUES ('r3', 'b3')");
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString();
    const QByteArray written = fileBytes(path);

    store.connect(connection(path));
    rebuild({"r2", "b2"});
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString();
    EXPECT_EQ(fileBytes(path), written);

    store.connect(connection(path));
    rebuild({"r2", "b2"});
    store.execute("UPDATE [S] SET [B]='changed' WHERE ([A]='r2' )");
    rebuild({"r2", "again"});
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString();
    EXPECT_EQ(readWithXlrd(path).sheet("S")->trimmedRows(),
              (QList<QStringList>{{"A", "B"}, {"r1", "b1"}, {"r2", "again"}, {"r3", "b3"}}));

    store.connect(connection(path));
    rebuild({"r2"});
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString();
    EXPECT_EQ(readWithXlrd(path).sheet("S")->trimmedRows(),
              (QList<QStringList>{{"A", "B"}, {"r1", "b1"}, {"r2"}, {"r3", "b3"}}));

    // Back to what it held first: the row of a rebuild before the last UPDATE is the one kept.
    store.connect(connection(path));
    rebuild({"r2", "b2"});
    store.execute("UPDATE [S] SET [B]='b2' WHERE ([A]='r2' )");
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString();
    EXPECT_EQ(readWithXlrd(path).sheet("S")->trimmedRows(),
              (QList<QStringList>{{"A", "B"}, {"r1", "b1"}, {"r2", "b2"}, {"r3", "b3"}}));

    // Statements that change rows in place, without emptying the sheet first: what they set
    // to what it held, or change and then rebuild as it was, writes nothing; a change is written.
    const QByteArray kept = fileBytes(path);
    store.connect(connection(path));
    store.execute("UPDATE [S] SET [B]='b2' WHERE ([A]='r2' )");
    store.execute("INSERT INTO [S$A1:IV3] ([A], [B]) VALUES ('r3', 'b3')");
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString();
    EXPECT_EQ(fileBytes(path), kept);
    store.connect(connection(path));
    store.execute("UPDATE [S] SET [B]='x' WHERE ([A]='r2' )");
    rebuild({"r2", "b2"});
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString();
    EXPECT_EQ(fileBytes(path), kept);
    store.connect(connection(path));
    store.execute("UPDATE [S] SET [B]='x' WHERE ([A]='r2' )");
    store.execute("INSERT INTO [S$A1:IV3] ([A], [B]) VALUES ('r3', 'y')");
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString();
    EXPECT_EQ(readWithXlrd(path).sheet("S")->trimmedRows(),
              (QList<QStringList>{{"A", "B"}, {"r1", "b1"}, {"r2", "x"}, {"r3", "y"}}));
}

TEST(XlsStore, BlankHeaderCellsAreNamedByTheirColumn) {
    QTemporaryDir dir;
    const QString path = dir.filePath("blank.xls");
    QByteArray output;
    ASSERT_TRUE(runPython("import sys, xlwt\n"
                          "b = xlwt.Workbook()\ns = b.add_sheet('S')\n"
                          "s.write(0, 0, 'A')\ns.write(0, 2, 'C')\ns.write(1, 3, 'd')\n"
                          "b.save(sys.argv[1])\n",
                          {path}, output))
        << output.toStdString();
    XlsWorkbookStore store;
    store.connect(connection(path));
    EXPECT_EQ(selectAll(store, "S"),
              (std::vector<QStringList>{{"A", "F2", "C", "F4"}, {"", "", "", "d"}}));
    store.execute("INSERT INTO [S$A1:IV2] ([F2], [F4], [C]) VALUES ('b', 'e', 'c')");
    QString failure;
    ASSERT_TRUE(store.disconnect(failure));
    store.connect(connection(path));
    EXPECT_EQ(selectAll(store, "S").back(), QStringList({"", "b", "c", "e"}));
    EXPECT_FALSE(refusal(store, "INSERT INTO [S$A1:IV3] ([F3]) VALUES ('x')").isEmpty());
    store.disconnect(failure);
}

} // namespace

TEST(XlsStore, ViewedRowsShowOnlyTheirOwnCells) {
    QTemporaryDir dir;
    const QString path = dir.filePath("view.xls");
    XlsWorkbookStore store;
    store.connect(connection(path));
    store.execute("CREATE TABLE [S] ([A] char(255), [B] char(255), [C] char(255))");
    store.execute("INSERT INTO [S$A1:IV1] ([A], [B], [C]) VALUES ('a', 'b', 'c')");
    store.execute("INSERT INTO [S$A1:IV3] ([A]) VALUES ('x')");
    std::unique_ptr<WorkbookResult> result = store.openForwardOnly("SELECT * FROM [S$A1:IV65536]");
    // One pair of vectors for every row, as a reader passes them: what a wide row lent must not
    // show in the rows after it.
    std::vector<QStringView> cells(3);
    std::vector<QString> storage(3);
    std::vector<std::pair<size_t, QStringList>> seen;
    for (; !result->atEnd(); result->moveNext()) {
        const size_t held = result->viewRow(cells, storage);
        seen.push_back({held, {}});
        for (const QStringView cell : cells) {
            seen.back().second.append(cell.toString());
        }
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].second, QStringList({"a", "b", "c"}));
    EXPECT_EQ(seen[1].first, 0u); // the empty row between them
    EXPECT_EQ(seen[1].second, QStringList({"", "", ""}));
    EXPECT_GE(seen[2].first, 1u);
    EXPECT_EQ(seen[2].second, QStringList({"x", "", ""}));
    result.reset();
    QString failure;
    ASSERT_TRUE(store.disconnect(failure)) << failure.toStdString();
}
