#include "spreadsheet/xlsworkbookstore.h"

// The sheets as they were at connect, kept while statements change them, and the comparison
// that tells which sheets a connection changed.

void XlsWorkbookStore::takeOriginal(size_t sheet, bool emptying) {
    if (m_original.size() < m_book.sheets.size()) {
        m_original.resize(m_book.sheets.size());
    }
    OriginalSheet& original = m_original[sheet];
    auto& rows = m_book.sheets[sheet].rows;
    if (original.taken || sheet >= m_sheetsAtConnect) {
        if (emptying) {
            returnLentRows(sheet);
            rows.clear();
        }
        return;
    }
    original.taken = true;
    if (emptying) {
        // A sheet being emptied gives its rows away instead of copying them.
        const size_t held = rows.size();
        original.rows = std::move(rows);
        rows = {};
        rows.reserve(held);
    } else {
        // Every row that holds cells is lent: a statement copies back only the rows it changes
        // (keepOriginalRow), so a change of one cell does not copy the whole sheet.
        original.rows.resize(rows.size());
        original.lent.assign(rows.size(), false);
        for (size_t r = 0; r < rows.size(); ++r) {
            original.lent[r] = !rows[r].empty();
        }
    }
}

void XlsWorkbookStore::keepOriginalRow(size_t sheet, size_t row) {
    if (sheet >= m_original.size()) {
        return;
    }
    OriginalSheet& original = m_original[sheet];
    if (row < original.lent.size() && original.lent[row]) {
        original.rows[row] = m_book.sheets[sheet].rows[row];
        original.lent[row] = false;
    }
}

void XlsWorkbookStore::returnLentRows(size_t sheet) {
    if (sheet >= m_original.size()) {
        return;
    }
    OriginalSheet& original = m_original[sheet];
    auto& rows = m_book.sheets[sheet].rows;
    for (size_t r = 0; r < original.lent.size(); ++r) {
        if (original.lent[r]) {
            original.rows[r] = std::move(rows[r]);
            rows[r] = {};
        }
    }
    original.lent.clear();
}

namespace {

// Rows equal but for empty cells at the end of a row and empty rows at the end of the sheet,
// which hold nothing. Rows that `a` lent to `b` are the same.
bool sameRows(const std::vector<std::vector<QString>>& a,
              const std::vector<std::vector<QString>>& b, const std::vector<bool>& lent) {
    auto usedWidth = [](const std::vector<QString>& row) {
        size_t width = row.size();
        while (width > 0 && row[width - 1].isEmpty()) {
            --width;
        }
        return width;
    };
    static const std::vector<QString> none;
    const size_t rows = std::max(a.size(), b.size());
    for (size_t r = 0; r < rows; ++r) {
        if (r < lent.size() && lent[r]) {
            continue;
        }
        const auto& rowA = r < a.size() ? a[r] : none;
        const auto& rowB = r < b.size() ? b[r] : none;
        const size_t width = usedWidth(rowA);
        if (width != usedWidth(rowB)) {
            return false;
        }
        for (size_t c = 0; c < width; ++c) {
            const QString& x = rowA[c];
            const QString& y = rowB[c];
            if (x.size() != y.size() || (x.constData() != y.constData() && x != y)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool XlsWorkbookStore::collectChanges(std::vector<xls::SheetChange>& changes) const {
    changes.assign(m_book.sheets.size(), {});
    bool any = false;
    for (size_t i = 0; i < m_book.sheets.size(); ++i) {
        if (i >= m_sheetsAtConnect) {
            changes[i].changed = true;
            any = true;
        } else if (i < m_original.size() && m_original[i].taken &&
                   !sameRows(m_original[i].rows, m_book.sheets[i].rows, m_original[i].lent)) {
            changes[i].changed = true;
            changes[i].originalRows = &m_original[i].rows;
            changes[i].lentRows = &m_original[i].lent;
            any = true;
        }
    }
    return any;
}
