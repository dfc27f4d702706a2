#include "spreadsheet/xlsworkbookstore.h"

#include "spreadsheet/sqlquote.h"
#include "spreadsheet/xls/sheetname.h"
#include "spreadsheet/xlsstoredetail.h"

#include <QHash>

// The statements that empty, create and update sheets.

using namespace xlsstore;

void XlsWorkbookStore::dropTable(const StoreStatement& statement) {
    const TableName table = splitTableName(sqlquote::unquoteName(statement.table));
    if (!isWholeSheet(table)) {
        refuse(QStringLiteral("DROP TABLE empties whole sheets only: [%1$A1:IV65536]")
                   .arg(table.sheet));
    }
    size_t index = 0;
    if (!findSheet(table.sheet, &index)) {
        refuse(QStringLiteral("The workbook %1 has no sheet '%2'").arg(shown(m_path), table.sheet));
    }
    m_insertTargetValid = false;
    const bool anyCell = holdsAnyCell(m_book.sheets[index]);
    takeOriginal(index, true);
    m_changed = m_changed || anyCell;
}

void XlsWorkbookStore::createTable(const StoreStatement& statement) {
    const TableName table = splitTableName(sqlquote::unquoteName(statement.table));
    if (table.hasRange && !isWholeSheet(table)) {
        refuse(QStringLiteral("CREATE TABLE takes a sheet name or a whole sheet: [%1$A1:IV65536]")
                   .arg(table.sheet));
    }
    if (statement.columns.size() > size_t(xls::kMaxColumns)) {
        refuse(QStringLiteral("%1 columns are more than a sheet holds (256)")
                   .arg(statement.columns.size()));
    }

    std::vector<QString> header;
    header.reserve(statement.columns.size());
    QHash<QString, int> seen;
    for (size_t i = 0; i < statement.columns.size(); ++i) {
        QString name = sqlquote::unquoteName(statement.columns[i]);
        if (name.isEmpty()) {
            refuse(QStringLiteral("Column %1 has no name").arg(i + 1));
        }
        checkText(name);
        if (seen.contains(name)) {
            refuse(QStringLiteral("The column name '%1' is given twice").arg(name));
        }
        const int width = statement.widths[i];
        if (width < 1 || width > 255) {
            refuse(QStringLiteral("The column type char(%1) is not one of char(1) to char(255)")
                       .arg(width));
        }
        seen.insert(name, int(i));
        header.push_back(std::move(name));
    }

    size_t index = 0;
    xls::Sheet* sheet = findSheet(table.sheet, &index);
    if (table.hasRange) {
        if (!sheet) {
            refuse(QStringLiteral("The workbook %1 has no sheet '%2'")
                       .arg(shown(m_path), table.sheet));
        }
    } else if (!sheet) {
        if (const QString problem = xls::sheetNameProblem(table.sheet); !problem.isEmpty()) {
            refuse(problem);
        }
        m_book.sheets.push_back(xls::Sheet{table.sheet, {std::move(header)}});
        m_changed = true;
        m_insertTargetValid = false;
        return;
    }
    if (holdsAnyCell(*sheet)) {
        refuse(
            table.hasRange
                ? QStringLiteral("The sheet '%1' holds data: empty it with DROP TABLE first")
                      .arg(sheet->name)
                : QStringLiteral("The workbook already has a sheet named '%1'").arg(sheet->name));
    }
    takeOriginal(index);
    returnLentRows(index);
    // A column without a name was given to the reader as F and its number; the header it had,
    // an empty cell, is what goes back.
    if (index < m_original.size() && m_original[index].taken && !m_original[index].rows.empty()) {
        const auto& before = m_original[index].rows.front();
        for (size_t c = 0; c < header.size(); ++c) {
            if ((c >= before.size() || before[c].isEmpty()) &&
                header[c] == QStringLiteral("F%1").arg(c + 1)) {
                header[c].clear();
            }
        }
    }
    m_changed = true;
    m_book.sheets[index].rows.clear();
    m_book.sheets[index].rows.push_back(std::move(header));
    m_insertTargetValid = false;
}

void XlsWorkbookStore::update(const StoreStatement& statement) {
    const TableName table = splitTableName(sqlquote::unquoteName(statement.table));
    if (table.hasRange) {
        refuse(QStringLiteral("UPDATE takes the bare sheet name: [%1]").arg(table.sheet));
    }
    size_t index = 0;
    if (!findSheet(table.sheet, &index)) {
        refuse(QStringLiteral("The workbook %1 has no sheet '%2'").arg(shown(m_path), table.sheet));
    }

    auto resolveAll = [&](const std::vector<QStringView>& quotedNames,
                          const std::vector<QStringView>& quotedValues,
                          std::vector<std::pair<size_t, QString>>& pairs) {
        for (size_t i = 0; i < quotedNames.size(); ++i) {
            const QString name = sqlquote::unquoteName(quotedNames[i]);
            const int column = resolveColumn(m_book.sheets[index], name);
            if (column < 0) {
                refuse(QStringLiteral("The sheet '%1' has no column '%2'").arg(table.sheet, name));
            }
            QString value = sqlquote::unquoteValue(quotedValues[i]);
            checkText(value);
            pairs.emplace_back(static_cast<size_t>(column), std::move(value));
        }
    };
    std::vector<std::pair<size_t, QString>> assignments;
    std::vector<std::pair<size_t, QString>> conditions;
    resolveAll(statement.columns, statement.values, assignments);
    resolveAll(statement.whereColumns, statement.whereValues, conditions);
    for (size_t i = 0; i < assignments.size(); ++i) {
        for (size_t j = i + 1; j < assignments.size(); ++j) {
            if (assignments[i].first == assignments[j].first) {
                refuse(QStringLiteral("A column is set twice"));
            }
        }
    }

    auto cellOf = [](const std::vector<QString>& row, size_t column) {
        return column < row.size() ? QStringView(row[column]) : QStringView();
    };
    std::vector<size_t> matching;
    const auto& rows = m_book.sheets[index].rows;
    for (size_t r = 1; r < rows.size(); ++r) {
        bool matches = true;
        for (const auto& [column, value] : conditions) {
            matches = matches && cellOf(rows[r], column) == value;
        }
        if (matches) {
            matching.push_back(r);
        }
    }
    if (matching.empty()) {
        return;
    }
    takeOriginal(index);
    m_changed = true;
    m_insertTargetValid = false;
    auto& changing = m_book.sheets[index].rows;
    for (const size_t r : matching) {
        keepOriginalRow(index, r);
        auto& row = changing[r];
        for (const auto& [column, value] : assignments) {
            if (row.size() <= column) {
                row.resize(column + 1);
            }
            row[column] = value;
        }
    }
}
