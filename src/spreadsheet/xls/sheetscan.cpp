#include "spreadsheet/xls/changedsheet.h"
#include "spreadsheet/xls/keptrecords.h"

// Reading a changed sheet's cell table as it was read: its stretches by row block, its cells.
namespace xls::kept {

using namespace xls::biff;

namespace {

// What a record is to the cell table ([MS-XLS] 2.1.7.20.6 Cell table): a ROW record, a cell, a
// record of several cells, or one that belongs with the record before it.
enum class TableKind { Other, RowRecord, Cell, Cells, Follower };

TableKind tableKind(uint16_t type, bool afterTableRecord) {
    switch (type) {
    case kRow:
        return TableKind::RowRecord;
    case kBlank:
    case kNumber:
    case kRk:
    case kLabel:
    case kLabelSst:
    case kRString:
    case kBoolErr:
    case kFormula:
    case kFormulaBiff3:
    case kFormulaBiff4:
        return TableKind::Cell;
    case kMulRk:
    case kMulBlank:
        return TableKind::Cells;
    case kString:
    case kShrFmla:
    case kArray:
    case kTable:
    case kDbCell:
        return TableKind::Follower;
    case kContinue:
        return afterTableRecord ? TableKind::Follower : TableKind::Other;
    default:
        return TableKind::Other;
    }
}

} // namespace

// Splits the sheet's cell table into stretches by row block, and notes whether the blocks come
// in order: Excel, LibreOffice and this program write ROW records, cells and a DBCELL for one
// block after the other.
void ChangedSheetWriter::scan(qsizetype begin, qsizetype end) {
    // A sheet has a million records: this loop looks at each only as much as it must.
    const NestedRecords records(m_stream, begin, end);
    bool afterTableRecord = false;
    m_open = {};
    m_open.block = -1;
    for (auto it = records.begin(), last = records.end(); it != last;) {
        const auto [span, depth] = *it;
        if (span.type == kBof || span.type == kEof) {
            afterTableRecord = false;
            ++it;
            continue;
        }
        const TableKind kind = tableKind(span.type, afterTableRecord);
        if (depth != 1) {
            ++it;
            continue;
        }
        if (kind == TableKind::Other) {
            noteOtherRecord(span);
            afterTableRecord = false;
            ++it;
            continue;
        }
        m_open.end = addTableRecord(span, int(kind), !afterTableRecord, end);
        afterTableRecord = true;
        it.skipTo(m_open.end);
    }
    closeStretch();
}

void ChangedSheetWriter::closeStretch() {
    if (m_open.block >= 0) {
        m_lastBlock = m_open.block;
        m_readBlocks.push_back(m_open);
    }
}

// A record of the sheet that is no part of the cell table.
void ChangedSheetWriter::noteOtherRecord(const RecordSpan& span) {
    const char* d = m_stream.constData() + span.position + kRecordHeader;
    const qsizetype length = span.size - kRecordHeader;
    if (isBiff2Cell(span.type)) {
        fail(QStringLiteral("the sheet \"%1\" holds cells in records of Excel 2.1 (record "
                            "type 0x%2), which the write-back cannot carry over")
                 .arg(m_sheet.name)
                 .arg(span.type, 4, 16, QLatin1Char('0')));
    }
    m_hasIndex = m_hasIndex || span.type == kIndex;
    if (span.type == kColInfo) {
        noteColumnFormats(d, length);
    }
}

// Adds a record of the cell table to the stretch being read, or starts the next stretch with
// it; returns where the stretch now ends (past the single cells of the block that follow).
qsizetype ChangedSheetWriter::addTableRecord(const RecordSpan& span, int kindValue, bool afterOther,
                                             qsizetype end) {
    const auto kind = static_cast<TableKind>(kindValue);
    const char* d = m_stream.constData() + span.position + kRecordHeader;
    const qsizetype length = span.size - kRecordHeader;
    m_hasCellRecords = true;
    // Records without a row of their own belong with the record before them.
    const bool namesRow = kind != TableKind::Follower && length >= 2;
    const uint16_t row = namesRow ? bytes::u16(d) : 0;
    const int block = namesRow ? row / kRowsPerBlock : std::max(m_open.block, 0);
    if (afterOther || block != m_open.block) {
        closeStretch();
        m_inBlockOrder = m_inBlockOrder && block >= m_lastBlock;
        m_open = {};
        m_open.block = block;
        m_open.begin = span.position;
    }
    ReadBlock& open = m_open;
    const qsizetype at = span.position + span.size;
    open.endsWithDbCell = span.type == kDbCell;
    if (span.type == kDbCell) {
        ++open.dbCells;
        open.lastDbCell = span.position;
    } else if (kind == TableKind::RowRecord && length >= 16) {
        open.extent.addRow(row);
    } else if (kind == TableKind::Cell && length >= 6) {
        return takeSingleCells(row, bytes::u16(d + 2), at, end, block);
    } else if (kind == TableKind::Cells && length >= 6) {
        const qsizetype count = (length - 6) / (span.type == kMulRk ? 6 : 2);
        const int first = bytes::u16(d + 2);
        const int last = int(std::min<qsizetype>(first + count, kMaxColumns));
        if (last > first) {
            open.extent.addCells(row, uint16_t(first), uint16_t(last));
        }
    }
    return at;
}

// The single cells of this block that follow a cell make most of a sheet: they are taken here
// with the extent in locals, which the compiler can keep in registers (the record bytes are
// read through char pointers, which could alias the stretch). Returns where they end.
qsizetype ChangedSheetWriter::takeSingleCells(uint16_t row, uint16_t column, qsizetype at,
                                              qsizetype end, int block) {
    const char* data = m_stream.constData();
    uint32_t firstRow = row;
    uint32_t endRow = row + 1u;
    uint16_t firstColumn = column;
    uint16_t endColumn = uint16_t(column + 1);
    qsizetype cellsEnd = at;
    while (cellsEnd + kRecordHeader + 6 <= end) {
        const char* next = data + cellsEnd;
        const qsizetype nextLength = bytes::u16(next + 2);
        const uint16_t nextRow = bytes::u16(next + kRecordHeader);
        if (!isSingleCell(bytes::u16(next)) || nextLength < 6 || nextRow / kRowsPerBlock != block) {
            break;
        }
        const uint16_t nextColumn = bytes::u16(next + kRecordHeader + 2);
        firstRow = std::min<uint32_t>(firstRow, nextRow);
        endRow = std::max<uint32_t>(endRow, nextRow + 1u);
        firstColumn = std::min(firstColumn, nextColumn);
        endColumn = std::max(endColumn, uint16_t(nextColumn + 1));
        cellsEnd += kRecordHeader + nextLength;
    }
    m_open.extent.addCells(firstRow, firstColumn, endColumn);
    m_open.extent.addCells(endRow - 1, firstColumn, endColumn);
    return cellsEnd;
}

// The cells and ROW records of one stretch as read; ROW records go into rowRecords by row from
// firstRow.
void ChangedSheetWriter::collect(const ReadBlock& stretch, std::vector<CellUnit>& units,
                                 qsizetype* rowRecords, size_t firstRow) {
    const Records records(m_stream, stretch.begin, stretch.end);
    const auto end = records.end();
    for (auto it = records.begin(); it != end; ++it) {
        const RecordSpan span = *it;
        const char* d = m_stream.constData() + span.position + kRecordHeader;
        const qsizetype length = span.size - kRecordHeader;
        if (span.type == kRow && length >= 16) {
            rowRecords[bytes::u16(d) - firstRow] = span.position;
        } else if (isSingleCell(span.type) && length >= 6) {
            CellUnit unit;
            unit.row = bytes::u16(d);
            unit.column = bytes::u16(d + 2);
            unit.xf = bytes::u16(d + 4);
            unit.begin = static_cast<uint32_t>(span.position);
            unit.size = static_cast<uint32_t>(span.size);
            // What belongs to the cell follows it: CONTINUE records, and for a formula its
            // string result and the shared or array formula it anchors.
            for (auto next = it; ++next != end;) {
                const uint16_t type = (*next).type;
                const bool belongs =
                    type == kContinue ||
                    (isFormula(span.type) &&
                     (type == kString || type == kShrFmla || type == kArray || type == kTable));
                if (!belongs) {
                    break;
                }
                unit.sharedFormula =
                    unit.sharedFormula || type == kShrFmla || type == kArray || type == kTable;
                unit.size += static_cast<uint32_t>((*next).size);
                it = next;
            }
            units.push_back(unit);
        } else if ((span.type == kMulRk || span.type == kMulBlank) && length >= 6) {
            const bool rk = span.type == kMulRk;
            const qsizetype each = rk ? 6 : 2;
            const uint16_t row = bytes::u16(d);
            const uint16_t first = bytes::u16(d + 2);
            const qsizetype count = (length - 6) / each;
            for (qsizetype k = 0; k < count && first + k < kMaxColumns; ++k) {
                CellUnit unit;
                unit.row = row;
                unit.column = static_cast<uint16_t>(first + k);
                unit.xf = bytes::u16(d + 4 + each * k);
                unit.kind = rk ? CellUnit::Rk : CellUnit::Blank;
                if (rk) {
                    unit.size = bytes::u32(d + 4 + each * k + 2);
                }
                units.push_back(unit);
            }
        }
    }
}

void ChangedSheetWriter::noteColumnFormats(const char* d, qsizetype length) {
    if (length < colinfo::kMinSize) {
        return;
    }
    const uint16_t xf = bytes::u16(d + colinfo::kXf);
    if (xf >= m_formats.count) {
        return;
    }
    const int first = bytes::u16(d + colinfo::kFirstColumn);
    const int last = std::min<int>(bytes::u16(d + colinfo::kLastColumn), kMaxColumns - 1);
    if (m_columnXf.empty()) {
        m_columnXf.assign(kMaxColumns, kNoXf);
    }
    for (int c = first; c <= last; ++c) {
        m_columnXf[size_t(c)] = xf;
    }
}

} // namespace xls::kept
