#pragma once

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/keptsheet.h"

#include <algorithm>

// The writer of a changed sheet. A changed sheet is written one row block (32 rows) at a time. A
// block whose rows all kept their texts is the very bytes it was read as, handed on without
// being copied; only the blocks that changed are taken apart cell by cell. So a day's workbook
// that grew by a few rows costs the rows that are new, not the sixty thousand that were there.
namespace xls::kept {

constexpr int kRowsPerBlock = 32;
constexpr int kBlocks = kMaxRows / kRowsPerBlock;

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
    void closeStretch();
    void noteOtherRecord(const RecordSpan& span);
    qsizetype addTableRecord(const RecordSpan& span, int kind, bool afterOther, qsizetype end);
    qsizetype takeSingleCells(uint16_t row, uint16_t column, qsizetype at, qsizetype end,
                              int block);
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
    void writeNewSheet(SheetOut& out);
    void writeDimensionsAndTable(SheetOut& out);
    bool rewriteSheetRecord(SheetOut& out, const RecordSpan& span);
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
    // The stretch being read is kept apart until it ends: the list's last entry would have to
    // be looked up again after every store.
    ReadBlock m_open;
    bool m_inBlockOrder = true; // no stretch belongs to a block before the last one's
    int m_lastBlock = -1;       // of the last stretch in m_readBlocks
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
    bool m_dimensionsWritten = false;
    bool m_tableWritten = false;
};

} // namespace xls::kept
