#include "spreadsheet/xls/bookwriter.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/biffrecords.h"
#include "spreadsheet/xls/recordbuffer.h"
#include "spreadsheet/xls/sharedstrings.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace xls {

// Columns a row uses: [first, end), with `cells` text cells among them. Empty when
// first == end.
struct RowSpan {
    uint16_t first = 0;
    uint16_t end = 0;
    uint16_t cells = 0;
};

// What writing a sheet needs besides its cells: the used columns of each row and the bounds.
struct SheetPlan {
    std::vector<RowSpan> rows;
    int firstRow = -1;
    int lastRow = -1;
    int firstColumn = kMaxColumns;
    int lastColumn = -1;
    size_t usedRows = 0;
    size_t cellCount = 0;
};

namespace {

using namespace xls::biff;

constexpr uint16_t kCodePageUtf16 = 1200;
constexpr int kStyleXfCount = 15; // Excel expects the 15 built-in style XFs before cell XFs
constexpr uint16_t kCellXf = kStyleXfCount;
constexpr int kFontCount = 4;     // font index 4 is never used in BIFF, so 4 fonts form a set
constexpr int kRowsPerBlock = 32; // Excel groups ROW records and their cells by 32 rows
// Sheets are handed out in pieces of about this size, so that writing a large book never needs
// a buffer of the file's size.
constexpr qsizetype kPieceBytes = qsizetype(128) * 1024;

SheetPlan planSheet(const Sheet& sheet, SharedStringTable& strings,
                    std::vector<uint32_t>& cellStrings) {
    SheetPlan plan;
    const size_t rowCount = std::min(sheet.rows.size(), static_cast<size_t>(kMaxRows));
    plan.rows.resize(rowCount);
    for (size_t r = 0; r < rowCount; ++r) {
        const auto& row = sheet.rows[r];
        const size_t columnCount = std::min(row.size(), static_cast<size_t>(kMaxColumns));
        int first = -1;
        int last = -1;
        int cells = 0;
        for (size_t c = 0; c < columnCount; ++c) {
            if (row[c].isEmpty()) {
                continue;
            }
            if (first < 0) {
                first = static_cast<int>(c);
            }
            last = static_cast<int>(c);
            cellStrings.push_back(strings.add(row[c]));
            ++cells;
        }
        if (first < 0) {
            continue;
        }
        plan.cellCount += static_cast<size_t>(cells);
        plan.rows[r] = {static_cast<uint16_t>(first), static_cast<uint16_t>(last + 1),
                        static_cast<uint16_t>(cells)};
        ++plan.usedRows;
        if (plan.firstRow < 0) {
            plan.firstRow = static_cast<int>(r);
        }
        plan.lastRow = static_cast<int>(r);
        plan.firstColumn = std::min(plan.firstColumn, first);
        plan.lastColumn = std::max(plan.lastColumn, last);
    }
    return plan;
}

void writeBof(RecordBuffer& out, uint16_t substream) {
    putBof(out.appendRaw(kBofRecordBytes), substream);
}

void writeFont(RecordBuffer& out) {
    static const char kName[] = "Arial";
    char* p = out.appendRecord(kFont, 14 + 2 + 5);
    bytes::put16(p, 200);        // 10 points, in twentieths
    bytes::put16(p + 4, 0x7FFF); // automatic colour
    bytes::put16(p + 6, 400);    // normal weight
    p[14] = 5;
    p[15] = 0; // 8-bit characters
    std::copy(kName, kName + 5, p + 16);
}

void writeXf(RecordBuffer& out, uint16_t typeAndParent, uint8_t unusedAttributes) {
    char* p = out.appendRecord(kXf, 20);
    bytes::put16(p + 4, typeAndParent);
    p[6] = 0x20; // bottom aligned
    p[9] = static_cast<char>(unusedAttributes);
    bytes::put16(p + 18, 0x20C0); // default pattern colours
}

void writeGlobalsHead(RecordBuffer& out) {
    writeBof(out, kGlobals);
    bytes::put16(out.appendRecord(kCodePage, 2), kCodePageUtf16);

    char* window = out.appendRecord(kWindow1, 18);
    bytes::put16(window, 0x01E0);
    bytes::put16(window + 2, 0x005A);
    bytes::put16(window + 4, 0x3FCF);
    bytes::put16(window + 6, 0x2A4E);
    bytes::put16(window + 8, 0x0038); // horizontal and vertical scroll bars, sheet tabs
    bytes::put16(window + 14, 1);     // one selected sheet
    bytes::put16(window + 16, 0x0258);

    bytes::put16(out.appendRecord(kDateMode, 2), 0); // dates count from 1900
    for (int i = 0; i < kFontCount; ++i) {
        writeFont(out);
    }
    // Style XF 0 is "Normal"; the other 14 style XFs inherit everything from it.
    writeXf(out, 0xFFF5, 0x00);
    for (int i = 1; i < kStyleXfCount; ++i) {
        writeXf(out, 0xFFF5, 0xF4);
    }
    writeXf(out, 0x0001, 0x00); // the one cell XF: locked, parent style 0

    char* style = out.appendRecord(kStyle, 4);
    bytes::put16(style, 0x8000); // built-in style on XF 0
    style[2] = 0;                // Normal
    style[3] = static_cast<char>(0xFF);
}

void writeDimensions(RecordBuffer& out, const SheetPlan& plan) {
    const bool any = plan.firstRow >= 0;
    putDimensions(out.appendRaw(kDimensionsRecordBytes),
                  any ? static_cast<uint32_t>(plan.firstRow) : 0,
                  any ? static_cast<uint32_t>(plan.lastRow + 1) : 0,
                  any ? static_cast<uint16_t>(plan.firstColumn) : 0,
                  any ? static_cast<uint16_t>(plan.lastColumn + 1) : 0);
}

// Writes the rows a block at a time, handing what is written to `flush` whenever a piece is
// full. Each block's records are laid out in one stretch of the buffer, its size known from
// the plan. False as soon as `flush` fails.
bool writeCells(RecordBuffer& out, const Sheet& sheet, const SheetPlan& plan,
                const uint32_t*& cellString, const WorkbookStreamWriter::PieceWriter& flush) {
    const int rowCount = static_cast<int>(plan.rows.size());
    for (int blockStart = 0; blockStart < rowCount; blockStart += kRowsPerBlock) {
        const int blockEnd = std::min(rowCount, blockStart + kRowsPerBlock);
        qsizetype blockBytes = 0;
        for (int r = blockStart; r < blockEnd; ++r) {
            if (plan.rows[r].first != plan.rows[r].end) {
                blockBytes += kRowRecordBytes + plan.rows[r].cells * kLabelSstRecordBytes;
            }
        }
        char* p = out.appendRaw(blockBytes);
        for (int r = blockStart; r < blockEnd; ++r) {
            if (plan.rows[r].first != plan.rows[r].end) {
                p = putRow(p, static_cast<uint16_t>(r), plan.rows[r].first, plan.rows[r].end,
                           kCellXf);
            }
        }
        for (int r = blockStart; r < blockEnd; ++r) {
            const RowSpan span = plan.rows[r];
            const QString* row = sheet.rows[r].data();
            for (int c = span.first; c < span.end; ++c) {
                if (!row[c].isEmpty()) {
                    p = putLabelSst(p, static_cast<uint16_t>(r), static_cast<uint16_t>(c), kCellXf,
                                    *cellString++);
                }
            }
        }
        if (out.position() >= kPieceBytes) {
            if (!flush(out.written())) {
                return false;
            }
            out.clear();
        }
    }
    return true;
}

void writeWindow2(RecordBuffer& out, bool selected) {
    putWindow2(out.appendRaw(kWindow2RecordBytes), selected);
}

bool writeSheet(RecordBuffer& out, const Sheet& sheet, const SheetPlan& plan, bool first,
                const uint32_t*& cellString, const WorkbookStreamWriter::PieceWriter& flush) {
    writeBof(out, kWorksheet);
    writeDimensions(out, plan);
    if (!writeCells(out, sheet, plan, cellString, flush)) {
        return false;
    }
    writeWindow2(out, first);
    out.appendRecord(kEof, 0);
    return true;
}

// The bytes writeSheet writes: BOF, DIMENSIONS, a ROW per used row, a LABELSST per cell,
// WINDOW2 and EOF, each with its 4-byte record header.
qsizetype sheetBytes(const SheetPlan& plan) {
    return (kRecordHeader + bof::kSize) + (kRecordHeader + dimensions::kSize) +
           static_cast<qsizetype>(plan.usedRows) * kRowRecordBytes +
           static_cast<qsizetype>(plan.cellCount) * kLabelSstRecordBytes +
           (kRecordHeader + window2::kSize) + kRecordHeader;
}

} // namespace

WorkbookStreamWriter::WorkbookStreamWriter(const Book& book) : m_book(book) {
    SharedStringTable strings;
    size_t cellSlots = 0;
    for (const Sheet& sheet : book.sheets) {
        for (const auto& row : sheet.rows) {
            cellSlots += row.size();
        }
    }
    m_cellStrings.reserve(cellSlots);
    m_plans.reserve(book.sheets.size());
    for (const Sheet& sheet : book.sheets) {
        m_plans.push_back(planSheet(sheet, strings, m_cellStrings));
    }

    qsizetype expected = 1024 + strings.sizeBound();
    for (const Sheet& sheet : book.sheets) {
        expected += 64 + sheet.name.size() * 2;
    }
    RecordBuffer out(expected, 0);
    writeGlobalsHead(out);
    std::vector<qsizetype> sheetOffsetFields;
    for (const Sheet& sheet : book.sheets) {
        sheetOffsetFields.push_back(appendBoundSheet(out, sheet.name));
    }
    strings.write(out);
    out.appendRecord(kEof, 0);

    // The sheets follow the globals in order; their sizes are known from the plans.
    m_totalBytes = out.position();
    for (size_t i = 0; i < m_plans.size(); ++i) {
        bytes::put32(out.at(sheetOffsetFields[i]), static_cast<uint32_t>(m_totalBytes));
        m_totalBytes += sheetBytes(m_plans[i]);
    }
    m_globals = out.take();
}

WorkbookStreamWriter::~WorkbookStreamWriter() = default;

bool WorkbookStreamWriter::writeTo(const PieceWriter& write) const {
    if (!write(m_globals)) {
        return false;
    }
    RecordBuffer out(kPieceBytes + kPieceBytes / 4, 0);
    const uint32_t* cellString = m_cellStrings.data();
    for (size_t i = 0; i < m_book.sheets.size(); ++i) {
        if (!writeSheet(out, m_book.sheets[i], m_plans[i], i == 0, cellString, write)) {
            return false;
        }
    }
    return out.position() == 0 || write(out.written());
}

QByteArray writeWorkbookStream(const Book& book) {
    const WorkbookStreamWriter writer(book);
    QByteArray stream;
    stream.reserve(writer.size());
    // Appending to memory never refuses a piece.
    const bool complete = writer.writeTo([&stream](QByteArrayView piece) {
        stream.append(piece);
        return true;
    });
    Q_ASSERT(complete && stream.size() == writer.size());
    return stream;
}

} // namespace xls
