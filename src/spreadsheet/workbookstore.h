#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <stdexcept>
#include <vector>

// Connecting to a workbook failed: the file exists but is no workbook that can be read, or it
// cannot be read at all. what() names the file. Not caught by CWorkbook: it reaches the caller
// of the operation that connected.
class WorkbookConnectError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The store refused a statement; what() is the store's reason, driver style, in UTF-8.
class WorkbookStatementError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A forward-only, read-only result of a SELECT: columns named by the sheet's first row, rows
// that are the sheet's following rows. Released before its store disconnects.
class WorkbookResult {
public:
    virtual ~WorkbookResult() = default;
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    // How many rows the result will give, when the store knows; only used to reserve memory.
    virtual qsizetype rowCountHint() const { return 0; }
    virtual bool atEnd() const = 0;
    // The cell of the current row as text; throws WorkbookStatementError when it cannot be read.
    virtual QString value(int column) const = 0;
    // The cells of the current row in column order, as views valid until the next moveNext():
    // a store that holds its cells lends them without a copy, others put the values into
    // `storage` and view those. Both vectors have columnCount() entries. Throws like value().
    // Returns how many columns from the first may hold text; the others are empty. Every call
    // on one result gets the same two vectors, left as the call before left them, so that a
    // store need not clear again what it knows to be empty: an empty row then costs nothing,
    // however wide the sheet.
    virtual size_t viewRow(std::vector<QStringView>& cells, std::vector<QString>& storage) const {
        for (size_t column = 0; column < cells.size(); ++column) {
            storage[column] = value(static_cast<int>(column));
            cells[column] = storage[column];
        }
        return cells.size();
    }
    // Throws WorkbookStatementError when the next row cannot be reached.
    virtual void moveNext() = 0;
};

// What a workbook in Excel mode is reached through: the steps of a database driver, so that the
// statements can be recorded or carried out by any store. One connection at a time.
class WorkbookStore {
public:
    // Destroying a store drops an open connection without keeping its changes.
    virtual ~WorkbookStore() = default;
    // The names of the installed drivers; false when the list cannot be given.
    virtual bool installedDrivers(QStringList& names) const = 0;
    // Throws WorkbookConnectError.
    virtual void connect(const QString& connectText) = 0;
    // Throws WorkbookStatementError.
    virtual void execute(const QString& statement) = 0;
    // Throws WorkbookStatementError, for instance when the sheet does not exist.
    virtual std::unique_ptr<WorkbookResult> openForwardOnly(const QString& select) = 0;
    // Closes the connection. False, with the reason, when changes made through it could not be
    // kept; a store that keeps changes only at this point says so here.
    [[nodiscard]] virtual bool disconnect(QString& failure) = 0;
};
