#pragma once

#include <QByteArray>

namespace xls {

// Builds a compound file (version 3, 512-byte sectors) whose only stream is "Workbook".
// Streams under 4,096 bytes would belong in the mini stream, so a shorter stream is padded
// with zero bytes to that size; readers stop at the BIFF EOF record and ignore the padding.
QByteArray writeCompoundFile(const QByteArray& workbookStream);

// The same for a stream that already sits in `file` after 512 bytes of room for the header;
// the directory and allocation tables are appended in place.
QByteArray finishCompoundFile(QByteArray file);

constexpr int kCompoundHeaderRoom = 512;

} // namespace xls
