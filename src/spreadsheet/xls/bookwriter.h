#pragma once

#include "spreadsheet/xls/xlsbook.h"

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <functional>
#include <vector>

namespace xls {

struct SheetPlan;

// The BIFF8 Workbook stream of a book: the workbook globals (fonts, formats, the sheet list and
// the shared strings), then one worksheet substream per sheet whose cells are all text
// (LABELSST). Planned in full at construction, so that its size is known before its first byte
// and its sheets can be written out a block of rows at a time. The book must have passed
// checkWritable and must not change while the stream is written.
class WorkbookStreamWriter {
public:
    // Takes a piece of the stream; false when it could not be kept.
    using PieceWriter = std::function<bool(QByteArrayView piece)>;

    explicit WorkbookStreamWriter(const Book& book);
    ~WorkbookStreamWriter();
    WorkbookStreamWriter(const WorkbookStreamWriter&) = delete;
    WorkbookStreamWriter& operator=(const WorkbookStreamWriter&) = delete;

    qsizetype size() const { return m_totalBytes; }
    // Hands the stream to `write` in pieces, in order; stops with false when `write` fails.
    [[nodiscard]] bool writeTo(const PieceWriter& write) const;

private:
    const Book& m_book;
    std::vector<SheetPlan> m_plans;
    std::vector<uint32_t> m_cellStrings; // the shared string of every cell, in writing order
    QByteArray m_globals;
    qsizetype m_totalBytes = 0;
};

// The whole stream in memory.
QByteArray writeWorkbookStream(const Book& book);

} // namespace xls
