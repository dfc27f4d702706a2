#pragma once

#include "spreadsheet/xls/xlsbook.h"

#include <QByteArray>

namespace xls {

// Writes the book as a BIFF8 Workbook stream: the workbook globals (fonts, formats, the sheet
// list and the shared strings), then one worksheet substream per sheet whose cells are all
// text (LABELSST). The book must have passed checkWritable. The stream starts after
// `headerRoom` zero bytes.
QByteArray writeWorkbookStream(const Book& book, qsizetype headerRoom = 0);

} // namespace xls
