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
// A genuine workbook stores each cell in a record of 10 bytes or more, so its slots stay well
// below its size in bytes; the fixed part covers small files with a few cells far down or far
// right. A sheet that reaches its last row costs 65,536 row slots however few cells it has.
constexpr qsizetype kBudgetFixedSlots = qsizetype{4} * kMaxRows;
constexpr qsizetype kBudgetSlotsPerStreamByte = 8;
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
    void chargeSheetBytes(qsizetype count);
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
        if (size > items.size())
            items.resize(size);
    }

private:
    qsizetype slotsLeft;
    qsizetype sheetBytesLeft;
    int sheetsLeft = kMaxSheets;
};

} // namespace xls
