#pragma once

#include <QByteArray>
#include <vector>

namespace xls {

// Returns the "Workbook" stream of a compound file (or the "Book" stream of one without it)
// (versions 3 and 4, regular or mini stream). Every sector number, chain and size is checked
// against the file, so damaged input ends in FormatError, never in a read outside the file or an
// endless chain. Throws FormatError naming what the file is instead when it is no Excel 97-2003
// workbook. The result may share the bytes of `file` (a stream in consecutive sectors is not
// copied), so it must not outlive it.
QByteArray readWorkbookStream(const QByteArray& file);

// Everything a compound file holds, so that it can be written again with a new Workbook
// stream: the directory entries as stored (names, types, the tree, class ids, times) and the
// content of every other stream. Storages and the streams inside them are entries like the
// others.
struct CompoundContent {
    QByteArray workbook;
    int workbookEntry = -1;
    std::vector<QByteArray> entries; // 128 bytes each, in directory order
    std::vector<QByteArray> streams; // by entry; empty for all but streams (and the workbook)
    QByteArray header;               // the file's first 512 bytes, as stored
};
CompoundContent readCompoundContent(const QByteArray& file);

} // namespace xls
