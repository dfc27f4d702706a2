#pragma once

#include "spreadsheet/xls/xlsbook.h"

#include <QByteArray>

namespace xls {

// Reads the worksheets of a BIFF8 Workbook stream, in workbook order, with the text of every
// cell: shared and inline strings, numbers (see numberText), booleans ("TRUE", "FALSE"),
// error values ("#DIV/0!" and so on) and the cached results of formulas. Chart sheets, macro
// sheets and Visual Basic modules are left out. Encrypted workbooks and BIFF versions other
// than BIFF8 end in FormatError.
//
// Damaged input must not cost more than a genuine workbook: the cell slots held in rows (a
// cell in column 256 makes a row of 256 slots) are limited to maxCellSlots over the whole
// book, two full 65,536 x 256 sheets by default, which is far beyond any workbook this
// program handles.
constexpr qsizetype kDefaultMaxCellSlots = qsizetype{2} * xls::kMaxRows * xls::kMaxColumns;
Book readWorkbook(const QByteArray& stream, qsizetype maxCellSlots = kDefaultMaxCellSlots);

} // namespace xls
