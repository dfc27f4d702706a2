#pragma once

#include "spreadsheet/workbookstore.h"
#include "spreadsheet/xls/xlsbook.h"
#include "spreadsheet/xlsstoredetail.h"

#include <QStringList>
#include <algorithm>
#include <cstdint>

namespace xlsstore {

// The rows of a SELECT over a whole sheet: the columns of the used range, named by row 1 (a
// blank name becomes F and its column number), then the rows below it. The cells are lent
// from the sheet, which outlives the result.
class SheetResult : public WorkbookResult {
public:
    explicit SheetResult(const xls::Sheet& sheet) : m_sheet(sheet) {
        int width = 0;
        size_t usedRows = 0;
        for (size_t r = 0; r < sheet.rows.size(); ++r) {
            const auto& row = sheet.rows[r];
            for (int c = static_cast<int>(row.size()) - 1; c >= 0; --c) {
                if (!row[static_cast<size_t>(c)].isEmpty()) {
                    width = std::max(width, c + 1);
                    usedRows = r + 1;
                    break;
                }
            }
        }
        m_usedRows = usedRows;
        const std::vector<QString> none;
        const auto& header = sheet.rows.empty() ? none : sheet.rows.front();
        for (int c = 0; c < width; ++c) {
            const size_t at = static_cast<size_t>(c);
            m_names.append(at < header.size() && !header[at].isEmpty()
                               ? header[at]
                               : QStringLiteral("F%1").arg(c + 1));
        }
    }

    int columnCount() const override { return static_cast<int>(m_names.size()); }
    qsizetype rowCountHint() const override {
        return m_usedRows > 1 ? static_cast<qsizetype>(m_usedRows - 1) : 0;
    }
    QString columnName(int column) const override { return m_names.value(column); }
    bool atEnd() const override { return m_row >= m_usedRows; }
    QString value(int column) const override {
        const QString* cell = cellAt(column);
        return cell ? *cell : QString();
    }
    size_t viewRow(std::vector<QStringView>& cells, std::vector<QString>&) const override {
        if (atEnd()) {
            throw WorkbookStatementError(toMessage(kDriverPrefix + "No current row\n"));
        }
        const auto& row = m_sheet.rows[m_row];
        const size_t held = std::min(row.size(), cells.size());
        for (size_t column = 0; column < held; ++column) {
            cells[column] = row[column];
        }
        // Past this row's end only what the row before lent needs clearing.
        const size_t lent = std::min(m_lentColumns, cells.size());
        if (lent > held) {
            std::fill(cells.begin() + qsizetype(held), cells.begin() + qsizetype(lent),
                      QStringView());
        }
        m_lentColumns = held;
        return held;
    }
    void moveNext() override {
        if (!atEnd()) {
            ++m_row;
        }
    }

private:
    // Null for a cell beyond the end of its row.
    const QString* cellAt(int column) const {
        if (atEnd() || column < 0) {
            throw WorkbookStatementError(toMessage(kDriverPrefix + "No current row\n"));
        }
        const auto& row = m_sheet.rows[m_row];
        const size_t at = static_cast<size_t>(column);
        return at < row.size() ? &row[at] : nullptr;
    }

    const xls::Sheet& m_sheet;
    QStringList m_names;
    size_t m_usedRows = 0;
    size_t m_row = 1; // row 1 holds the names
    // Columns of the caller's vector that the last viewRow may have filled: at first, all.
    mutable size_t m_lentColumns = SIZE_MAX;
};

} // namespace xlsstore
