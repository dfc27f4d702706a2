#pragma once

#include "spreadsheet/xls/readbudget.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QByteArray>

namespace xls {

// Reads the worksheets of a BIFF8 Workbook stream, in workbook order, with the text of every
// cell: shared and inline strings, numbers (see numberText), booleans ("TRUE", "FALSE"),
// error values ("#DIV/0!" and so on) and the cached results of formulas. Chart sheets, macro
// sheets and Visual Basic modules are left out. Encrypted workbooks and BIFF versions other
// than BIFF8 end in FormatError.
//
// Damaged input must not cost more than a genuine workbook of its size (see ReadBudget): the
// slots the sheets take, rows and cells alike (a cell in column 256 makes a row of 256 slots,
// a cell in row 65,536 a sheet of 65,536 rows), are charged as they are allocated, up to
// maxSlots for the whole book. More than kMaxSheets sheets are refused.
Book readWorkbook(const QByteArray& stream, qsizetype maxSlots = kDefaultMaxSlots);

} // namespace xls
