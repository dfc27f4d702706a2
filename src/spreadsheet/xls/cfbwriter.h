#pragma once

#include <QByteArray>

namespace xls {

// Builds a compound file (version 3, 512-byte sectors) whose only stream is "Workbook".
// Streams under 4,096 bytes would belong in the mini stream, so a shorter stream is padded
// with zero bytes to that size; readers stop at the BIFF EOF record and ignore the padding.
QByteArray writeCompoundFile(const QByteArray& workbookStream);

} // namespace xls
