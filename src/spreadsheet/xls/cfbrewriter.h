#pragma once

#include "spreadsheet/xls/cfbreader.h"

#include <QByteArray>
#include <vector>

namespace xls {

// Writes a compound file (version 3, 512-byte sectors) with the directory of `original` and the
// content of all its streams, the Workbook stream replaced by `workbookStream`. Names, the
// directory tree, class ids, state bits and times stay as they were; only where each stream
// lies is new. Streams under 4,096 bytes go to the mini stream as the format wants, except the
// Workbook stream, which is padded to that size like the one the program writes itself.
// The stream and the file come in pieces, in order, so that a large workbook is not copied
// into one buffer on the way.
std::vector<QByteArray> rewriteCompoundFile(const CompoundContent& original,
                                            const std::vector<QByteArray>& workbookStream);

} // namespace xls
