#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// Delimited text files hold 16-bit little-endian characters without a byte-order mark, every
// line ended by CR LF.
namespace textfilecodec {

QByteArray encodeLines(const QStringList& lines);

// Splits at CR LF only (a lone CR or LF stays inside its line); the line ends are not part of
// the lines, and a final CR LF does not start another line. A byte-order mark that another
// program put first is dropped, and an odd last byte is ignored.
QStringList decodeLines(QByteArrayView bytes);

} // namespace textfilecodec
