#pragma once

#include "spreadsheet/xls/xlsbook.h"

#include <QByteArray>

namespace xls {

// Reads the worksheets of a BIFF8 Workbook stream, in workbook order, with the text of every
// cell: shared and inline strings, numbers (see numberText), booleans ("TRUE", "FALSE"),
// error values ("#DIV/0!" and so on) and the cached results of formulas. Chart sheets, macro
// sheets and Visual Basic modules are left out. Encrypted workbooks and BIFF versions other
// than BIFF8 end in FormatError.
Book readWorkbook(const QByteArray& stream);

} // namespace xls
