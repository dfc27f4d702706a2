#pragma once

#include "spreadsheet/xls/cfbreader.h"

#include <QByteArray>

namespace xls {

// Writes a compound file (version 3, 512-byte sectors) with the directory of `original` and the
// content of all its streams, the Workbook stream replaced by `workbookStream`. Names, the
// directory tree, class ids, state bits and times stay as they were; only where each stream
// lies is new. Streams under 4,096 bytes go to the mini stream as the format wants, except the
// Workbook stream, which is padded to that size like the one the program writes itself.
QByteArray rewriteCompoundFile(const CompoundContent& original, const QByteArray& workbookStream);

} // namespace xls
