#pragma once

#include "spreadsheet/rowline.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <vector>

class WorkbookStore;
class WorkbookResult;

// One worksheet held in memory as a header row of field names and text rows, stored either in
// an .xls workbook (through a workbook store that takes SQL statements) or in a delimited text
// file. Rows and columns count from 1; row 1 is the header; row 0 means "append" to writers
// and "the cursor row" to readers. Failures return false and leave a reason in lastError().
// A failure to connect to a workbook is thrown as WorkbookConnectError (workbookstore.h).
class CWorkbook {
public:
    // Excel mode when the path ends in ".xls" (any case): the second argument names the sheet.
    // Otherwise text mode: the second argument is the cell separator.
    CWorkbook(const QString& filePath, const QString& sheetOrSeparator, bool keepBackup);
    // The same with another store behind Excel mode (tests record the statements this way).
    CWorkbook(const QString& filePath, const QString& sheetOrSeparator, bool keepBackup,
              std::unique_ptr<WorkbookStore> store);
    ~CWorkbook();
    CWorkbook(const CWorkbook&) = delete;
    CWorkbook& operator=(const CWorkbook&) = delete;

    void HoldWrites();
    qint16 ColumnCount() const;
    void CopyFieldNames(QStringList& names) const;

    // Writing
    bool SetHeaderRow(const QStringList& fields, bool replace);
    bool PutRow(const QStringList& values, qint32 row, bool replace);
    bool PutCellByRef(const QString& value, const QString& columnRef, qint32 row,
                      bool refIsLetters);
    bool PutCellAt(const QString& value, qint16 column, qint32 row);
    [[nodiscard]] bool WriteBack();
    bool UpdateMatchingRows(const QStringList& newValues, const QStringList& oldValues);

    // Reading
    bool GetRowValues(QStringList& cells, qint32 row);
    bool GetColumnAt(QStringList& cells, qint16 column);
    bool GetColumnByRef(QStringList& cells, const QString& columnRef, bool refIsLetters);
    bool GetCellAt(QString& value, qint16 column, qint32 row);
    bool GetCellByRef(QString& value, const QString& columnRef, qint32 row, bool refIsLetters);

    // Clearing, reload and conversion
    bool ClearSheet();
    bool DropSheet(const QString& sheet);
    bool DiscardChanges();
    [[nodiscard]] bool SaveInOtherFormat(const QString& sheetOrSeparator);

    const QString& lastError() const { return lastErrorText; }
    qint32 RowCount() const { return rowCount; }

private:
    bool LoadSheet();
    bool loadExcelSheet();
    bool loadTextFile();
    void FindExcelDriver();
    qint16 ResolveColumn(const QString& columnRef, bool refIsLetters);
    // The row reader without copying: leaves views of the row's cells in cellViews (valid until
    // rowLines changes), with the same checks, texts and cursor moves as GetRowValues.
    bool readRowCells(qint32 row);
    // The write of a change made without HoldWrites.
    void writeBackUnheld();
    [[nodiscard]] bool writeBackExcel();
    [[nodiscard]] bool writeBackText();
    // Sends statementText; on a refusal keeps the store's text, disconnects and returns false.
    bool sendStatement();
    // Disconnects; false, with the store's reason in lastErrorText, when the changes of the
    // connection could not be kept.
    [[nodiscard]] bool disconnectStore();
    // Disconnects without a word: for connections whose outcome is already decided.
    void dropConnection();
    // Splits a held line into views of its cells, in the form the mode holds its lines in.
    void splitLine(QStringView line, std::vector<QStringView>& cells,
                   std::vector<QString>& storage) const;
    // Text mode: false, with the reason, when a value would not read back from its line.
    bool refuseUnkeptValues(const QStringList& values);
    QStringView blankCell() const;
    QString blankRowLine() const;
    void placeRowLine(const QString& line, qint32 row, bool replace);
    // Whether the held rows differ from those the store was last known to hold.
    bool rowsChangedSinceStored() const;
    // Within a connection: adds the backup sheet holding the rows as stored, unless the
    // workbook has one (then keepBackup is cleared). False, with the store's reason and the
    // connection closed, when the store refused it.
    bool writeBackupSheet();
    void appendSheetRange(QString& text, const QString& sheet) const;

    bool sheetExists = false;
    bool keepBackup = false;
    bool excelMode = false;
    bool writesHeld = false;
    qint32 cursorRow = 1;
    qint32 rowCount = 0;
    qint16 columnCount = 0;
    QString selectText;
    QString connectText;
    QString statementText;
    QString scratchText;
    QString sheetName;
    QString driverName;
    QString filePath;
    QString separator;
    QString lastErrorText;
    QStringList scratchRow;
    QStringList fieldNames;
    QStringList rowLines;
    std::unique_ptr<WorkbookStore> database;
    std::unique_ptr<WorkbookResult> recordset;
    std::vector<QStringView> m_cellViews;
    std::vector<QString> m_cellStorage; // the unescaped cells m_cellViews may point into
    // Excel-mode rows never leave memory as lines, so their cells are escaped and any text
    // stays one cell; text-mode lines are the file's lines.
    rowline::Form m_lineForm = rowline::Form::Plain;
    // The sheet as the store holds it, from the last load or write-back (Excel mode). The
    // backup copy is made from it by the first write-back that changes the sheet, so that a
    // job that changes nothing writes nothing.
    QStringList m_storedRowLines;
    QStringList m_storedFieldNames;
    bool m_backupPending = false;
    // The line shared by the loaded rows that hold no text: written back, such a row inserts
    // nothing, so it is not sent.
    QString m_loadedEmptyRowLine;
};
