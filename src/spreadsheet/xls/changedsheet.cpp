#include "spreadsheet/xls/changedsheet.h"
#include "spreadsheet/xls/biffrecords.h"
#include "spreadsheet/xls/keptrecords.h"
#include "spreadsheet/xls/keptsheet.h"

#include <algorithm>
#include <array>

namespace xls::kept {

using namespace xls::biff;

namespace {

QString cellName(int row, int column) {
    QString letters;
    if (column >= 26) {
        letters.append(QChar(u'A' + column / 26 - 1));
    }
    letters.append(QChar(u'A' + column % 26));
    return letters + QString::number(row + 1);
}

QStringView textAt(const std::vector<QString>& row, size_t column) {
    return column < row.size() ? QStringView(row[column]) : QStringView();
}

QStringView textAt(const Rows& rows, size_t row, size_t column) {
    return row < rows.size() ? textAt(rows[row], column) : QStringView();
}

// Copies of one text share their characters; only texts that do not are compared.
bool sameText(QStringView a, QStringView b) {
    return a.size() == b.size() && (a.data() == b.data() || a == b);
}

// In row and column order; cells of one place keep the order they were read in.
void sortByPlace(std::vector<CellUnit>& units) {
    const auto before = [](const CellUnit& a, const CellUnit& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    if (!std::is_sorted(units.begin(), units.end(), before)) {
        std::stable_sort(units.begin(), units.end(), before);
    }
}

} // namespace

bool ChangedSheetWriter::copiesAsRead(const ReadBlock& stretch) const {
    // The INDEX of a sheet that has one points at the DBCELL that ends each block.
    const bool dbCellsFit =
        m_hasIndex ? stretch.dbCells == 1 && stretch.endsWithDbCell : stretch.dbCells == 0;
    return stretch.extent.hasRows() && dbCellsFit;
}

bool ChangedSheetWriter::rowUnchanged(size_t r) const {
    if (m_lent && r < m_lent->size() && (*m_lent)[r]) {
        return true;
    }
    static const std::vector<QString> none;
    const std::vector<QString>& now = r < m_sheet.rows.size() ? m_sheet.rows[r] : none;
    const std::vector<QString>& before = r < m_original.size() ? m_original[r] : none;
    const size_t width = std::max(now.size(), before.size());
    for (size_t c = 0; c < width; ++c) {
        if (!sameText(textAt(now, c), textAt(before, c))) {
            return false;
        }
    }
    return true;
}

void ChangedSheetWriter::planBlocks() {
    const size_t currentRows = std::min(m_sheet.rows.size(), size_t(kMaxRows));
    const int lastCurrentBlock = int((currentRows + kRowsPerBlock - 1) / kRowsPerBlock) - 1;
    if (!m_inBlockOrder) {
        // Cells in no order a writer of row blocks would choose: the whole table is taken apart
        // and put in order, and no block is copied as read.
        m_rowRecords.assign(size_t(kMaxRows), -1);
        for (const ReadBlock& stretch : m_readBlocks) {
            collect(stretch, m_units, m_rowRecords.data(), 0);
        }
        sortByPlace(m_units);
        size_t unit = 0;
        for (int b = 0; b < kBlocks; ++b) {
            const size_t from = unit;
            while (unit < m_units.size() && m_units[unit].row / kRowsPerBlock == b) {
                ++unit;
            }
            const size_t firstRow = size_t(b) * kRowsPerBlock;
            writeBlock(firstRow, m_units.data() + from, unit - from,
                       m_rowRecords.data() + firstRow);
        }
        return;
    }
    const int lastBlock =
        std::max(lastCurrentBlock, m_readBlocks.empty() ? -1 : int(m_readBlocks.back().block));
    m_rowRecords.resize(kRowsPerBlock);
    size_t next = 0;
    for (int b = 0; b <= lastBlock; ++b) {
        size_t end = next;
        while (end < m_readBlocks.size() && m_readBlocks[end].block == b) {
            ++end;
        }
        const size_t firstRow = size_t(b) * kRowsPerBlock;
        if (end == next && b > lastCurrentBlock) {
            continue;
        }
        // A block in one stretch, as read, with the rows it holds as they were read.
        bool unchanged = end == next + 1 && copiesAsRead(m_readBlocks[next]);
        for (size_t r = firstRow; unchanged && r < firstRow + kRowsPerBlock; ++r) {
            unchanged = rowUnchanged(r);
        }
        if (unchanged) {
            m_plans.push_back({int(next), 0, 0, -1});
            m_extent.add(m_readBlocks[next].extent);
            next = end;
            continue;
        }
        m_units.clear();
        std::fill(m_rowRecords.begin(), m_rowRecords.end(), -1);
        for (; next < end; ++next) {
            collect(m_readBlocks[next], m_units, m_rowRecords.data(), firstRow);
        }
        sortByPlace(m_units);
        writeBlock(firstRow, m_units.data(), m_units.size(), m_rowRecords.data());
    }
}

// The cells of one row as written: those as read whose text is unchanged and text cells for
// the others, in column order.
void ChangedSheetWriter::planRow(size_t r, uint16_t rowXf, const CellUnit* units, size_t unitsBegin,
                                 size_t unitsEnd) {
    const Rows& current = m_sheet.rows;
    PlannedRow planned;
    planned.row = static_cast<uint16_t>(r);
    planned.firstCell = m_cells.size();
    if (rowUnchanged(r)) {
        planned.keptAsRead = true;
        planned.firstCell = unitsBegin;
        planned.cellCount = unitsEnd - unitsBegin;
        if (planned.cellCount > 0) {
            planned.firstColumn = units[unitsBegin].column;
            planned.endColumn = static_cast<uint16_t>(units[unitsEnd - 1].column + 1);
        }
        m_rows.push_back(planned);
        return;
    }
    const size_t width = r < current.size() ? std::min(current[r].size(), size_t(kMaxColumns)) : 0;
    size_t k = unitsBegin;
    size_t c = 0;
    for (;;) {
        while (c < width &&
               (current[r][c].isEmpty() || sameText(current[r][c], textAt(m_original, r, c)))) {
            ++c;
        }
        while (k < unitsEnd) {
            const CellUnit& unit = units[k];
            if (sameText(textAt(current, r, unit.column), textAt(m_original, r, unit.column))) {
                break;
            }
            if (unit.sharedFormula) {
                fail(QStringLiteral("the sheet \"%1\" has a shared or array formula in cell %2, "
                                    "which the write-back would change")
                         .arg(m_sheet.name, cellName(int(r), unit.column)));
            }
            ++k;
        }
        const bool haveUnit = k < unitsEnd;
        const bool haveNew = c < width;
        if (!haveUnit && !haveNew) {
            break;
        }
        if (haveUnit && (!haveNew || units[k].column < c)) {
            m_cells.push_back({units[k].column, units[k].xf, int32_t(k), 0});
            ++k;
        } else {
            // The new text keeps the format of the cell it replaces, or takes its column's or
            // row's.
            uint16_t xf = c < m_columnXf.size() && m_columnXf[c] != kNoXf ? m_columnXf[c] : rowXf;
            for (size_t m = unitsBegin; m < unitsEnd; ++m) {
                if (units[m].column == c) {
                    xf = units[m].xf;
                }
            }
            m_cells.push_back({static_cast<uint16_t>(c), xf, -1, m_strings.add(current[r][c])});
            ++c;
        }
    }
    planned.cellCount = m_cells.size() - planned.firstCell;
    if (planned.cellCount > 0) {
        planned.firstColumn = m_cells[planned.firstCell].column;
        planned.endColumn = static_cast<uint16_t>(m_cells.back().column + 1);
    }
    m_rows.push_back(planned);
}

// The format a ROW record gives its empty cells, when it gives one.
uint16_t ChangedSheetWriter::rowFormat(qsizetype rowRecord) const {
    if (rowRecord < 0) {
        return m_formats.fallback;
    }
    const char* d = m_stream.constData() + rowRecord + kRecordHeader;
    const uint16_t xf = bytes::u16(d + row::kXf) & row::kXfMask;
    const bool given = (bytes::u16(d + row::kFlags) & row::kGhostDirty) != 0;
    return given && xf < m_formats.count ? xf : m_formats.fallback;
}

// Writes one row block into m_written: its ROW records, its cells, and a DBCELL when the sheet
// has an INDEX. units are the block's cells as read in row and column order.
void ChangedSheetWriter::writeBlock(size_t firstRow, const CellUnit* units, size_t unitCount,
                                    const qsizetype* rowRecords) {
    m_rows.clear();
    m_cells.clear();
    size_t u = 0;
    for (size_t r = firstRow; r < firstRow + kRowsPerBlock && r < size_t(kMaxRows); ++r) {
        const size_t unitsBegin = u;
        while (u < unitCount && units[u].row == r) {
            ++u;
        }
        const size_t before = m_rows.size();
        planRow(r, rowFormat(rowRecords[r - firstRow]), units, unitsBegin, u);
        if (m_rows.back().cellCount == 0 && rowRecords[r - firstRow] < 0) {
            m_rows.resize(before);
        }
    }
    if (m_rows.empty()) {
        return;
    }
    const qsizetype blockAt = m_written.size();
    appendRowRecords(firstRow, rowRecords);
    appendCells(units);
    BlockPlan plan{-1, blockAt, 0, -1};
    if (m_hasIndex) {
        plan.dbCell = m_written.size() - blockAt;
        appendDbCell(blockAt);
    }
    plan.end = m_written.size();
    m_plans.push_back(plan);
}

// The ROW records of the rows planned, as read where there was one.
void ChangedSheetWriter::appendRowRecords(size_t firstRow, const qsizetype* rowRecords) {
    QByteArray& out = m_written;
    for (const PlannedRow& row : m_rows) {
        const qsizetype kept = rowRecords[row.row - firstRow];
        const qsizetype at = out.size();
        if (kept >= 0) {
            // Bytes past the 16 a ROW record holds mean nothing; every ROW record written is 20
            // bytes long, as the DBCELL of the block counts them.
            appendRecordHeader(out, kRow, 16);
            out.append(m_stream.constData() + kept + kRecordHeader, 16);
        } else {
            char record[kRowRecordBytes];
            putRow(record, row.row, 0, 0, m_formats.fallback);
            out.append(record, kRowRecordBytes);
        }
        char* p = out.data() + at + kRecordHeader;
        bytes::put16(p + row::kFirstColumn, row.firstColumn);
        bytes::put16(p + row::kEndColumn, row.endColumn);
        m_extent.addRow(row.row);
        if (row.cellCount > 0) {
            m_extent.addCells(row.row, row.firstColumn, row.endColumn);
        }
    }
}

// The cells of the rows planned, noting where each row's cells start.
void ChangedSheetWriter::appendCells(const CellUnit* units) {
    QByteArray& out = m_written;
    m_firstCellAt.clear();
    // Cells kept in a row are mostly one stretch of the sheet as read: copied in one go.
    qsizetype pendingBegin = 0;
    qsizetype pendingEnd = 0;
    auto flush = [&] {
        out.append(m_stream.constData() + pendingBegin, pendingEnd - pendingBegin);
        pendingBegin = pendingEnd = 0;
    };
    for (const PlannedRow& row : m_rows) {
        m_firstCellAt.push_back(out.size() + (pendingEnd - pendingBegin));
        for (size_t c = row.firstCell; c < row.firstCell + row.cellCount; ++c) {
            const OutCellEntry cell =
                row.keptAsRead ? OutCellEntry{units[c].column, units[c].xf, int32_t(c), 0}
                               : m_cells[c];
            if (cell.unit >= 0 && units[cell.unit].kind == CellUnit::Span) {
                const CellUnit& unit = units[cell.unit];
                if (unit.begin != pendingEnd) {
                    flush();
                    pendingBegin = unit.begin;
                }
                pendingEnd = unit.begin + unit.size;
                continue;
            }
            flush();
            if (cell.unit < 0) {
                char record[kLabelSstRecordBytes];
                putLabelSst(record, row.row, cell.column, cell.xf, cell.string);
                out.append(record, sizeof record);
                continue;
            }
            const CellUnit& unit = units[cell.unit];
            const bool rk = unit.kind == CellUnit::Rk;
            appendRecordHeader(out, rk ? kRk : kBlank, rk ? 10 : 6);
            bytes::append16(out, unit.row);
            bytes::append16(out, unit.column);
            bytes::append16(out, unit.xf);
            if (rk) {
                bytes::append32(out, unit.size);
            }
        }
    }
    flush();
}

// The DBCELL that ends the block written from blockAt.
void ChangedSheetWriter::appendDbCell(qsizetype blockAt) {
    QByteArray& out = m_written;
    const qsizetype at = out.size();
    appendRecordHeader(out, kDbCell,
                       static_cast<uint16_t>(dbcell::kCellOffsets + 2 * m_rows.size()));
    static_assert(dbcell::kFirstRowOffset == 0);
    bytes::append32(out, static_cast<uint32_t>(at - blockAt));
    qsizetype from = blockAt + kRowRecordBytes;
    for (const qsizetype cellAt : m_firstCellAt) {
        bytes::append16(out, static_cast<uint16_t>(cellAt - from));
        from = cellAt;
    }
}

void ChangedSheetWriter::writeDimensions(QByteArray& out) const {
    const bool any = m_extent.hasCells();
    char record[kDimensionsRecordBytes];
    putDimensions(record, any ? m_extent.firstCellRow : 0, any ? m_extent.endCellRow : 0,
                  any ? m_extent.firstColumn : 0, any ? m_extent.endColumn : 0);
    out.append(record, sizeof record);
}

void ChangedSheetWriter::writeTable(SheetOut& out) {
    for (const BlockPlan& plan : m_plans) {
        const qsizetype blockAt = out.size();
        qsizetype dbCell = plan.dbCell;
        if (plan.readBlock >= 0) {
            const ReadBlock& stretch = m_readBlocks[size_t(plan.readBlock)];
            out.share(m_stream, stretch.begin, stretch.end);
            dbCell = stretch.lastDbCell >= 0 ? stretch.lastDbCell - stretch.begin : -1;
        } else {
            out.bytes().append(m_written.constData() + plan.begin, plan.end - plan.begin);
        }
        if (m_hasIndex && dbCell >= 0) {
            m_dbCells.push_back(blockAt + dbCell);
        }
    }
}

void ChangedSheetWriter::fillIndex(SheetOut& out) {
    if (m_indexFieldsAt < 0) {
        return;
    }
    // INDEX: first row, row after the last, DEFCOLWIDTH, then each DBCELL.
    char* p = out.at(m_indexFieldsAt);
    bytes::put32(p + sheetindex::kFirstRow, m_extent.hasRows() ? m_extent.firstWrittenRow() : 0);
    bytes::put32(p + sheetindex::kEndRow, m_extent.hasRows() ? m_extent.endWrittenRow() : 0);
    if (m_defColWidthAt >= 0) {
        bytes::put32(p + sheetindex::kDefColWidth, static_cast<uint32_t>(m_defColWidthAt));
        out.positionFields.push_back(m_indexFieldsAt + sheetindex::kDefColWidth);
    }
    for (size_t i = 0; i < m_dbCells.size() && i < m_plans.size(); ++i) {
        const qsizetype field = sheetindex::kDbCells + 4 * qsizetype(i);
        bytes::put32(p + field, static_cast<uint32_t>(m_dbCells[i]));
        out.positionFields.push_back(m_indexFieldsAt + field);
    }
}

// A sheet new to the workbook: the least a worksheet needs.
void ChangedSheetWriter::writeNewSheet(SheetOut& out) {
    char bofRecord[kBofRecordBytes];
    putBof(bofRecord, kWorksheet);
    out.bytes().append(bofRecord, sizeof bofRecord);
    writeDimensions(out.bytes());
    writeTable(out);
    char window[kWindow2RecordBytes];
    putWindow2(window, false);
    out.bytes().append(window, sizeof window);
    char eofRecord[kEofRecordBytes];
    putEof(eofRecord);
    out.bytes().append(eofRecord, sizeof eofRecord);
}

// DIMENSIONS, once, then the cell table as planned.
void ChangedSheetWriter::writeDimensionsAndTable(SheetOut& out) {
    if (!m_dimensionsWritten) {
        writeDimensions(out.bytes());
    }
    m_dimensionsWritten = true;
    writeTable(out);
    m_tableWritten = true;
}

// The records [MS-XLS] 2.1.7.20.5 places after a worksheet's cell table and before its
// WINDOW2: drawings, objects, notes, pivot views and data consolidation. A table new to a
// sheet goes before the first of them (or WINDOW2), not after DIMENSIONS, which some writers
// put ahead of the page setup: readers such as Apache POI take any record after the cell
// table for the sheet's end.
static bool followsCellTable(uint16_t type) {
    switch (type) {
    case 0x00EC: // MSODRAWING
    case 0x005D: // OBJ
    case 0x01B6: // TXO
    case 0x0866: // HFPICTURE
    case 0x001C: // NOTE
    case 0x00B0: // SXVIEW
    case 0x0050: // DCON
        return true;
    default:
        return false;
    }
}

// A record of the sheet itself (not of a chart in it) as the sheet as written has it: true
// when it was written, false when it is to be copied as read.
bool ChangedSheetWriter::rewriteSheetRecord(SheetOut& out, const RecordSpan& span) {
    if (span.type == kIndex) {
        // Room for a longer INDEX, filled once the blocks are placed.
        QByteArray& bytes = out.bytes();
        const qsizetype length = sheetindex::kDbCells + 4 * qsizetype(m_plans.size());
        appendRecordHeader(bytes, kIndex, static_cast<uint16_t>(length));
        m_indexFieldsAt = out.size();
        bytes.append(QByteArray(length, '\0'));
        return true;
    }
    if (span.type == kDimensions) {
        if (!m_dimensionsWritten) {
            writeDimensions(out.bytes());
        }
        m_dimensionsWritten = true;
        return true;
    }
    if (!m_tableWritten && (span.type == kWindow2 || span.type == kEof ||
                            (!m_hasCellRecords && followsCellTable(span.type)))) {
        writeDimensionsAndTable(out);
    }
    if (span.type == kDefColWidth) {
        m_defColWidthAt = out.size();
    }
    return false;
}

SheetOut ChangedSheetWriter::write(const SheetLayout* layout) {
    SheetOut out;
    out.base = 0;
    if (layout) {
        scan(layout->begin, layout->end);
    }
    planBlocks();
    if (!layout) {
        writeNewSheet(out);
        return out;
    }
    // The sheet as read, with the cell table as planned.
    size_t nextStretch = 0;
    const NestedRecords records(m_stream, layout->begin, layout->end);
    for (auto it = records.begin(), end = records.end(); it != end;) {
        const auto [span, depth] = *it;
        if (nextStretch < m_readBlocks.size() && span.position == m_readBlocks[nextStretch].begin) {
            // The whole table goes where its first record stood.
            if (!m_tableWritten) {
                writeDimensionsAndTable(out);
            }
            it.skipTo(m_readBlocks[nextStretch++].end);
            continue;
        }
        if (!m_tableWritten && !m_hasCellRecords && depth > 1) {
            writeDimensionsAndTable(out); // before a chart embedded in the sheet
        }
        const bool ownRecord = depth == 1 && span.type != kBof;
        if (!ownRecord || !rewriteSheetRecord(out, span)) {
            out.bytes().append(m_stream.constData() + span.position, span.size);
        }
        ++it;
    }
    if (!m_tableWritten) {
        fail(QStringLiteral("the sheet \"%1\" has no end").arg(m_sheet.name));
    }
    fillIndex(out);
    return out;
}

SheetOut writeChangedSheet(const QByteArray& stream, const SheetLayout* layout, const Sheet& sheet,
                           const Rows& original, const std::vector<bool>* lent, NewStrings& strings,
                           CellFormats formats) {
    return ChangedSheetWriter(stream, sheet, original, lent, strings, formats).write(layout);
}

} // namespace xls::kept
