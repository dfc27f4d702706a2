#pragma once

#include "spreadsheet/storestatement.h"
#include "spreadsheet/textscan.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QDir>
#include <QString>
#include <QStringView>
#include <string>

// What the parts of the .xls workbook store share: how it words its refusals and how it tells
// sheets and texts apart.
namespace xlsstore {

// Refusals read like a driver's diagnostics: who is speaking, then what went wrong.
inline const QString kDriverPrefix = QStringLiteral("[Trellmo][Excel Workbook Driver] ");
constexpr int kWholeSheetLastRow = xls::kMaxRows;
constexpr int kWholeSheetLastColumn = xls::kMaxColumns;

inline std::string toMessage(const QString& text) {
    return text.toUtf8().toStdString();
}

inline QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

inline bool isWholeSheet(const TableName& table) {
    return table.hasRange && table.firstColumn == 1 && table.firstRow == 1 &&
           table.lastColumn == kWholeSheetLastColumn && table.lastRow == kWholeSheetLastRow;
}

// Every cell of a write-back is compared with the cell it replaces.
inline bool sameText(QStringView a, QStringView b) {
    return a.size() == b.size() && textscan::equal(a.utf16(), b.utf16(), a.size());
}

inline bool holdsAnyCell(const xls::Sheet& sheet) {
    for (const auto& row : sheet.rows) {
        for (const QString& cell : row) {
            if (!cell.isEmpty()) {
                return true;
            }
        }
    }
    return false;
}

} // namespace xlsstore
