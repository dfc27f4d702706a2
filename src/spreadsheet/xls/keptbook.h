#pragma once

#include "spreadsheet/xls/cfbreader.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace xls {

// A record of the Workbook stream as read: where it starts and how many bytes it takes with its
// 4-byte header.
struct RecordSpan {
    uint16_t type = 0;
    qsizetype position = 0;
    qsizetype size = 0;
};

// One entry of the workbook's sheet list and the substream it points to.
struct SheetLayout {
    QString name;
    size_t boundSheet = 0; // index of its BOUNDSHEET record among the globals
    qsizetype begin = 0;   // the substream, BOF to EOF inclusive
    qsizetype end = 0;
    int textSheet = -1; // the sheet of Book::sheets read from it; -1 for charts and the like
};

// The records of a workbook file as they were read, so that a write-back can copy what the
// program did not change record for record (the way of a read-modify-write library: keep what
// is not understood, re-encode only what was changed, recompute positions).
struct BookLayout {
    QByteArray file;                 // the file as read: the streams below may share its bytes
    CompoundContent compound;        // compound.workbook is the Workbook stream
    std::vector<RecordSpan> globals; // BOF to EOF of the workbook globals
    std::vector<SheetLayout> sheets; // in sheet order
    // Why the file cannot be written back keeping what it holds; empty when it can.
    QString problem;
};

struct KeptBook {
    Book book;
    std::shared_ptr<const BookLayout> layout;
};

// Reads a whole .xls file like parse(), keeping its records. Throws FormatError like parse().
KeptBook parseKeeping(const QByteArray& file);

// What became of one sheet of Book::sheets since it was read.
struct SheetChange {
    bool changed = false;
    // The sheet's rows as read (changed sheets only): cells whose text is still the same keep
    // the record they were read from.
    const std::vector<std::vector<QString>>* originalRows = nullptr;
    // Rows of originalRows that the sheet holds unchanged in their place (their entry in
    // originalRows is empty): by row, may be shorter than the sheet or null.
    const std::vector<bool>* lentRows = nullptr;
};

// The Workbook stream of `book`, which was read with `layout`: unchanged sheets, the globals and
// every record of a changed sheet that holds no cell are copied as read; a changed sheet's cells
// whose text is the same as read keep their records, other cells become text cells. Sheets
// beyond those of the layout are new. Throws FormatError, naming the sheet and the reason, when
// something cannot be carried over safely.
// The stream comes in pieces, in order: the globals, then the sheets. Long stretches of sheets
// that are the same as read share the bytes of `layout`, which must outlive the pieces.
std::vector<QByteArray> writeKeptStream(const BookLayout& layout, const Book& book,
                                        const std::vector<SheetChange>& changes);

} // namespace xls
