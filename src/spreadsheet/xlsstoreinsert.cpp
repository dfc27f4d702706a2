#include "spreadsheet/xlsworkbookstore.h"

#include "spreadsheet/sqlquote.h"
#include "spreadsheet/xlsstoredetail.h"

#include <algorithm>

// INSERT INTO, the statement a write-back sends once per row: the sheet and column list of the
// INSERT before are kept, and rows that come back unchanged share what was read.

using namespace xlsstore;

bool XlsWorkbookStore::insertRowOfKnownTable(QStringView table, int& lastRow) const {
    // The INSERTs of a write-back differ only in their row number: "<sheet>$A1:IV<n>" with the
    // sheet of the INSERT before is read without taking the name apart again.
    const QStringView prefix(m_insertTarget.rangePrefix);
    if (!m_insertTargetValid || table.size() <= prefix.size() || table.size() > prefix.size() + 7 ||
        !sameText(table.first(prefix.size()), prefix)) {
        return false;
    }
    int row = 0;
    for (const QChar c : table.sliced(prefix.size())) {
        if (c.unicode() < u'0' || c.unicode() > u'9') {
            return false;
        }
        row = row * 10 + (c.unicode() - u'0');
    }
    lastRow = row;
    return row > 0;
}

void XlsWorkbookStore::resolveInsertTarget(const StoreStatement& statement,
                                           QStringView quotedSheet) {
    // A known column list (see parseStoreStatement) names the columns of the last INSERT.
    std::vector<QString> names;
    if (statement.columnsKnown) {
        names = m_insertTarget.names;
    } else {
        for (const QStringView quoted : statement.columns) {
            names.push_back(sqlquote::unquoteName(quoted));
        }
    }
    m_insertTargetValid = false;
    const QString sheetName = sqlquote::unquoteName(quotedSheet);
    size_t index = 0;
    if (!findSheet(sheetName, &index)) {
        refuse(QStringLiteral("The workbook %1 has no sheet '%2'").arg(shown(m_path), sheetName));
    }
    InsertTarget target;
    target.sheet = index;
    for (const QString& name : names) {
        const int column = resolveColumn(m_book.sheets[index], name);
        if (column < 0) {
            refuse(QStringLiteral("The sheet '%1' has no column '%2'").arg(sheetName, name));
        }
        if (std::find(target.columns.begin(), target.columns.end(), column) !=
            target.columns.end()) {
            refuse(QStringLiteral("The column '%1' is named twice").arg(name));
        }
        target.columns.push_back(column);
        target.lastColumn = std::max(target.lastColumn, column);
    }
    for (int column = 0; column < target.lastColumn; ++column) {
        if (std::find(target.columns.begin(), target.columns.end(), column) ==
            target.columns.end()) {
            target.unnamed.push_back(static_cast<size_t>(column));
        }
    }
    target.names = std::move(names);
    target.table = quotedSheet.toString();
    target.rangePrefix = target.table + QLatin1String("$A1:IV");
    target.columnList = statement.columnList.toString();
    m_insertTarget = std::move(target);
    m_insertTargetValid = true;
}

std::vector<QString>& XlsWorkbookStore::rowForInsert(size_t sheet, size_t rowIndex) {
    auto& rows = m_book.sheets[sheet].rows;
    if (rows.size() <= rowIndex) {
        rows.resize(rowIndex + 1);
    }
    auto& row = rows[rowIndex];
    // A write-back rebuilds a sheet that mostly holds what it held before: the row from the
    // same place comes back with its cells, and the texts that did not change keep their
    // storage (which the file writer then finds by address).
    if (row.empty() && sheet < m_original.size() && m_original[sheet].taken &&
        rowIndex < m_original[sheet].rows.size() && !m_original[sheet].rows[rowIndex].empty()) {
        OriginalSheet& original = m_original[sheet];
        row = std::move(original.rows[rowIndex]);
        original.rows[rowIndex] = {};
        if (original.lent.size() < original.rows.size()) {
            original.lent.resize(original.rows.size(), false);
        }
        original.lent[rowIndex] = true;
    }
    return row;
}

void XlsWorkbookStore::insertInto(const StoreStatement& statement) {
    int lastRow = 0;
    QStringView quotedSheet;
    const bool knownTable = insertRowOfKnownTable(statement.table, lastRow);
    if (knownTable) {
        quotedSheet = m_insertTarget.table;
    } else {
        // [S$A1:IVn]: the range is read from the quoted text directly, since ']' never occurs
        // in it.
        const qsizetype dollar = statement.table.lastIndexOf(u'$');
        TableName range;
        if (dollar < 0 || !parseCellRange(statement.table.sliced(dollar + 1), range) ||
            range.firstColumn != 1 || range.firstRow != 1 ||
            range.lastColumn != kWholeSheetLastColumn) {
            refuse(QStringLiteral("INSERT INTO needs a range from A1 to the row above the new "
                                  "row: [Sheet$A1:IVn]"));
        }
        lastRow = range.lastRow;
        quotedSheet = statement.table.first(dollar);
    }
    if (lastRow >= xls::kMaxRows) {
        refuse(
            QStringLiteral("Row %1 is beyond the last row of a sheet (65,536)").arg(lastRow + 1));
    }

    const bool sameTable =
        knownTable || (m_insertTargetValid && sameText(quotedSheet, m_insertTarget.table));
    if (!sameTable ||
        (!statement.columnsKnown && statement.columnList != m_insertTarget.columnList)) {
        resolveInsertTarget(statement, quotedSheet);
    }
    const InsertTarget& target = m_insertTarget;
    if (statement.values.size() != target.columns.size()) {
        refuse(QStringLiteral("%1 columns are named but %2 texts given")
                   .arg(target.columns.size())
                   .arg(statement.values.size()));
    }
    for (const QStringView value : statement.values) {
        if (value.size() > xls::kMaxCellChars) {
            checkText(sqlquote::unquoteValue(value));
        }
    }

    m_changed = true;
    takeOriginal(target.sheet);
    // INSERT INTO a range ending at row n writes row n + 1, which is index n counted from 0.
    const size_t rowIndex = static_cast<size_t>(lastRow);
    auto& row = rowForInsert(target.sheet, rowIndex);
    // A lent row gives the original its copy back before its first change.
    const size_t width = static_cast<size_t>(target.lastColumn) + 1;
    if (row.size() != width) {
        keepOriginalRow(target.sheet, rowIndex);
    }
    row.resize(width);
    for (const size_t column : target.unnamed) {
        if (!row[column].isEmpty()) {
            keepOriginalRow(target.sheet, rowIndex);
        }
        row[column].clear();
    }
    for (size_t i = 0; i < statement.values.size(); ++i) {
        const QStringView quoted = statement.values[i];
        QString& cell = row[static_cast<size_t>(target.columns[i])];
        if (statement.valuesHoldQuotes && quoted.contains(u'\'')) {
            QString value = sqlquote::unquoteValue(quoted);
            if (!sameText(cell, value)) {
                keepOriginalRow(target.sheet, rowIndex);
                cell = std::move(value);
            }
        } else if (!sameText(cell, quoted)) {
            keepOriginalRow(target.sheet, rowIndex);
            cell = quoted.toString();
        }
    }
}
