#include "spreadsheet/xls/keptbook.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/recordbuffer.h"

#include <QHash>
#include <algorithm>

namespace xls {

namespace {

using namespace xls::biff;

// Records of a sheet's cell table and of the globals that only this writer needs by name.
constexpr uint16_t kIndex = 0x020B;
constexpr uint16_t kDbCell = 0x00D7;
constexpr uint16_t kShrFmla = 0x04BC;
constexpr uint16_t kArray = 0x0221;
constexpr uint16_t kTable = 0x0236;
constexpr uint16_t kDefColWidth = 0x0055;

constexpr int kRowsPerBlock = 32;
constexpr qsizetype kRowRecordBytes = 4 + 16;
// The cell format of new cells where no cell stood before: Excel's default cell format, the
// first after the 15 style formats every BIFF8 workbook starts with.
constexpr uint16_t kDefaultCellXf = 15;
// EXTSST: at least 8 strings a bucket, about 128 buckets, never more than one record holds.
constexpr size_t kMaxBuckets = 1000;

[[noreturn]] void fail(const QString& reason) {
    throw FormatError(reason.toStdString());
}

QString cellName(int row, int column) {
    QString letters;
    if (column >= 26) {
        letters.append(QChar(u'A' + column / 26 - 1));
    }
    letters.append(QChar(u'A' + column % 26));
    return letters + QString::number(row + 1);
}

bool isCellTableRecord(uint16_t type) {
    switch (type) {
    case kRow:
    case kBlank:
    case kMulBlank:
    case kNumber:
    case kRk:
    case kMulRk:
    case kLabel:
    case kLabelSst:
    case kRString:
    case kBoolErr:
    case kFormula:
    case kString:
    case kShrFmla:
    case kArray:
    case kTable:
    case kDbCell:
        return true;
    default:
        return false;
    }
}

bool isSingleCell(uint16_t type) {
    return type == kBlank || type == kNumber || type == kRk || type == kLabel ||
           type == kLabelSst || type == kRString || type == kBoolErr || type == kFormula;
}

using Rows = std::vector<std::vector<QString>>;

QStringView textAt(const Rows& rows, size_t row, size_t column) {
    if (row >= rows.size() || column >= rows[row].size()) {
        return {};
    }
    return rows[row][column];
}

// Copies of one text share their characters; only texts that do not are compared.
bool sameText(QStringView a, QStringView b) {
    return a.size() == b.size() && (a.data() == b.data() || a == b);
}

void appendRecordHeader(QByteArray& out, uint16_t type, uint16_t length) {
    bytes::append16(out, type);
    bytes::append16(out, length);
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

struct SheetOut {
    QByteArray bytes;
    qsizetype base = 0;                    // the stream position the position fields count from
    std::vector<qsizetype> positionFields; // offsets in `bytes` of 32-bit stream positions
};

// Texts of new cells, appended to the workbook's shared string table after those it holds.
class NewStrings {
public:
    explicit NewStrings(uint32_t first) : first(first) {}
    uint32_t add(const QString& text) {
        ++references;
        const auto found = index.constFind(text);
        if (found != index.constEnd()) {
            return *found;
        }
        const uint32_t at = first + static_cast<uint32_t>(texts.size());
        index.insert(text, at);
        texts.push_back(text);
        return at;
    }
    const uint32_t first;
    uint32_t references = 0;
    std::vector<QString> texts;
    QHash<QString, uint32_t> index;
};

// The records between two stream positions, read as they are walked: a sheet has a million.
class Records {
public:
    class Iterator {
    public:
        Iterator(const char* data, qsizetype at) : m_data(data), m_at(at) {}
        RecordSpan operator*() const {
            return {bytes::u16(m_data + m_at), m_at, kRecordHeader + bytes::u16(m_data + m_at + 2)};
        }
        Iterator& operator++() {
            m_at += kRecordHeader + bytes::u16(m_data + m_at + 2);
            return *this;
        }
        // The walk was checked to end exactly at the end (see scanLayout).
        bool operator!=(const Iterator& end) const { return m_at + kRecordHeader <= end.m_at; }

    private:
        const char* m_data;
        qsizetype m_at;
    };

    Records(const QByteArray& stream, qsizetype begin, qsizetype end)
        : m_data(stream.constData()), m_from(begin), m_to(end) {}
    Iterator begin() const { return {m_data, m_from}; }
    Iterator end() const { return {m_data, m_to}; }

private:
    const char* m_data;
    qsizetype m_from;
    qsizetype m_to;
};

SheetOut copySheet(const QByteArray& stream, const SheetLayout& sheet) {
    SheetOut out;
    out.base = sheet.begin;
    out.bytes = QByteArray(stream.constData() + sheet.begin, sheet.end - sheet.begin);
    // The INDEX record points at DEFCOLWIDTH and at the DBCELL of every row block by stream
    // position; everything else in a sheet is relative to the sheet or the record.
    int nesting = 0;
    for (const RecordSpan span : Records(stream, sheet.begin, sheet.end)) {
        if (span.type == kBof) {
            ++nesting;
        } else if (span.type == kEof) {
            --nesting;
        }
        if (span.type != kIndex || nesting != 1 || span.size < kRecordHeader + 16) {
            continue;
        }
        const qsizetype data = span.position - sheet.begin + kRecordHeader;
        for (qsizetype field = data + 12; field + 4 <= span.position - sheet.begin + span.size;
             field += 4) {
            const uint32_t value = bytes::u32(out.bytes.constData() + field);
            if (value >= sheet.begin && value < sheet.end) {
                out.positionFields.push_back(field);
            }
        }
    }
    return out;
}

// Writes a changed sheet: every record that holds no cell as read, then the cell table made of
// the cells as read whose text is unchanged and text cells for the others.
class ChangedSheetWriter {
public:
    ChangedSheetWriter(const QByteArray& stream, const Sheet& sheet, const Rows& original,
                       const std::vector<bool>* lent, NewStrings& strings, uint16_t defaultXf)
        : m_stream(stream), m_sheet(sheet), m_original(original), m_lent(lent), m_strings(strings),
          m_defaultXf(defaultXf) {}

    SheetOut write(const SheetLayout* layout);

private:
    void collect(const Records& records);
    bool rowUnchanged(size_t row) const;
    void planRows();
    void writeDimensions(QByteArray& out);
    void writeCellTable(SheetOut& out, bool withDbCells);

    const QByteArray& m_stream;
    const Sheet& m_sheet;
    const Rows& m_original;
    const std::vector<bool>* m_lent; // rows held unchanged in `sheet`, empty in `original`
    NewStrings& m_strings;
    const uint16_t m_defaultXf;

    std::vector<CellUnit> m_units;
    std::vector<qsizetype> m_rowRecords; // by row: the ROW record as read, or -1
    struct PlannedRow {
        uint16_t row = 0;
        uint16_t firstColumn = 0;
        uint16_t endColumn = 0;
        // A row whose cells are all kept as read points into units rather than into cells, so
        // that an unchanged sheet is not listed cell by cell a second time.
        bool keptAsRead = false;
        size_t firstCell = 0; // into cells, or into units when keptAsRead
        size_t cellCount = 0;
    };
    std::vector<PlannedRow> m_rows;
    struct OutCellEntry {
        uint16_t column;
        uint16_t xf;
        int32_t unit; // -1: a new text cell
        uint32_t string;
    };
    std::vector<OutCellEntry> m_cells;
    size_t m_newCells = 0; // cells of `cells` that are new text cells
    qsizetype m_defColWidthAt = -1;
    qsizetype m_indexFieldsAt = -1;
    bool m_hasIndex = false;
    bool m_hasCellRecords = false;
};

void ChangedSheetWriter::collect(const Records& records) {
    m_rowRecords.assign(size_t(kMaxRows), -1);
    int nesting = 0;
    const auto end = records.end();
    for (auto it = records.begin(); it != end; ++it) {
        const RecordSpan span = *it;
        if (span.type == kBof) {
            ++nesting;
            continue;
        }
        if (span.type == kEof) {
            --nesting;
            continue;
        }
        if (nesting != 1) {
            continue;
        }
        m_hasIndex = m_hasIndex || span.type == kIndex;
        m_hasCellRecords = m_hasCellRecords || isCellTableRecord(span.type);
        const char* d = m_stream.constData() + span.position + kRecordHeader;
        const qsizetype length = span.size - kRecordHeader;
        if (span.type == kRow && length >= 16) {
            m_rowRecords[bytes::u16(d)] = span.position;
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
                const RecordSpan following = *next;
                const uint16_t type = following.type;
                const bool belongs =
                    type == kContinue ||
                    (span.type == kFormula &&
                     (type == kString || type == kShrFmla || type == kArray || type == kTable));
                if (!belongs) {
                    break;
                }
                unit.sharedFormula =
                    unit.sharedFormula || type == kShrFmla || type == kArray || type == kTable;
                unit.size += static_cast<uint32_t>(following.size);
                it = next;
            }
            m_units.push_back(unit);
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
                m_units.push_back(unit);
            }
        }
    }
    const auto before = [](const CellUnit& a, const CellUnit& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    if (!std::is_sorted(m_units.begin(), m_units.end(), before)) {
        std::stable_sort(m_units.begin(), m_units.end(), before);
    }
}

bool ChangedSheetWriter::rowUnchanged(size_t r) const {
    if (m_lent && r < m_lent->size() && (*m_lent)[r]) {
        return true;
    }
    const Rows& current = m_sheet.rows;
    if (r >= current.size() || r >= m_original.size() ||
        current[r].size() != m_original[r].size()) {
        return false;
    }
    const std::vector<QString>& now = current[r];
    const std::vector<QString>& before = m_original[r];
    for (size_t c = 0; c < now.size(); ++c) {
        if (!sameText(now[c], before[c])) {
            return false;
        }
    }
    return true;
}

void ChangedSheetWriter::planRows() {
    const Rows& current = m_sheet.rows;
    size_t rowEnd = std::min(current.size(), size_t(kMaxRows));
    if (!m_units.empty()) {
        rowEnd = std::max(rowEnd, size_t(m_units.back().row) + 1);
    }
    for (size_t r = 0; r < m_rowRecords.size(); ++r) {
        if (m_rowRecords[r] >= 0) {
            rowEnd = std::max(rowEnd, r + 1);
        }
    }
    size_t u = 0;
    for (size_t r = 0; r < rowEnd; ++r) {
        const size_t unitsBegin = u;
        while (u < m_units.size() && m_units[u].row == r) {
            ++u;
        }
        PlannedRow planned;
        planned.row = static_cast<uint16_t>(r);
        planned.firstCell = m_cells.size();
        // Kept cells and new text cells, in column order.
        size_t k = unitsBegin;
        const size_t width =
            r < current.size() ? std::min(current[r].size(), size_t(kMaxColumns)) : 0;
        size_t c = 0;
        if (rowUnchanged(r)) {
            // Most rows of a rebuilt sheet: every cell as read is kept and none is new.
            planned.keptAsRead = true;
            planned.firstCell = unitsBegin;
            planned.cellCount = u - unitsBegin;
            if (planned.cellCount > 0) {
                planned.firstColumn = m_units[unitsBegin].column;
                planned.endColumn = static_cast<uint16_t>(m_units[u - 1].column + 1);
            }
            if (planned.cellCount > 0 || m_rowRecords[r] >= 0) {
                m_rows.push_back(planned);
            }
            continue;
        }
        for (;;) {
            while (c < width &&
                   (current[r][c].isEmpty() || sameText(current[r][c], textAt(m_original, r, c)))) {
                ++c;
            }
            while (k < u) {
                const CellUnit& unit = m_units[k];
                if (sameText(textAt(current, r, unit.column), textAt(m_original, r, unit.column))) {
                    break;
                }
                if (unit.sharedFormula) {
                    fail(QStringLiteral("the sheet \"%1\" has a shared or array formula in cell "
                                        "%2, which the write-back would change")
                             .arg(m_sheet.name, cellName(int(r), unit.column)));
                }
                ++k;
            }
            const bool haveUnit = k < u;
            const bool haveNew = c < width;
            if (!haveUnit && !haveNew) {
                break;
            }
            if (haveUnit && (!haveNew || m_units[k].column < c)) {
                m_cells.push_back({m_units[k].column, m_units[k].xf, int32_t(k), 0});
                ++k;
            } else {
                // The new text keeps the format of the cell it replaces.
                uint16_t xf = m_defaultXf;
                for (size_t m = unitsBegin; m < u; ++m) {
                    if (m_units[m].column == c) {
                        xf = m_units[m].xf;
                    }
                }
                m_cells.push_back({static_cast<uint16_t>(c), xf, -1, m_strings.add(current[r][c])});
                ++m_newCells;
                ++c;
            }
        }
        planned.cellCount = m_cells.size() - planned.firstCell;
        if (planned.cellCount > 0) {
            planned.firstColumn = m_cells[planned.firstCell].column;
            planned.endColumn = static_cast<uint16_t>(m_cells.back().column + 1);
        }
        if (planned.cellCount > 0 || m_rowRecords[r] >= 0) {
            m_rows.push_back(planned);
        }
    }
}

void ChangedSheetWriter::writeDimensions(QByteArray& out) {
    appendRecordHeader(out, kDimensions, 14);
    uint32_t firstRow = 0, endRow = 0;
    uint16_t firstColumn = 0, endColumn = 0;
    bool any = false;
    for (const PlannedRow& row : m_rows) {
        if (row.cellCount == 0) {
            continue;
        }
        if (!any) {
            firstRow = row.row;
            firstColumn = row.firstColumn;
        }
        any = true;
        endRow = row.row + 1u;
        firstColumn = std::min(firstColumn, row.firstColumn);
        endColumn = std::max(endColumn, row.endColumn);
    }
    bytes::append32(out, firstRow);
    bytes::append32(out, endRow);
    bytes::append16(out, firstColumn);
    bytes::append16(out, endColumn);
    bytes::append16(out, 0);
}

void ChangedSheetWriter::writeCellTable(SheetOut& sheetOut, bool withDbCells) {
    QByteArray& out = sheetOut.bytes;
    std::vector<uint32_t> dbCells;
    std::vector<qsizetype> firstCellAt;
    for (size_t b = 0; b < m_rows.size();) {
        size_t e = b;
        const int block = m_rows[b].row / kRowsPerBlock;
        while (e < m_rows.size() && m_rows[e].row / kRowsPerBlock == block) {
            ++e;
        }
        const qsizetype firstRowAt = out.size();
        for (size_t i = b; i < e; ++i) {
            const PlannedRow& row = m_rows[i];
            const qsizetype kept = m_rowRecords[row.row];
            const qsizetype at = out.size();
            if (kept >= 0) {
                out.append(m_stream.constData() + kept, kRowRecordBytes);
            } else {
                char record[kRowRecordBytes] = {};
                bytes::put16(record, kRow);
                bytes::put16(record + 2, 16);
                char* p = record + kRecordHeader;
                bytes::put16(p, row.row);
                bytes::put16(p + 6, 0x00FF);  // default height
                bytes::put16(p + 12, 0x0100); // the flag Excel always sets
                bytes::put16(p + 14, m_defaultXf);
                out.append(record, kRowRecordBytes);
            }
            char* p = out.data() + at + kRecordHeader;
            bytes::put16(p + 2, row.firstColumn);
            bytes::put16(p + 4, row.endColumn);
        }
        firstCellAt.clear();
        // Cells kept in a row are mostly one stretch of the sheet as read: copied in one go.
        qsizetype pendingBegin = 0;
        qsizetype pendingEnd = 0;
        auto flush = [&] {
            out.append(m_stream.constData() + pendingBegin, pendingEnd - pendingBegin);
            pendingBegin = pendingEnd = 0;
        };
        for (size_t i = b; i < e; ++i) {
            const PlannedRow& row = m_rows[i];
            firstCellAt.push_back(out.size() + (pendingEnd - pendingBegin));
            for (size_t c = row.firstCell; c < row.firstCell + row.cellCount; ++c) {
                const OutCellEntry cell =
                    row.keptAsRead ? OutCellEntry{m_units[c].column, m_units[c].xf, int32_t(c), 0}
                                   : m_cells[c];
                if (cell.unit >= 0 && m_units[size_t(cell.unit)].kind == CellUnit::Span) {
                    const CellUnit& unit = m_units[size_t(cell.unit)];
                    if (unit.begin != pendingEnd) {
                        flush();
                        pendingBegin = unit.begin;
                    }
                    pendingEnd = unit.begin + unit.size;
                    continue;
                }
                flush();
                if (cell.unit < 0) {
                    char record[kRecordHeader + 10];
                    bytes::put16(record, kLabelSst);
                    bytes::put16(record + 2, 10);
                    bytes::put16(record + 4, row.row);
                    bytes::put16(record + 6, cell.column);
                    bytes::put16(record + 8, cell.xf);
                    bytes::put32(record + 10, cell.string);
                    out.append(record, sizeof record);
                    continue;
                }
                const CellUnit& unit = m_units[size_t(cell.unit)];
                switch (unit.kind) {
                case CellUnit::Span:
                    break;
                case CellUnit::Rk:
                    appendRecordHeader(out, kRk, 10);
                    bytes::append16(out, unit.row);
                    bytes::append16(out, unit.column);
                    bytes::append16(out, unit.xf);
                    bytes::append32(out, unit.size);
                    break;
                case CellUnit::Blank:
                    appendRecordHeader(out, kBlank, 6);
                    bytes::append16(out, unit.row);
                    bytes::append16(out, unit.column);
                    bytes::append16(out, unit.xf);
                    break;
                }
            }
        }
        flush();
        if (withDbCells) {
            // DBCELL: back to the block's first ROW, then where each row's cells start, the
            // first counted from the second ROW record, the others from the row before.
            const qsizetype at = out.size();
            dbCells.push_back(static_cast<uint32_t>(at));
            appendRecordHeader(out, kDbCell, static_cast<uint16_t>(4 + 2 * (e - b)));
            bytes::append32(out, static_cast<uint32_t>(at - firstRowAt));
            qsizetype from = firstRowAt + kRowRecordBytes;
            for (const qsizetype cellAt : firstCellAt) {
                bytes::append16(out, static_cast<uint16_t>(cellAt - from));
                from = cellAt;
            }
        }
        b = e;
    }
    if (m_indexFieldsAt >= 0) {
        // INDEX: first row, row after the last, DEFCOLWIDTH, then each DBCELL.
        char* p = sheetOut.bytes.data() + m_indexFieldsAt;
        uint32_t firstRow = m_rows.empty() ? 0 : m_rows.front().row;
        uint32_t endRow = m_rows.empty() ? 0 : m_rows.back().row + 1u;
        bytes::put32(p + 4, firstRow);
        bytes::put32(p + 8, endRow);
        if (m_defColWidthAt >= 0) {
            bytes::put32(p + 12, static_cast<uint32_t>(m_defColWidthAt));
            sheetOut.positionFields.push_back(m_indexFieldsAt + 12);
        }
        for (size_t i = 0; i < dbCells.size(); ++i) {
            bytes::put32(p + 16 + 4 * qsizetype(i), dbCells[i]);
            sheetOut.positionFields.push_back(m_indexFieldsAt + 16 + 4 * qsizetype(i));
        }
    }
}

SheetOut ChangedSheetWriter::write(const SheetLayout* layout) {
    SheetOut out;
    out.base = 0;
    const Records records =
        layout ? Records(m_stream, layout->begin, layout->end) : Records(m_stream, 0, 0);
    // Cells are about one in every 14 bytes of a sheet.
    if (layout) {
        m_units.reserve(size_t((layout->end - layout->begin) / 14));
    }
    collect(records);
    planRows();
    size_t blocks = 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (i == 0 || m_rows[i].row / kRowsPerBlock != m_rows[i - 1].row / kRowsPerBlock) {
            ++blocks;
        }
    }

    if (!layout) {
        // A sheet new to the workbook: the least a worksheet needs.
        appendRecordHeader(out.bytes, kBof, 16);
        bytes::append16(out.bytes, kVersionBiff8);
        bytes::append16(out.bytes, kWorksheet);
        bytes::append16(out.bytes, 0x0DBB);
        bytes::append16(out.bytes, 0x07CC);
        bytes::append32(out.bytes, 0);
        bytes::append32(out.bytes, 0x06);
        writeDimensions(out.bytes);
        writeCellTable(out, false);
        appendRecordHeader(out.bytes, kWindow2, 18);
        QByteArray window(18, '\0');
        bytes::put16(window.data(), 0x00B6);
        bytes::put32(window.data() + 6, 0x40);
        out.bytes.append(window);
        appendRecordHeader(out.bytes, kEof, 0);
        return out;
    }

    // The sheet as read, with a LABELSST for each new cell and room for new ROW and DBCELL
    // records and a longer INDEX.
    out.bytes.reserve(layout->end - layout->begin + qsizetype(m_newCells) * 14 +
                      qsizetype(m_rows.size()) * 22 + qsizetype(blocks) * 4 + 1024);
    int nesting = 0;
    bool dimensionsWritten = false;
    bool tableWritten = false;
    bool skippingCellRecords = false;
    auto writeTable = [&] {
        if (!dimensionsWritten) {
            writeDimensions(out.bytes);
        }
        dimensionsWritten = true;
        writeCellTable(out, m_hasIndex);
        tableWritten = true;
    };
    for (const RecordSpan span : records) {
        const bool topLevel = nesting == 1 && span.type != kBof;
        if (span.type == kBof) {
            ++nesting;
        } else if (span.type == kEof) {
            --nesting;
        }
        if (topLevel) {
            if (span.type == kContinue && skippingCellRecords) {
                continue;
            }
            skippingCellRecords = false;
            if (span.type == kIndex) {
                appendRecordHeader(out.bytes, kIndex, static_cast<uint16_t>(16 + 4 * blocks));
                m_indexFieldsAt = out.bytes.size();
                out.bytes.append(QByteArray(16 + 4 * qsizetype(blocks), '\0'));
                continue;
            }
            if (span.type == kDimensions) {
                if (!dimensionsWritten) {
                    writeDimensions(out.bytes);
                }
                dimensionsWritten = true;
                if (!m_hasCellRecords && !tableWritten) {
                    writeTable();
                }
                continue;
            }
            if (isCellTableRecord(span.type)) {
                if (!tableWritten) {
                    writeTable();
                }
                skippingCellRecords = true;
                continue;
            }
            if (!tableWritten && (span.type == kWindow2 || span.type == kEof)) {
                writeTable();
            }
            if (span.type == kDefColWidth) {
                m_defColWidthAt = out.bytes.size();
            }
        }
        out.bytes.append(m_stream.constData() + span.position, span.size);
    }
    if (!tableWritten) {
        fail(QStringLiteral("the sheet \"%1\" has no end").arg(m_sheet.name));
    }
    return out;
}

// Walks the strings of the shared string table as written, for the EXTSST index.
class SstWalker {
public:
    SstWalker(const QByteArray& out, std::vector<std::pair<qsizetype, qsizetype>> pieces)
        : m_out(out), m_pieces(std::move(pieces)) {}

    bool atEnd() { return !settle(); }

    // Stream position of the next string and of the header of the record it starts in; false
    // when the table ends first.
    bool nextString(qsizetype& position, qsizetype& recordStart) {
        if (!settle()) {
            return false;
        }
        position = m_pieces[m_p].first + m_at;
        recordStart = m_pieces[m_p].first - kRecordHeader;
        uint16_t count = 0;
        uint8_t flags = 0;
        if (!u16(count) || !u8(flags)) {
            return false;
        }
        uint16_t runs = 0;
        uint32_t extension = 0;
        if ((flags & kStringRich) && !u16(runs)) {
            return false;
        }
        if ((flags & kStringExtended) && !u32(extension)) {
            return false;
        }
        qsizetype remaining = count;
        int charSize = (flags & kStringHighByte) ? 2 : 1;
        while (remaining > 0) {
            if (m_at >= m_pieces[m_p].second) {
                // Characters continued in the next record start with a new flags byte.
                if (++m_p >= m_pieces.size()) {
                    return false;
                }
                m_at = 0;
                uint8_t again = 0;
                if (!u8(again)) {
                    return false;
                }
                charSize = (again & kStringHighByte) ? 2 : 1;
            }
            const qsizetype take = std::min(remaining, (m_pieces[m_p].second - m_at) / charSize);
            if (take == 0) {
                return false;
            }
            m_at += take * charSize;
            remaining -= take;
        }
        return skip(qsizetype(runs) * 4 + extension);
    }

private:
    bool settle() {
        while (m_p < m_pieces.size() && m_at >= m_pieces[m_p].second) {
            ++m_p;
            m_at = 0;
        }
        return m_p < m_pieces.size();
    }
    bool u8(uint8_t& v) {
        if (!settle()) {
            return false;
        }
        v = static_cast<uint8_t>(m_out[m_pieces[m_p].first + m_at]);
        ++m_at;
        return true;
    }
    bool u16(uint16_t& v) {
        uint8_t lo = 0, hi = 0;
        if (!u8(lo) || !u8(hi)) {
            return false;
        }
        v = static_cast<uint16_t>(lo | hi << 8);
        return true;
    }
    bool u32(uint32_t& v) {
        uint16_t lo = 0, hi = 0;
        if (!u16(lo) || !u16(hi)) {
            return false;
        }
        v = lo | uint32_t(hi) << 16;
        return true;
    }
    bool skip(qsizetype count) {
        while (count > 0) {
            if (!settle()) {
                return false;
            }
            const qsizetype take = std::min(count, m_pieces[m_p].second - m_at);
            m_at += take;
            count -= take;
        }
        return true;
    }

    const QByteArray& m_out;
    std::vector<std::pair<qsizetype, qsizetype>> m_pieces; // data position and length
    size_t m_p = 0;
    qsizetype m_at = 0;
};

// Appends the new strings in CONTINUE records of their own (a string may start a record), and
// returns the data pieces they take.
void appendNewStrings(QByteArray& out, const NewStrings& strings,
                      std::vector<std::pair<qsizetype, qsizetype>>& pieces, bool sstOfItsOwn) {
    qsizetype record = -1;
    qsizetype sstAt = -1;
    qsizetype used = 0;
    auto close = [&] {
        if (record < 0) {
            return;
        }
        bytes::put16(out.data() + record + 2, static_cast<uint16_t>(used));
        // The counts at the start of the SST record are no string.
        const qsizetype skip = record == sstAt ? 8 : 0;
        pieces.push_back({record + kRecordHeader + skip, used - skip});
    };
    auto start = [&](uint16_t type) {
        close();
        record = out.size();
        appendRecordHeader(out, type, 0);
        used = 0;
    };
    if (sstOfItsOwn) {
        start(kSst);
        sstAt = record;
        bytes::append32(out, strings.references);
        bytes::append32(out, static_cast<uint32_t>(strings.texts.size()));
        used = 8;
    }
    for (const QString& text : strings.texts) {
        const bool compressed = fitsInEightBits(text);
        const int charSize = compressed ? 1 : 2;
        const uint8_t flags = compressed ? 0 : kStringHighByte;
        if (record < 0 || kMaxRecordData - used < 3 + 2 * charSize) {
            start(kContinue);
        }
        bytes::append16(out, static_cast<uint16_t>(text.size()));
        out.append(char(flags));
        used += 3;
        const QChar* chars = text.constData();
        qsizetype remaining = text.size();
        for (;;) {
            qsizetype n = std::min<qsizetype>(remaining, (kMaxRecordData - used) / charSize);
            if (n < remaining && n > 0 && chars[n - 1].isHighSurrogate()) {
                --n;
            }
            for (qsizetype i = 0; i < n; ++i) {
                if (compressed) {
                    out.append(char(chars[i].unicode()));
                } else {
                    bytes::append16(out, chars[i].unicode());
                }
            }
            used += n * charSize;
            chars += n;
            remaining -= n;
            if (remaining == 0) {
                break;
            }
            start(kContinue);
            out.append(char(flags));
            used = 1;
        }
    }
    close();
}

void appendExtSst(QByteArray& out, std::vector<std::pair<qsizetype, qsizetype>> pieces,
                  uint32_t stringCount) {
    const uint16_t perBucket = static_cast<uint16_t>(
        std::min<uint32_t>(std::max<uint32_t>(8, (stringCount + 127) / 128), 0xFFFF));
    QByteArray buckets;
    SstWalker walker(out, std::move(pieces));
    for (uint32_t i = 0; i < stringCount; ++i) {
        qsizetype position = 0;
        qsizetype recordStart = 0;
        if (!walker.nextString(position, recordStart)) {
            fail(QStringLiteral("its shared string table cannot be read to the end"));
        }
        if (i % perBucket == 0 && size_t(buckets.size() / 8) < kMaxBuckets) {
            bytes::append32(buckets, static_cast<uint32_t>(position));
            bytes::append16(buckets, static_cast<uint16_t>(position - recordStart));
            bytes::append16(buckets, 0);
        }
    }
    appendRecordHeader(out, kExtSst, static_cast<uint16_t>(2 + buckets.size()));
    bytes::append16(out, perBucket);
    out.append(buckets);
}

void appendBoundSheet(QByteArray& out, const QString& name) {
    const bool compressed = fitsInEightBits(name);
    appendRecordHeader(out, kBoundSheet,
                       static_cast<uint16_t>(8 + name.size() * (compressed ? 1 : 2)));
    bytes::append32(out, 0); // the position, set once known
    out.append(char(0));     // visible
    out.append(char(0));     // worksheet
    out.append(char(name.size()));
    out.append(char(compressed ? 0 : kStringHighByte));
    for (const QChar c : name) {
        if (compressed) {
            out.append(char(c.unicode()));
        } else {
            bytes::append16(out, c.unicode());
        }
    }
}

} // namespace

std::vector<QByteArray> writeKeptStream(const BookLayout& layout, const Book& book,
                                        const std::vector<SheetChange>& changes) {
    if (!layout.problem.isEmpty()) {
        fail(layout.problem);
    }
    const QByteArray& stream = layout.compound.workbook;

    // The string table as read, and how many strings it holds: new texts go after them.
    qsizetype sstRecord = -1;
    size_t sstEnd = 0; // one past the last CONTINUE of the table
    for (size_t i = 0; i < layout.globals.size(); ++i) {
        if (layout.globals[i].type == kSst) {
            sstRecord = qsizetype(i);
            sstEnd = i + 1;
            while (sstEnd < layout.globals.size() && layout.globals[sstEnd].type == kContinue) {
                ++sstEnd;
            }
            break;
        }
    }
    uint32_t readStrings = 0;
    uint32_t readReferences = 0;
    if (sstRecord >= 0) {
        const RecordSpan& sst = layout.globals[size_t(sstRecord)];
        if (sst.size < kRecordHeader + 8) {
            fail(QStringLiteral("its shared string table is damaged"));
        }
        readReferences = bytes::u32(stream.constData() + sst.position + kRecordHeader);
        // Counted rather than taken from the record: some writers state more than they store,
        // and new strings must get the indexes right after the last one stored.
        std::vector<std::pair<qsizetype, qsizetype>> pieces;
        for (size_t k = size_t(sstRecord); k < sstEnd; ++k) {
            const RecordSpan& span = layout.globals[k];
            const qsizetype skip = k == size_t(sstRecord) ? 8 : 0;
            pieces.push_back(
                {span.position + kRecordHeader + skip, span.size - kRecordHeader - skip});
        }
        SstWalker walker(stream, std::move(pieces));
        while (!walker.atEnd()) {
            qsizetype position = 0;
            qsizetype recordStart = 0;
            if (!walker.nextString(position, recordStart)) {
                fail(QStringLiteral("its shared string table is damaged"));
            }
            ++readStrings;
        }
    }
    // New cells where no cell stood take Excel's default cell format, or the last format of a
    // workbook that has fewer.
    int xfCount = 0;
    for (const RecordSpan& span : layout.globals) {
        xfCount += span.type == kXf;
    }
    const uint16_t defaultXf =
        static_cast<uint16_t>(std::clamp(xfCount - 1, 0, int(kDefaultCellXf)));
    NewStrings strings(readStrings);

    // Sheets first: their new cells decide the strings the globals hold.
    std::vector<SheetOut> sheets;
    std::vector<bool> written(book.sheets.size(), false);
    for (const SheetLayout& entry : layout.sheets) {
        const int t = entry.textSheet;
        if (t >= 0 && size_t(t) < changes.size() && changes[size_t(t)].changed) {
            static const Rows none;
            const Rows* original = changes[size_t(t)].originalRows;
            sheets.push_back(ChangedSheetWriter(stream, book.sheets[size_t(t)],
                                                original ? *original : none,
                                                changes[size_t(t)].lentRows, strings, defaultXf)
                                 .write(&entry));
        } else {
            sheets.push_back(copySheet(stream, entry));
        }
        if (t >= 0) {
            written[size_t(t)] = true;
        }
    }
    std::vector<size_t> newSheets;
    for (size_t t = 0; t < book.sheets.size(); ++t) {
        if (written[t]) {
            continue;
        }
        static const Rows none;
        sheets.push_back(
            ChangedSheetWriter(stream, book.sheets[t], none, nullptr, strings, defaultXf)
                .write(nullptr));
        newSheets.push_back(t);
    }

    QByteArray out;
    out.reserve(layout.globals.empty()
                    ? 4096
                    : layout.globals.back().position + layout.globals.back().size + 64 * 1024);
    std::vector<qsizetype> positionFields; // one BOUNDSHEET position per sheet, in order
    size_t lastBoundSheet = layout.globals.size();
    for (size_t i = 0; i < layout.globals.size(); ++i) {
        if (layout.globals[i].type == kBoundSheet) {
            lastBoundSheet = i;
        }
    }
    auto appendNewBoundSheets = [&] {
        for (const size_t t : newSheets) {
            positionFields.push_back(out.size() + kRecordHeader);
            appendBoundSheet(out, book.sheets[t].name);
        }
    };
    bool stringsWritten = false;
    auto appendStrings = [&](qsizetype from) {
        std::vector<std::pair<qsizetype, qsizetype>> pieces;
        if (from >= 0) {
            for (size_t k = size_t(from); k < sstEnd; ++k) {
                const RecordSpan& span = layout.globals[k];
                const qsizetype at = out.size();
                out.append(stream.constData() + span.position, span.size);
                const qsizetype skip = k == size_t(from) ? 8 : 0;
                pieces.push_back({at + kRecordHeader + skip, span.size - kRecordHeader - skip});
                if (k == size_t(from)) {
                    bytes::put32(out.data() + at + kRecordHeader,
                                 readReferences + strings.references);
                    bytes::put32(out.data() + at + kRecordHeader + 4,
                                 readStrings + static_cast<uint32_t>(strings.texts.size()));
                }
            }
        }
        if (!strings.texts.empty()) {
            appendNewStrings(out, strings, pieces, from < 0);
        }
        if (from >= 0 || !strings.texts.empty()) {
            appendExtSst(out, std::move(pieces),
                         readStrings + static_cast<uint32_t>(strings.texts.size()));
        }
        stringsWritten = true;
    };
    for (size_t i = 0; i < layout.globals.size(); ++i) {
        const RecordSpan& span = layout.globals[i];
        if (qsizetype(i) == sstRecord) {
            appendStrings(sstRecord);
            i = sstEnd - 1;
            continue;
        }
        if (span.type == kExtSst) {
            continue;
        }
        if (span.type == kEof) {
            if (lastBoundSheet == layout.globals.size()) {
                appendNewBoundSheets();
            }
            if (!stringsWritten) {
                appendStrings(-1);
            }
        }
        if (span.type == kBoundSheet) {
            positionFields.push_back(out.size() + kRecordHeader);
        }
        out.append(stream.constData() + span.position, span.size);
        if (i == lastBoundSheet) {
            appendNewBoundSheets();
        }
    }

    if (positionFields.size() != sheets.size()) {
        fail(QStringLiteral("its list of sheets does not match the sheets it holds"));
    }
    std::vector<QByteArray> pieces{std::move(out)};
    qsizetype begin = pieces.front().size();
    for (size_t s = 0; s < sheets.size(); ++s) {
        SheetOut& sheet = sheets[s];
        bytes::put32(pieces.front().data() + positionFields[s], static_cast<uint32_t>(begin));
        for (const qsizetype field : sheet.positionFields) {
            char* p = sheet.bytes.data() + field;
            bytes::put32(p, static_cast<uint32_t>(bytes::u32(p) - sheet.base + begin));
        }
        begin += sheet.bytes.size();
        pieces.push_back(std::move(sheet.bytes));
    }
    return pieces;
}

} // namespace xls
