#include "spreadsheet/workbook.h"

#include "spreadsheet/workbookstore.h"
#include "spreadsheet/workbooktexts.h"

#include <QHash>

using namespace workbooktexts;

bool CWorkbook::ClearSheet() {
    if (excelMode) {
        if (DropSheet(sheetName)) {
            return true;
        }
        lastErrorText = kErrorDeletingSheet;
        return false;
    }
    rowLines.clear();
    fieldNames.clear();
    columnCount = 0;
    rowCount = 0;
    if (!writesHeld) {
        writeBackUnheld();
    }
    sheetExists = false;
    return true;
}

bool CWorkbook::DropSheet(const QString& sheet) {
    if (!excelMode) {
        return ClearSheet();
    }
    database->connect(connectText);
    statementText = QStringLiteral("DROP TABLE ");
    appendSheetRange(statementText, sheet);
    if (!sendStatement()) {
        return false;
    }
    if (!disconnectStore()) {
        return false;
    }
    rowLines.clear();
    fieldNames.clear();
    columnCount = 0;
    rowCount = 0;
    // What the store holds is no longer the sheet that was loaded.
    m_backupPending = false;
    m_storedRowLines.clear();
    m_storedFieldNames.clear();
    return true;
}

bool CWorkbook::DiscardChanges() {
    if (LoadSheet()) {
        writesHeld = false;
        return true;
    }
    lastErrorText = kErrorReturning;
    return false;
}

bool CWorkbook::SaveInOtherFormat(const QString& sheetOrSeparator) {
    const QString targetPath = filePath.left(std::max<qsizetype>(0, filePath.size() - 4)) +
                               (excelMode ? QLatin1String(".csv") : QLatin1String(".xls"));
    CWorkbook target(targetPath, sheetOrSeparator, false);
    // An existing target with content is never overwritten.
    if (target.ColumnCount() != 0) {
        return false;
    }

    if (excelMode) {
        target.HoldWrites();
        for (qint32 row = 1; row <= rowCount; ++row) {
            if (!GetRowValues(scratchRow, row) || !target.PutRow(scratchRow, row, false)) {
                return false;
            }
        }
        return target.WriteBack();
    }

    QStringList names;
    CopyFieldNames(names);
    QHash<QString, int> counts;
    for (const QString& name : names) {
        ++counts[name];
    }
    bool duplicates = false;
    for (const QString& name : names) {
        if (counts.value(name) > 1) {
            // Left naming the last repeated field in column order, although the copy goes on.
            lastErrorText = duplicateField(name);
            duplicates = true;
        }
    }

    // The target's writes are not held: each stored row is written back at once, so rows
    // stored before a failure are in the workbook.
    qint32 firstRow = 2;
    qint32 rowShift = 0;
    if (duplicates) {
        // Numbered columns, with the text file's header line as the first data row.
        names.clear();
        for (qint16 column = 1; column <= columnCount; ++column) {
            names.append(QString::number(column));
        }
        firstRow = 1;
        rowShift = 1;
    }
    if (!target.SetHeaderRow(names, false)) {
        return false;
    }
    for (qint32 row = firstRow; row <= rowCount; ++row) {
        if (!GetRowValues(scratchRow, row) || !target.PutRow(scratchRow, row + rowShift, false)) {
            return false;
        }
    }
    // PutRow succeeds whatever its own write-back did; the last write-back is repeated so that
    // a workbook that could not be written is never reported as converted.
    return target.WriteBack();
}
