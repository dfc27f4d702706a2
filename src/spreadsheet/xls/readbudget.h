#pragma once

#include "spreadsheet/xls/xlsbook.h"

#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <vector>

namespace xls {

// What reading one workbook may cost, so that damaged or crafted input costs no more than a
// genuine workbook of its size. Every slot the reader allocates for the book (a cell's text or
// a row's list of cells, 24 bytes each) is charged before it is allocated and never given back,
// so the budget bounds the work of a read as well as its memory.
//
// A genuine workbook stores each cell in a record of 10 bytes or more, and a day's workbook
// takes about one slot per 12 bytes, so one slot per byte leaves room for sparse sheets while
// keeping what a crafted file can cost near what reading a genuine one of its size costs. The
// fixed part lets a small file reach the last row and column of two sheets (a sheet that
// reaches its last row costs 65,536 row slots however few cells it has).
constexpr qsizetype kBudgetFixedSlots = qsizetype{2} * (kMaxRows + kMaxColumns);
constexpr qsizetype kBudgetSlotsPerStreamByte = 1;
// Two full 65,536 x 256 sheets: far beyond any workbook this program handles.
constexpr qsizetype kDefaultMaxSlots = qsizetype{2} * kMaxRows * kMaxColumns;
// Excel sets no limit but memory; LibreOffice holds at most 10,000 sheets.
constexpr int kMaxSheets = 10000;

class ReadBudget {
public:
    // maxSlots caps the size-derived slot budget; tests use it to count what a read costs.
    ReadBudget(qsizetype streamBytes, qsizetype maxSlots);

    // Throws FormatError when `count` more slots would exceed the budget.
    void chargeSlots(qsizetype count);
    // Sheets do not overlap, so together they span at most the stream. Throws FormatError when
    // BOUNDSHEET records point into one another's sheets and so would read them again.
    void chargeSheetBytes(qsizetype count) {
        // Inline: it is charged for every record of every sheet.
        if (count > m_sheetBytesLeft) {
            failOverlappingSheets();
        }
        m_sheetBytesLeft -= count;
    }
    // Throws FormatError for the sheet beyond kMaxSheets.
    void countSheet();

    // Grows `items` to `size` entries, charging the capacity it allocates. Grows at least
    // geometrically, so a row that gains one cell at a time is not copied again each time,
    // but never beyond `limit` entries, the most the format can address.
    template <typename T> void grow(std::vector<T>& items, size_t size, size_t limit) {
        if (size > items.capacity()) {
            const size_t capacity = std::max(size, std::min(2 * items.capacity(), limit));
            chargeSlots(static_cast<qsizetype>(capacity - items.capacity()));
            items.reserve(capacity);
        }
        if (size > items.size()) {
            items.resize(size);
        }
    }

private:
    [[noreturn]] static void failOverlappingSheets();

    qsizetype m_slotsLeft;
    qsizetype m_sheetBytesLeft;
    int m_sheetsLeft = kMaxSheets;
};

} // namespace xls
