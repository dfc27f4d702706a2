#pragma once

#include "spreadsheet/xls/xlsbook.h"

#include <QString>

namespace xls {

// Throws FormatError when the book cannot be written as an Excel 97-2003 workbook: no sheet,
// a sheet name Excel refuses, a text cell beyond 65,536 rows or 256 columns, or a cell of more
// than 32,767 characters. Empty cells beyond the limits are not written and so allowed.
void checkWritable(const Book& book);

// "A1"-style name of a cell, for messages; row and column count from 0.
QString cellName(int row, int column);

} // namespace xls
