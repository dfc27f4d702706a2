#pragma once

#include <QString>

// The failure texts of CWorkbook, kept byte for byte as callers and users know them.
namespace workbooktexts {

inline const QString kProblemsAddingHeaders = QStringLiteral("Problems with adding headers\n");
inline const QString kDuplicateFieldPrefix = QStringLiteral("Duplicate header row field:");
// The only text without a line end.
inline const QString kHeaderShorter =
    QStringLiteral("Number of columns in new header row cannot be less than the number of "
                   "columns in previous header row");
inline const QString kNoHeaderRow = QStringLiteral("No header row. Add header row first\n");
inline const QString kMoreValuesThanFields =
    QStringLiteral("Number of columns to be added cannot be greater than the number of fields\n");
inline const QString kCellBeyondFields =
    QStringLiteral("Cell column to be added cannot be greater than the number of fields\n");
inline const QString kColumnZero = QStringLiteral("Column cannot be zero\n");
inline const QString kInvalidColumn = QStringLiteral("Invalid field name or column alphabet\n");
inline const QString kRowBeyondRows =
    QStringLiteral("Desired row is greater than total number of rows in spreadsheet\n");
inline const QString kErrorReadingRow = QStringLiteral("Error reading row\n");
inline const QString kNotForTextFiles =
    QStringLiteral("Function not available for text delimited file\n");
inline const QString kErrorWritingFile = QStringLiteral("Error writing file\n");
inline const QString kErrorOpeningFile = QStringLiteral("Error in opening file\n");
inline const QString kErrorDeletingSheet = QStringLiteral("Error deleting sheet\n");
inline const QString kErrorReturning = QStringLiteral("Error in returning to previous state\n");

inline QString duplicateField(const QString& name) {
    return kDuplicateFieldPrefix + name + QLatin1Char('\n');
}

// Text mode: a value that the file's line would not give back as written, since the format
// has no escape.
inline QString valueNotKept(const QString& value, const QString& separator) {
    return QStringLiteral("Value cannot be written to a text delimited file: \"%1\" holds its "
                          "separator \"%2\" or a line end\n")
        .arg(value, separator);
}

// Excel mode: the separator held between the quoted cells of a row line, and the text of a
// cell a writer creates without a value (a blank reaches the workbook as one space).
inline const QString kExcelSeparator = QStringLiteral(",;.?");
inline const QString kExcelBlankCell = QStringLiteral(" ");
inline const QString kBackupSheet = QStringLiteral("CWorkbookBackup");

} // namespace workbooktexts
