#pragma once

#include <QString>
#include <QStringView>
#include <vector>

// The statement forms the workbook store carries out:
//   SELECT * FROM [t]
//   DROP TABLE [t]
//   CREATE TABLE [t] ([c] char(n), ...)
//   INSERT INTO [t] ([c], ...) VALUES ('v', ...)
//   UPDATE [t] SET [c]='v', ... WHERE ([c]='v' AND ...)
// Keywords in any case, blanks anywhere between the parts. Names and texts are returned still
// quoted (a doubled ']' or '''), as views into the statement text, so that the many INSERTs of
// a write-back are parsed without copying anything but their values.
enum class StatementKind { Select, DropTable, CreateTable, InsertInto, Update };

struct StoreStatement {
    StatementKind kind = StatementKind::Select;
    QStringView table;
    // INSERT: the text of the column list, so that a store can reuse what it resolved for the
    // same list in the statement before.
    QStringView columnList;
    // INSERT: the column list equalled the known one given to the parser, and `columns` was
    // left empty.
    bool columnsKnown = false;
    // CREATE: the defined columns; INSERT: the named columns; UPDATE: the columns after SET.
    std::vector<QStringView> columns;
    // CREATE: the declared widths; unused otherwise.
    std::vector<int> widths;
    // INSERT: the texts after VALUES; UPDATE: the texts after SET.
    std::vector<QStringView> values;
    // Some text of `values` holds a doubled quote, so that its quoted form is not its value.
    bool valuesHoldQuotes = false;
    // UPDATE: the conditions after WHERE.
    std::vector<QStringView> whereColumns;
    std::vector<QStringView> whereValues;
    // How often the parser left its fast path: a bracket, quote or parenthesis not right where
    // the texts of the workbook class put it, or a list separator other than ", ". Tests pin
    // that the per-value parts of the class's statements take none.
    int detours = 0;
};

// False with a reason when the text is not one of the forms. The views point into `text`.
// An INSERT whose column list is `knownColumnList` exactly is not taken apart (see
// columnsKnown).
bool parseStoreStatement(QStringView text, StoreStatement& statement, QString& error,
                         QStringView knownColumnList = {});

// A table is a sheet name, or a sheet name with a range: "Sheet$A1:IV65536".
struct TableName {
    QString sheet;
    bool hasRange = false;
    int firstColumn = 0; // 1-based
    int firstRow = 0;
    int lastColumn = 0;
    int lastRow = 0;
};

// Splits an unquoted table name. A '$' not followed by a valid cell range is part of the name.
TableName splitTableName(const QString& name);

// Reads a range such as "A1:IV65536" into the range fields of `table`.
bool parseCellRange(QStringView range, TableName& table);
