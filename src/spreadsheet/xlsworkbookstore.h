#pragma once

#include "spreadsheet/storestatement.h"
#include "spreadsheet/workbookstore.h"
#include "spreadsheet/xls/keptbook.h"
#include "spreadsheet/xls/xlsbook.h"

#include <sys/types.h>
#include <vector>

// The workbook store of this program: carries out the statements of CWorkbook on an Excel
// 97-2003 (.xls) file held in memory.
//
// All statements of one connection are applied to the book in memory; the file is replaced at
// disconnect, and only when every statement of the connection was accepted, so that a refused
// statement or a crash part way through a write-back never leaves a sheet emptied or half
// written on disk. A connection that changed nothing writes nothing: a sheet rebuilt with the
// texts it held is no change.
//
// A workbook read from a file is written back keeping what others put in it: the sheets the
// statements did not change, the workbook's own records and the compound file's other streams
// are copied as read, and the cells of a changed sheet whose text is still the same keep their
// records (see xls::writeKeptStream). What cannot be kept that way is refused at disconnect,
// with the file left as it was; so is a file the user may not write.
//
// Effects: DROP TABLE over [S$A1:IV65536] empties sheet S and leaves it in the book. CREATE
// TABLE over that range writes the header into the emptied sheet; with the bare name it adds a
// sheet whose first row is the header (refused when a sheet of that name holds any cell; an
// emptied sheet of that name takes the header). INSERT INTO [S$A1:IVn] writes row n + 1.
// UPDATE [S] sets the named cells of every data row whose named cells equal the WHERE texts (an
// empty cell equals ''). SELECT * FROM [S$A1:IV65536] gives the columns of the used range,
// named by row 1, a blank name becoming F and its column number. Sheet names compare without
// regard to case, as in the spreadsheet program; column names compare exactly.
//
// The declared width char(n) is accepted but not enforced: the file format holds 32,767
// characters per cell, and refusing a longer text would refuse the whole write-back with it.
// Rows beyond 65,536, columns beyond 256 and texts beyond 32,767 characters are refused.
class XlsWorkbookStore : public WorkbookStore {
public:
    // The one entry of the driver list, so that the Excel driver search finds it.
    static const QString kDriverName;

    XlsWorkbookStore();
    ~XlsWorkbookStore() override;

    bool installedDrivers(QStringList& names) const override;
    void connect(const QString& connectText) override;
    void execute(const QString& statement) override;
    std::unique_ptr<WorkbookResult> openForwardOnly(const QString& select) override;
    bool disconnect(QString& failure) override;

private:
    struct FileIdentity {
        bool present = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    // What a column list of an INSERT resolved to, kept for the next INSERT with the same list.
    struct InsertTarget {
        QString table;       // the sheet name as quoted in the statement
        QString rangePrefix; // table + "$A1:IV"
        QString columnList;
        size_t sheet = 0;
        std::vector<QString> names;
        std::vector<int> columns;
        int lastColumn = -1;
        std::vector<size_t> unnamed; // the columns up to lastColumn that the list leaves out
    };
    using SheetRows = decltype(xls::Sheet::rows);
    // A sheet of the book as it was at connect, taken when a statement first changes it. A
    // rebuilt row takes its cells back from here, so that unchanged texts share their
    // characters with what was read and are recognised as unchanged without comparing them.
    struct OriginalSheet {
        bool taken = false;
        SheetRows rows;
    };

    void requireConnection() const;
    [[noreturn]] void refuse(const QString& reason);
    void loadBook(const QString& path, bool createIfMissing);
    static FileIdentity identityOf(const QString& path);
    xls::Sheet* findSheet(const QString& name, size_t* index = nullptr);
    // Changes are made to the book in place; a connection whose changes are not kept forgets
    // the book instead of undoing them, and the next connection reads the unchanged file.
    void forgetBook();
    void endConnection();
    void abandonConnection();
    int resolveColumn(const xls::Sheet& sheet, const QString& name) const;
    // Keeps the sheet as it was at connect before a statement changes it; `emptying` also
    // empties the sheet.
    void takeOriginal(size_t sheet, bool emptying = false);
    // Sheets whose content differs from what was read; empty when the book is unchanged.
    bool collectChanges(std::vector<xls::SheetChange>& changes) const;
    bool writeBook(QString& why);

    void dropTable(const StoreStatement& statement);
    void createTable(const StoreStatement& statement);
    void insertInto(const StoreStatement& statement);
    bool insertRowOfKnownTable(QStringView table, int& lastRow) const;
    void resolveInsertTarget(const StoreStatement& statement, QStringView quotedSheet);
    std::vector<QString>& rowForInsert(size_t sheet, size_t rowIndex);
    void update(const StoreStatement& statement);
    void checkText(QStringView text);

    StoreStatement m_statement;
    xls::Book m_book;
    std::shared_ptr<const xls::BookLayout> m_layout; // null for a book that is new
    QString m_path;
    FileIdentity m_identity; // of the file m_book was read from or last written to
    bool m_bookValid = false;
    bool m_connected = false;
    bool m_changed = false;
    bool m_refused = false;
    std::vector<OriginalSheet> m_original; // by sheet
    size_t m_sheetsAtConnect = 0;
    InsertTarget m_insertTarget;
    bool m_insertTargetValid = false;
};
