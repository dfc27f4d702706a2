#include "spreadsheet/xls/bookreader.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/continuedstring.h"
#include "spreadsheet/xls/numbertext.h"
#include "spreadsheet/xls/readbudget.h"
#include "spreadsheet/xls/recordreader.h"
#include "spreadsheet/xls/substream.h"

#include <algorithm>
#include <optional>

namespace xls {

namespace {

using namespace xls::biff;

[[noreturn]] void fail(const QString& reason) {
    throw FormatError(reason.toStdString());
}

[[noreturn]] void failDamaged(const char* what) {
    fail(QStringLiteral("The file is damaged (%1)").arg(QLatin1String(what)));
}

// Records of a fixed layout hold at least its fields.
void requireLength(const Record& record, qsizetype length, const char* name) {
    if (record.length < length) {
        fail(QStringLiteral("The file is damaged (a %1 record holds %2 bytes, fewer than the %3 "
                            "its fields take)")
                 .arg(QLatin1String(name))
                 .arg(record.length)
                 .arg(length));
    }
}

struct SheetEntry {
    QString name;
    uint32_t position = 0;
    uint8_t kind = 0; // 0 worksheet, 1 macro sheet, 2 chart, 6 Visual Basic module
};

struct Globals {
    std::vector<SheetEntry> sheets;
    std::vector<QString> strings;
    qsizetype end = 0; // stream offset just after the globals' EOF
};

QString errorText(uint8_t code) {
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    default:
        return QStringLiteral("#N/A");
    }
}

QString booleanText(uint8_t value) {
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

// The type of the substream a BOF record opens.
uint16_t substreamType(const Record& bof) {
    if (bof.type != kBof) {
        failDamaged("a sheet does not start with a BOF record");
    }
    requireLength(bof, bof::kSubstreamType + 2, "BOF");
    return bytes::u16(bof.data + bof::kSubstreamType);
}

// The first BOF of the stream tells the BIFF version of the whole file.
void checkVersion(const Record& bof) {
    if (bof.type == kBofBiff2 || bof.type == kBofBiff3 || bof.type == kBofBiff4) {
        fail(QStringLiteral("The file is a workbook of an Excel version older than Excel 97; "
                            "save it as Excel 97-2003 first"));
    }
    requireLength(bof, bof::kSubstreamType + 2, "BOF");
    const uint16_t version = bytes::u16(bof.data + bof::kVersion);
    if (bof.type == kBof && version == kVersionBiff5) {
        fail(QStringLiteral("The file is an Excel 5.0/95 workbook (BIFF5), an older format "
                            "than Excel 97-2003; save it as Excel 97-2003 first"));
    }
    if (bof.type == kBof && version != kVersionBiff8) {
        fail(QStringLiteral("The file is a workbook of an unsupported Excel version (BIFF "
                            "version 0x%1)")
                 .arg(version, 4, 16, QLatin1Char('0')));
    }
}

SheetEntry readBoundSheet(const Record& record) {
    requireLength(record, boundsheet::kName, "BOUNDSHEET");
    SheetEntry entry;
    entry.position = bytes::u32(record.data + boundsheet::kStreamPosition);
    entry.kind = static_cast<uint8_t>(record.data[boundsheet::kSheetType]);
    const int count = static_cast<uint8_t>(record.data[boundsheet::kNameLength]);
    const bool highByte = record.data[boundsheet::kNameFlags] & kStringHighByte;
    requireLength(record, boundsheet::kName + count * (highByte ? 2 : 1), "BOUNDSHEET");
    const char* chars = record.data + boundsheet::kName;
    if (highByte) {
        entry.name.resize(count);
        for (int i = 0; i < count; ++i) {
            entry.name[i] = QChar(bytes::u16(chars + qsizetype(2) * i));
        }
    } else {
        entry.name = QString::fromLatin1(chars, count);
    }
    return entry;
}

std::vector<QString> readSharedStrings(const Record& record) {
    ContinuedStringReader reader(*record.pieces);
    reader.u32(); // references, not needed
    const uint32_t unique = reader.u32();
    std::vector<QString> strings;
    // Each string takes at least three bytes, which bounds a damaged count.
    qsizetype dataBytes = 0;
    for (const RecordPiece& p : *record.pieces) {
        dataBytes += p.length;
    }
    strings.reserve(std::min<qsizetype>(unique, dataBytes / 3));
    // Some writers state a larger count than they store; a cell that refers past the strings
    // read is caught where it is used.
    for (uint32_t i = 0; i < unique && !reader.atEnd(); ++i) {
        strings.push_back(reader.richExtendedString());
    }
    return strings;
}

Globals readGlobals(const QByteArray& stream, ReadBudget& budget) {
    RecordReader reader(stream, 0);
    Record record;
    if (!reader.next(record)) {
        failDamaged("the workbook stream is empty");
    }
    checkVersion(record);
    if (substreamType(record) != kGlobals) {
        fail(QStringLiteral("The file holds no Excel workbook (its first part is not the "
                            "workbook globals)"));
    }
    Globals globals;
    while (reader.next(record)) {
        switch (record.type) {
        case kFilePass:
            fail(QStringLiteral("The file is a password-protected (encrypted) workbook; remove "
                                "the password first"));
        case kBoundSheet:
            budget.countSheet();
            globals.sheets.push_back(readBoundSheet(record));
            break;
        case kSst:
            globals.strings = readSharedStrings(record);
            break;
        case kEof:
            globals.end = reader.position();
            return globals;
        default:
            break;
        }
    }
    failDamaged("the workbook globals end without an EOF record");
}

// The widths that ROW records announce, kept apart from the rows until a cell arrives: a ROW
// record is also written for an empty row that only has a height or a format, and making
// every row up to it would cost 1.5 MB for one record at the last row. One table serves all
// sheets of a book; only the rows set are cleared between sheets.
class RowWidthHints {
public:
    void set(uint16_t row, uint16_t width) {
        if (m_widths.empty()) {
            m_widths.resize(kMaxRows);
        }
        if (m_widths[row] == 0) {
            m_touched.push_back(row);
        }
        m_widths[row] = width;
    }
    uint16_t width(uint16_t row) const { return m_widths.empty() ? 0 : m_widths[row]; }
    void clear() {
        for (uint16_t row : m_touched) {
            m_widths[row] = 0;
        }
        m_touched.clear();
    }

private:
    std::vector<uint16_t> m_widths;
    std::vector<uint16_t> m_touched;
};

class SheetReader {
public:
    SheetReader(const std::vector<QString>& strings, Sheet& sheet, ReadBudget& budget,
                RowWidthHints& hints)
        : m_strings(strings), m_stringCount(strings.size()), m_sheet(sheet), m_budget(budget),
          m_hints(hints) {}

    // Reads the records of a worksheet substream up to its EOF; `reader` stands after its BOF.
    void read(RecordReader& reader);

private:
    void onRecord(const Record& record);
    // Inline for the cells that land in the room their ROW record made, which is nearly all:
    // a sheet has a million cells. The copy is swapped in so that it stays inline too.
    void setCell(uint16_t row, uint16_t column, const QString& text) {
        if (row < m_sheet.rows.size() && column < m_sheet.rows[row].size() && !text.isEmpty()) {
            QString copy(text);
            m_sheet.rows[row][column].swap(copy);
            return;
        }
        setCellAnywhere(row, column, text);
    }
    void setCellAnywhere(uint16_t row, uint16_t column, const QString& text);
    void setNumber(uint16_t row, uint16_t column, double value) {
        setCell(row, column, numberText(value));
    }
    void onFormula(const Record& record);
    void onMulRk(const Record& record);
    std::vector<QString>& rowAt(uint16_t row) {
        m_budget.grow(m_sheet.rows, size_t{row} + 1, kMaxRows);
        return m_sheet.rows[row];
    }

    const std::vector<QString>& m_strings;
    const size_t m_stringCount;
    Sheet& m_sheet;
    ReadBudget& m_budget;
    RowWidthHints& m_hints;
    // The cell of the last formula whose string result follows in a STRING record.
    std::optional<std::pair<uint16_t, uint16_t>> m_pendingString;
};

void SheetReader::read(RecordReader& reader) {
    Record record;
    SubstreamDepth depth(1); // embedded charts bring their own BOF ... EOF
    qsizetype before = reader.position();
    while (reader.next(record)) {
        m_budget.chargeSheetBytes(reader.position() - before);
        before = reader.position();
        const int at = depth.next(record.type);
        if (record.type == kEof && at == 1) {
            return;
        }
        if (at == 1 && record.type != kEof) {
            onRecord(record);
        }
    }
    failDamaged("a sheet ends without an EOF record");
}

void SheetReader::setCellAnywhere(uint16_t row, uint16_t column, const QString& text) {
    if (column >= kMaxColumns) {
        fail(QStringLiteral("Sheet \"%1\" has a cell beyond column %2 (row %3), more than an "
                            "Excel 97-2003 workbook can hold")
                 .arg(m_sheet.name)
                 .arg(kMaxColumns)
                 .arg(row + 1));
    }
    auto& rows = m_sheet.rows;
    if (text.isEmpty()) {
        if (row < rows.size() && column < rows[row].size()) {
            rows[row][column].clear();
        }
        return;
    }
    auto& cells = rowAt(row);
    if (column >= cells.size()) {
        // The row's first cell makes room for the width its ROW record announced.
        const size_t width = std::max<size_t>(size_t{column} + 1, m_hints.width(row));
        m_budget.grow(cells, width, kMaxColumns);
    }
    cells[column] = text;
}

void SheetReader::onFormula(const Record& record) {
    requireLength(record, formula::kMinSize, "FORMULA");
    const char* d = record.data;
    const uint16_t row = bytes::u16(d + cell::kRow);
    const uint16_t column = bytes::u16(d + cell::kColumn);
    m_pendingString.reset();
    if (bytes::u16(d + formula::kResultMarker) != formula::kResultIsNoNumber) {
        setNumber(row, column, bytes::f64(d + formula::kResult));
        return;
    }
    switch (static_cast<uint8_t>(d[formula::kResult])) {
    case 0:
        m_pendingString = std::make_pair(row, column);
        break;
    case 1:
        setCell(row, column, booleanText(static_cast<uint8_t>(d[formula::kResultValue])));
        break;
    case 2:
        setCell(row, column, errorText(static_cast<uint8_t>(d[formula::kResultValue])));
        break;
    default: // 3: an empty string
        setCell(row, column, QString());
        break;
    }
}

void SheetReader::onMulRk(const Record& record) {
    requireLength(record, mulrk::kMinSize, "MULRK");
    const uint16_t row = bytes::u16(record.data + cell::kRow);
    const uint16_t first = bytes::u16(record.data + mulrk::kFirstColumn);
    // The cells, then the last column's number (2 bytes).
    const qsizetype count = (record.length - mulrk::kCells - 2) / mulrk::kCellSize;
    for (qsizetype i = 0; i < count; ++i) {
        const uint32_t rk =
            bytes::u32(record.data + mulrk::kCells + mulrk::kCellSize * i + mulrk::kRkInCell);
        const qsizetype column = first + i;
        if (column > 0xFFFF) {
            failDamaged("a MULRK record runs past column 65,536");
        }
        setNumber(row, static_cast<uint16_t>(column), rkNumber(rk));
    }
}

void SheetReader::onRecord(const Record& record) {
    const char* d = record.data;
    // Nearly every record of a sheet is a shared-string cell: tested before the others.
    if (record.type == kLabelSst) {
        requireLength(record, labelsst::kSize, "LABELSST");
        const uint32_t index = bytes::u32(d + labelsst::kStringIndex);
        if (index >= m_stringCount) {
            failDamaged("a cell refers to a shared string beyond the table's end");
        }
        setCell(bytes::u16(d + cell::kRow), bytes::u16(d + cell::kColumn), m_strings[index]);
        return;
    }
    switch (record.type) {
    case kLabel:
    case kRString: {
        requireLength(record, label::kMinSize, "LABEL");
        ContinuedStringReader reader(*record.pieces, label::kString);
        setCell(bytes::u16(d + cell::kRow), bytes::u16(d + cell::kColumn), reader.plainString());
        break;
    }
    case kNumber:
        requireLength(record, number::kSize, "NUMBER");
        setNumber(bytes::u16(d + cell::kRow), bytes::u16(d + cell::kColumn),
                  bytes::f64(d + cell::kValue));
        break;
    case kRk:
        requireLength(record, rk::kSize, "RK");
        setNumber(bytes::u16(d + cell::kRow), bytes::u16(d + cell::kColumn),
                  rkNumber(bytes::u32(d + cell::kValue)));
        break;
    case kMulRk:
        onMulRk(record);
        break;
    case kBoolErr: {
        requireLength(record, boolerr::kSize, "BOOLERR");
        const auto value = static_cast<uint8_t>(d[boolerr::kValue]);
        setCell(bytes::u16(d + cell::kRow), bytes::u16(d + cell::kColumn),
                d[boolerr::kIsError] ? errorText(value) : booleanText(value));
        break;
    }
    case kFormula:
    case kFormulaBiff3:
    case kFormulaBiff4:
        onFormula(record);
        break;
    case kString:
        if (m_pendingString) {
            ContinuedStringReader reader(*record.pieces);
            setCell(m_pendingString->first, m_pendingString->second, reader.plainString());
            m_pendingString.reset();
        }
        break;
    case kRow:
        // A hint for the width of the row, whose cells are made at once when its first cell
        // comes; cells beyond it are still accepted, and cells left empty are trimmed at the end.
        // Some writers (Gnumeric) give every row the whole width of the sheet: that says nothing
        // about the row, and made at once it would charge 256 slots to a row of three cells.
        requireLength(record, row::kEndColumn + 2, "ROW");
        if (const uint16_t end = bytes::u16(d + row::kEndColumn); end < kMaxColumns) {
            m_hints.set(bytes::u16(d + row::kRow), end);
        }
        break;
    default:
        break;
    }
}

// Offsets of the substreams after the globals, in order: the fallback when a BOUNDSHEET
// record points to the wrong place.
std::vector<qsizetype> substreamOffsets(const QByteArray& stream, qsizetype start) {
    std::vector<qsizetype> offsets;
    RecordReader reader(stream, start);
    Record record;
    SubstreamDepth depth;
    qsizetype before = reader.position();
    while (reader.next(record)) {
        if (depth.next(record.type) == 1 && record.type == kBof) {
            offsets.push_back(before);
        }
        before = reader.position();
    }
    return offsets;
}

// Sheets follow the globals; a BOUNDSHEET offset anywhere else is damage.
bool isSheetStart(const QByteArray& stream, qsizetype position, qsizetype globalsEnd) {
    return position >= globalsEnd && position + 8 <= stream.size() &&
           bytes::u16(stream.constData() + position) == kBof;
}

// Empty cells at the end of a row and empty rows at the end of a sheet are no content. The
// memory they took is given back: a damaged width or a cleared cell may have made it large.
void trimEmptyTails(Sheet& sheet) {
    for (auto& row : sheet.rows) {
        while (!row.empty() && row.back().isEmpty()) {
            row.pop_back();
        }
        if (row.capacity() > row.size()) {
            row.shrink_to_fit();
        }
    }
    while (!sheet.rows.empty() && sheet.rows.back().empty()) {
        sheet.rows.pop_back();
    }
    if (sheet.rows.capacity() > sheet.rows.size()) {
        sheet.rows.shrink_to_fit();
    }
}

} // namespace

Book readWorkbook(const QByteArray& stream, qsizetype maxSlots) {
    ReadBudget budget(stream.size(), maxSlots);
    const Globals globals = readGlobals(stream, budget);
    Book book;
    RowWidthHints hints;
    std::optional<std::vector<qsizetype>> fallbackOffsets;
    for (size_t i = 0; i < globals.sheets.size(); ++i) {
        const SheetEntry& entry = globals.sheets[i];
        if (entry.kind != 0) {
            continue;
        }
        qsizetype position = entry.position;
        if (!isSheetStart(stream, position, globals.end)) {
            if (!fallbackOffsets) {
                fallbackOffsets = substreamOffsets(stream, globals.end);
            }
            if (i >= fallbackOffsets->size()) {
                fail(QStringLiteral("The file is damaged (the cells of sheet \"%1\" are missing)")
                         .arg(entry.name));
            }
            position = (*fallbackOffsets)[i];
        }
        RecordReader reader(stream, position);
        Record bof;
        reader.next(bof);
        budget.chargeSheetBytes(reader.position() - position);
        if (substreamType(bof) != kWorksheet) {
            continue; // a chart or macro sheet listed as a worksheet: left out like the others
        }
        Sheet sheet;
        sheet.name = entry.name;
        SheetReader(globals.strings, sheet, budget, hints).read(reader);
        hints.clear();
        trimEmptyTails(sheet);
        book.sheets.push_back(std::move(sheet));
    }
    return book;
}

} // namespace xls
