#pragma once

#include <QByteArray>

namespace xls {

// Returns the "Workbook" stream of a compound file (versions 3 and 4, regular or mini
// stream). Every sector number, chain and size is checked against the file, so damaged input
// ends in FormatError, never in a read outside the file or an endless chain.
// Throws FormatError naming what the file is instead when it is no Excel 97-2003 workbook.
// The result may share the bytes of `file` (a stream in consecutive sectors is not copied),
// so it must not outlive it.
QByteArray readWorkbookStream(const QByteArray& file);

} // namespace xls
