#include "spreadsheet/xls/biffrecords.h"
#include "spreadsheet/xls/keptrecords.h"
#include "spreadsheet/xls/keptsheet.h"

#include <algorithm>
#include <array>

// A changed sheet is written one row block (32 rows) at a time. A block whose rows all kept
// their texts is the very bytes it was read as, handed on without being copied; only the blocks
// that changed are taken apart cell by cell. So a day's workbook that grew by a few rows costs
// the rows that are new, not the sixty thousand that were there.
namespace xls::kept {

namespace {

using namespace xls::biff;

constexpr int kRowsPerBlock = 32;
constexpr int kBlocks = kMaxRows / kRowsPerBlock;

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

// A cell as read: the bytes of its record (with the STRING, SHRFMLA, ARRAY or TABLE records
// that belong to a formula), or one cell of a MULRK or MULBLANK.
struct CellUnit {
    enum Kind : uint8_t { Span, Rk, Blank };
    uint16_t row = 0;
    uint16_t column = 0;
    uint16_t xf = 0;
    Kind kind = Span;
    bool sharedFormula = false; // carries a SHRFMLA, ARRAY or TABLE that other cells use
    uint32_t begin = 0;         // stream position (the stream is far below 4 GiB)
    uint32_t size = 0;          // record bytes; the RK value for Rk
};

// The rows a part of the cell table writes (with a ROW record or a cell) and where its cells
// lie, for the sheet's INDEX and DIMENSIONS.
struct Extent {
    uint32_t firstRow = UINT32_MAX; // of the ROW records
    uint32_t endRow = 0;
    uint32_t firstCellRow = UINT32_MAX;
    uint32_t endCellRow = 0;
    uint16_t firstColumn = UINT16_MAX;
    uint16_t endColumn = 0;

    bool hasCells() const { return endCellRow > 0; }
    bool hasRows() const { return endRow > 0 || hasCells(); }
    uint32_t firstWrittenRow() const { return std::min(firstRow, firstCellRow); }
    uint32_t endWrittenRow() const { return std::max(endRow, endCellRow); }
    void addRow(uint32_t row) {
        firstRow = std::min(firstRow, row);
        endRow = std::max(endRow, row + 1);
    }
    void addCells(uint32_t row, uint16_t first, uint16_t end) {
        firstCellRow = std::min(firstCellRow, row);
        endCellRow = std::max(endCellRow, row + 1);
        firstColumn = std::min(firstColumn, first);
        endColumn = std::max(endColumn, end);
    }
    void add(const Extent& other) {
        firstRow = std::min(firstRow, other.firstRow);
        endRow = std::max(endRow, other.endRow);
        firstCellRow = std::min(firstCellRow, other.firstCellRow);
        endCellRow = std::max(endCellRow, other.endCellRow);
        firstColumn = std::min(firstColumn, other.firstColumn);
        endColumn = std::max(endColumn, other.endColumn);
    }
};

// A stretch of the cell table as read whose records all belong to one row block.
struct ReadBlock {
    int block = 0;
    bool endsWithDbCell = false;
    int dbCells = 0;
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype lastDbCell = -1;
    Extent extent;
};

// How a row block of the sheet as written comes about: the bytes of a stretch as read, or
// bytes written into the writer's block buffer.
struct BlockPlan {
    int readBlock = -1;
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype dbCell = -1; // from the block's start; -1: none
};

class ChangedSheetWriter {
public:
    ChangedSheetWriter(const QByteArray& stream, const Sheet& sheet, const Rows& original,
                       const std::vector<bool>* lent, NewStrings& strings, CellFormats formats)
        : m_stream(stream), m_sheet(sheet), m_original(original), m_lent(lent), m_strings(strings),
          m_formats(formats) {}

    SheetOut write(const SheetLayout* layout);

private:
    void scan(qsizetype begin, qsizetype end);
    void collect(const ReadBlock& stretch, std::vector<CellUnit>& units, qsizetype* rowRecords,
                 size_t firstRow);
    void planBlocks();
    bool copiesAsRead(const ReadBlock& stretch) const;
    bool rowUnchanged(size_t row) const;
    void writeBlock(size_t firstRow, const CellUnit* units, size_t unitCount,
                    const qsizetype* rowRecords);
    void planRow(size_t row, uint16_t rowXf, const CellUnit* units, size_t unitsBegin,
                 size_t unitsEnd);
    void noteColumnFormats(const char* data, qsizetype length);
    uint16_t rowFormat(qsizetype rowRecord) const;
    void appendRowRecords(size_t firstRow, const qsizetype* rowRecords);
    void appendCells(const CellUnit* units);
    void appendDbCell(qsizetype blockAt);
    void writeDimensions(QByteArray& out) const;
    void writeTable(SheetOut& out);
    void fillIndex(SheetOut& out);

    const QByteArray& m_stream;
    const Sheet& m_sheet;
    const Rows& m_original;
    const std::vector<bool>* m_lent; // rows held unchanged in `sheet`, empty in `original`
    NewStrings& m_strings;
    const CellFormats m_formats;
    // The default format of each column from the sheet's COLINFO records; kNoXf: none.
    static constexpr uint16_t kNoXf = 0xFFFF;
    std::vector<uint16_t> m_columnXf;

    std::vector<ReadBlock> m_readBlocks; // in stream order
    bool m_inBlockOrder = true;          // no stretch belongs to a block before the last one's
    int m_lastBlock = -1;                // of the last stretch in m_readBlocks
    bool m_hasIndex = false;
    bool m_hasCellRecords = false;

    std::vector<CellUnit> m_units;       // of the block being written, or of the whole table
    std::vector<qsizetype> m_rowRecords; // ROW records as read, by row from the first: or -1
    struct PlannedRow {
        uint16_t row = 0;
        uint16_t firstColumn = 0;
        uint16_t endColumn = 0;
        // A row whose cells are all kept as read points into the units rather than into cells.
        bool keptAsRead = false;
        size_t firstCell = 0;
        size_t cellCount = 0;
    };
    std::vector<PlannedRow> m_rows; // of the block being written
    struct OutCellEntry {
        uint16_t column;
        uint16_t xf;
        int32_t unit; // -1: a new text cell
        uint32_t string;
    };
    std::vector<OutCellEntry> m_cells;
    std::vector<qsizetype> m_firstCellAt;

    std::vector<BlockPlan> m_plans; // every row block written, in order
    QByteArray m_written;           // the blocks that are not copied as read
    Extent m_extent;
    std::vector<qsizetype> m_dbCells; // positions in the sheet as written
    qsizetype m_defColWidthAt = -1;
    qsizetype m_indexFieldsAt = -1;
};

// Splits the sheet's cell table into stretches by row block, and notes whether the blocks come
// in order: Excel, LibreOffice and this program write ROW records, cells and a DBCELL for one
// block after the other.
void ChangedSheetWriter::scan(qsizetype begin, qsizetype end) {
    // A sheet has a million records: this loop looks at each only as much as it must.
    enum Kind { Other, RowRecord, Cell, Cells, Follower };
    const char* data = m_stream.constData();
    int nesting = 0;
    bool afterTableRecord = false;
    // The stretch being read is kept apart until it ends: the list's last entry would have to
    // be looked up again after every store.
    ReadBlock open;
    open.block = -1;
    auto closeStretch = [&] {
        if (open.block >= 0) {
            m_lastBlock = open.block;
            m_readBlocks.push_back(open);
        }
    };
    for (qsizetype at = begin; at + kRecordHeader <= end;) {
        const qsizetype position = at;
        const uint16_t type = bytes::u16(data + at);
        const qsizetype length = bytes::u16(data + at + 2);
        const char* d = data + at + kRecordHeader;
        at += kRecordHeader + length;
        Kind kind = Other;
        switch (type) {
        case kBof:
            ++nesting;
            afterTableRecord = false;
            continue;
        case kEof:
            --nesting;
            afterTableRecord = false;
            continue;
        case kRow:
            kind = RowRecord;
            break;
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
            kind = Cell;
            break;
        case kMulRk:
        case kMulBlank:
            kind = Cells;
            break;
        case kString:
        case kShrFmla:
        case kArray:
        case kTable:
        case kDbCell:
            kind = Follower;
            break;
        case kContinue:
            kind = afterTableRecord ? Follower : Other;
            break;
        default:
            break;
        }
        if (nesting != 1) {
            continue;
        }
        if (kind == Other && isBiff2Cell(type)) {
            fail(QStringLiteral("the sheet \"%1\" holds cells in records of Excel 2.1 (record "
                                "type 0x%2), which the write-back cannot carry over")
                     .arg(m_sheet.name)
                     .arg(type, 4, 16, QLatin1Char('0')));
        }
        if (kind == Other) {
            m_hasIndex = m_hasIndex || type == kIndex;
            if (type == kColInfo) {
                noteColumnFormats(d, length);
            }
            afterTableRecord = false;
            continue;
        }
        m_hasCellRecords = true;
        // Records without a row of their own belong with the record before them.
        const bool namesRow = kind != Follower && length >= 2;
        const uint16_t row = namesRow ? bytes::u16(d) : 0;
        const int block = namesRow ? row / kRowsPerBlock : std::max(open.block, 0);
        if (!afterTableRecord || block != open.block) {
            closeStretch();
            m_inBlockOrder = m_inBlockOrder && block >= m_lastBlock;
            open = {};
            open.block = block;
            open.begin = position;
        }
        afterTableRecord = true;
        open.end = at;
        open.endsWithDbCell = type == kDbCell;
        if (type == kDbCell) {
            ++open.dbCells;
            open.lastDbCell = position;
        } else if (kind == RowRecord && length >= 16) {
            open.extent.addRow(row);
        } else if (kind == Cell && length >= 6) {
            // The single cells of this block that follow make most of a sheet: they are taken
            // here with the extent in locals, which the compiler can keep in registers (the
            // record bytes are read through char pointers, which could alias `open`).
            uint32_t firstRow = row;
            uint32_t endRow = row + 1u;
            uint16_t firstColumn = bytes::u16(d + 2);
            uint16_t endColumn = uint16_t(firstColumn + 1);
            qsizetype cellsEnd = at;
            while (cellsEnd + kRecordHeader + 6 <= end) {
                const char* next = data + cellsEnd;
                const qsizetype nextLength = bytes::u16(next + 2);
                const uint16_t nextRow = bytes::u16(next + kRecordHeader);
                if (!isSingleCell(bytes::u16(next)) || nextLength < 6 ||
                    nextRow / kRowsPerBlock != block) {
                    break;
                }
                const uint16_t column = bytes::u16(next + kRecordHeader + 2);
                firstRow = std::min<uint32_t>(firstRow, nextRow);
                endRow = std::max<uint32_t>(endRow, nextRow + 1u);
                firstColumn = std::min(firstColumn, column);
                endColumn = std::max(endColumn, uint16_t(column + 1));
                cellsEnd += kRecordHeader + nextLength;
            }
            open.extent.addCells(firstRow, firstColumn, endColumn);
            open.extent.addCells(endRow - 1, firstColumn, endColumn);
            open.end = at = cellsEnd;
        } else if (kind == Cells && length >= 6) {
            const qsizetype count = (length - 6) / (type == kMulRk ? 6 : 2);
            const int first = bytes::u16(d + 2);
            const int last = int(std::min<qsizetype>(first + count, kMaxColumns));
            if (last > first) {
                open.extent.addCells(row, uint16_t(first), uint16_t(last));
            }
        }
    }
    closeStretch();
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

// In row and column order; cells of one place keep the order they were read in.
void sortByPlace(std::vector<CellUnit>& units) {
    const auto before = [](const CellUnit& a, const CellUnit& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    if (!std::is_sorted(units.begin(), units.end(), before)) {
        std::stable_sort(units.begin(), units.end(), before);
    }
}

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

SheetOut ChangedSheetWriter::write(const SheetLayout* layout) {
    SheetOut out;
    out.base = 0;
    if (layout) {
        scan(layout->begin, layout->end);
    }
    planBlocks();

    if (!layout) {
        // A sheet new to the workbook: the least a worksheet needs.
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
        return out;
    }

    // The sheet as read, with the cell table as planned and room for a longer INDEX.
    const char* data = m_stream.constData();
    int nesting = 0;
    bool dimensionsWritten = false;
    bool tableWritten = false;
    auto table = [&] {
        if (!dimensionsWritten) {
            writeDimensions(out.bytes());
        }
        dimensionsWritten = true;
        writeTable(out);
        tableWritten = true;
    };
    size_t nextStretch = 0;
    qsizetype at = layout->begin;
    while (at + kRecordHeader <= layout->end) {
        if (nextStretch < m_readBlocks.size() && at == m_readBlocks[nextStretch].begin) {
            // The whole table goes where its first record stood.
            if (!tableWritten) {
                table();
            }
            at = m_readBlocks[nextStretch++].end;
            continue;
        }
        const uint16_t type = bytes::u16(data + at);
        const qsizetype size = kRecordHeader + bytes::u16(data + at + 2);
        const bool topLevel = nesting == 1 && type != kBof;
        if (type == kBof) {
            ++nesting;
        } else if (type == kEof) {
            --nesting;
        }
        if (topLevel) {
            if (type == kIndex) {
                QByteArray& bytes = out.bytes();
                const qsizetype length = sheetindex::kDbCells + 4 * qsizetype(m_plans.size());
                appendRecordHeader(bytes, kIndex, static_cast<uint16_t>(length));
                m_indexFieldsAt = out.size();
                bytes.append(QByteArray(length, '\0'));
                at += size;
                continue;
            }
            if (type == kDimensions) {
                if (!dimensionsWritten) {
                    writeDimensions(out.bytes());
                }
                dimensionsWritten = true;
                if (!m_hasCellRecords && !tableWritten) {
                    table();
                }
                at += size;
                continue;
            }
            if (!tableWritten && (type == kWindow2 || type == kEof)) {
                table();
            }
            if (type == kDefColWidth) {
                m_defColWidthAt = out.size();
            }
        }
        out.bytes().append(data + at, size);
        at += size;
    }
    if (!tableWritten) {
        fail(QStringLiteral("the sheet \"%1\" has no end").arg(m_sheet.name));
    }
    fillIndex(out);
    return out;
}

} // namespace

SheetOut writeChangedSheet(const QByteArray& stream, const SheetLayout* layout, const Sheet& sheet,
                           const Rows& original, const std::vector<bool>* lent, NewStrings& strings,
                           CellFormats formats) {
    return ChangedSheetWriter(stream, sheet, original, lent, strings, formats).write(layout);
}

} // namespace xls::kept
