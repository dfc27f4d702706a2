#include "spreadsheet/xls/keptbook.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/biffrecords.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/keptrecords.h"
#include "spreadsheet/xls/keptsheet.h"
#include "spreadsheet/xls/recordbuffer.h"
#include "spreadsheet/xls/sstwriter.h"

#include <algorithm>

namespace xls {

namespace {

using namespace xls::biff;
using kept::CellFormats;
using kept::fail;
using kept::NewStrings;
using kept::Rows;
using kept::SheetOut;

// The cell format of new cells where no cell stood before: Excel's default cell format, the
// first after the 15 style formats every BIFF8 workbook starts with.
constexpr uint16_t kDefaultCellXf = 15;

// A record of the shared string table: where it starts, and where the strings in it start and
// how many bytes they take (the SST record's counts are no string).
struct StringRecord {
    qsizetype record;
    qsizetype data;
    qsizetype length;
};

// Walks the strings of the shared string table as written, for the EXTSST index.
class SstWalker {
public:
    SstWalker(const QByteArray& out, std::vector<StringRecord> pieces)
        : m_out(out), m_pieces(std::move(pieces)) {}

    bool atEnd() { return !settle(); }

    // Stream position of the next string and of the header of the record it starts in; false
    // when the table ends first.
    bool nextString(qsizetype& position, qsizetype& recordStart) {
        if (!settle()) {
            return false;
        }
        position = m_pieces[m_p].data + m_at;
        recordStart = m_pieces[m_p].record;
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
            if (m_at >= m_pieces[m_p].length) {
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
            const qsizetype take = std::min(remaining, (m_pieces[m_p].length - m_at) / charSize);
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
        while (m_p < m_pieces.size() && m_at >= m_pieces[m_p].length) {
            ++m_p;
            m_at = 0;
        }
        return m_p < m_pieces.size();
    }
    bool u8(uint8_t& v) {
        if (!settle()) {
            return false;
        }
        v = static_cast<uint8_t>(m_out[m_pieces[m_p].data + m_at]);
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
            const qsizetype take = std::min(count, m_pieces[m_p].length - m_at);
            m_at += take;
            count -= take;
        }
        return true;
    }

    const QByteArray& m_out;
    std::vector<StringRecord> m_pieces;
    size_t m_p = 0;
    qsizetype m_at = 0;
};

// Where a string of the shared string table starts, and where the record it starts in does.
struct StringPlace {
    qsizetype position;
    qsizetype recordStart;
};

// The places of the strings in the records pieces point into; false when the table ends in the
// middle of a string.
bool placeStrings(const QByteArray& records, std::vector<StringRecord> pieces,
                  std::vector<StringPlace>& places) {
    SstWalker walker(records, std::move(pieces));
    while (!walker.atEnd()) {
        StringPlace place{};
        if (!walker.nextString(place.position, place.recordStart)) {
            return false;
        }
        places.push_back(place);
    }
    return true;
}

// The shared string table as read: where its records are and where its strings start.
struct ReadTable {
    qsizetype sst = -1; // index of the SST record among the globals
    size_t end = 0;     // one past its last CONTINUE
    uint32_t references = 0;
    std::vector<StringPlace> places; // in the stream as read
};

ReadTable readStringTable(const BookLayout& layout) {
    ReadTable table;
    const auto& globals = layout.globals;
    for (size_t i = 0; i < globals.size() && table.sst < 0; ++i) {
        if (globals[i].type == kSst) {
            table.sst = qsizetype(i);
            table.end = i + 1;
            while (table.end < globals.size() && globals[table.end].type == kContinue) {
                ++table.end;
            }
        }
    }
    if (table.sst < 0) {
        return table;
    }
    const QByteArray& stream = layout.compound.workbook;
    const RecordSpan& sst = globals[size_t(table.sst)];
    if (sst.size < kRecordHeader + 8) {
        fail(QStringLiteral("its shared string table is damaged"));
    }
    table.references = bytes::u32(stream.constData() + sst.position + kRecordHeader);
    // Counted rather than taken from the record: some writers state more than they store,
    // and new strings must get the indexes right after the last one stored.
    std::vector<StringRecord> pieces;
    for (size_t k = size_t(table.sst); k < table.end; ++k) {
        const RecordSpan& span = globals[k];
        const qsizetype skip = k == size_t(table.sst) ? 8 : 0;
        pieces.push_back({span.position, span.position + kRecordHeader + skip,
                          span.size - kRecordHeader - skip});
    }
    if (!placeStrings(stream, std::move(pieces), table.places)) {
        fail(QStringLiteral("its shared string table is damaged"));
    }
    return table;
}

// New cells where no cell stood take Excel's default cell format, or the last format of a
// workbook that has fewer, unless their column or row names one.
CellFormats cellFormats(const BookLayout& layout) {
    int xfCount = 0;
    for (const RecordSpan& span : layout.globals) {
        xfCount += span.type == kXf;
    }
    return {static_cast<uint16_t>(std::clamp(xfCount - 1, 0, int(kDefaultCellXf))), xfCount};
}

class KeptStreamWriter {
public:
    KeptStreamWriter(const BookLayout& layout, const Book& book,
                     const std::vector<SheetChange>& changes)
        : m_layout(layout), m_stream(layout.compound.workbook), m_book(book), m_changes(changes),
          m_table(readStringTable(layout)), m_strings(static_cast<uint32_t>(m_table.places.size())),
          m_out(layout.globals.empty() ? 4096
                                       : layout.globals.back().position +
                                             layout.globals.back().size + qsizetype{64} * 1024,
                0) {}

    std::vector<QByteArray> write();

private:
    void writeSheets();
    void writeGlobals();
    void appendNewBoundSheets();
    void appendStrings();
    std::vector<QByteArray> assemble();

    const BookLayout& m_layout;
    const QByteArray& m_stream;
    const Book& m_book;
    const std::vector<SheetChange>& m_changes;
    const ReadTable m_table;
    NewStrings m_strings;
    std::vector<SheetOut> m_sheets;
    std::vector<size_t> m_newSheets;     // of Book::sheets, beyond those of the layout
    RecordBuffer m_out;                  // the globals as written
    std::vector<qsizetype> m_positionAt; // one BOUNDSHEET position per sheet, in order
    bool m_stringsWritten = false;
};

// Sheets first: their new cells decide the strings the globals hold.
void KeptStreamWriter::writeSheets() {
    static const Rows none;
    const CellFormats formats = cellFormats(m_layout);
    std::vector<bool> written(m_book.sheets.size(), false);
    for (const SheetLayout& entry : m_layout.sheets) {
        const int t = entry.textSheet;
        if (t >= 0 && size_t(t) < m_changes.size() && m_changes[size_t(t)].changed) {
            const SheetChange& change = m_changes[size_t(t)];
            m_sheets.push_back(
                kept::writeChangedSheet(m_stream, &entry, m_book.sheets[size_t(t)],
                                        change.originalRows ? *change.originalRows : none,
                                        change.lentRows, m_strings, formats));
        } else {
            m_sheets.push_back(kept::copySheet(m_stream, entry));
        }
        if (t >= 0) {
            written[size_t(t)] = true;
        }
    }
    for (size_t t = 0; t < m_book.sheets.size(); ++t) {
        if (!written[t]) {
            m_sheets.push_back(kept::writeChangedSheet(m_stream, nullptr, m_book.sheets[t], none,
                                                       nullptr, m_strings, formats));
            m_newSheets.push_back(t);
        }
    }
}

void KeptStreamWriter::appendNewBoundSheets() {
    for (const size_t t : m_newSheets) {
        m_positionAt.push_back(biff::appendBoundSheet(m_out, m_book.sheets[t].name));
    }
}

// The table as read, copied whole with its counts updated, then the new strings: they fill its
// last record before further CONTINUE records start, as readers expect the first strings in
// the SST record itself. Then the index of the whole table.
void KeptStreamWriter::appendStrings() {
    m_stringsWritten = true;
    const auto readCount = static_cast<uint32_t>(m_table.places.size());
    const auto newCount = static_cast<uint32_t>(m_strings.texts.size());
    if (m_table.sst < 0 && newCount == 0) {
        return;
    }
    SstWriter writer(m_out, readCount + newCount);
    std::vector<BucketStart> buckets;
    if (m_table.sst >= 0) {
        const auto& globals = m_layout.globals;
        // The strings move by as much as the table does.
        const qsizetype moved = m_out.position() - globals[size_t(m_table.sst)].position;
        qsizetype last = 0;
        for (size_t k = size_t(m_table.sst); k < m_table.end; ++k) {
            last = m_out.position();
            m_out.appendBytes(m_stream.constData() + globals[k].position, globals[k].size);
        }
        char* sst = m_out.at(globals[size_t(m_table.sst)].position + moved) + kRecordHeader;
        bytes::put32(sst, m_table.references + m_strings.references);
        bytes::put32(sst + 4, readCount + newCount);
        for (uint32_t i = 0; i < readCount && buckets.size() < kMaxExtSstBuckets;
             i += writer.perBucket()) {
            const StringPlace& place = m_table.places[i];
            buckets.push_back({static_cast<uint32_t>(place.position + moved),
                               static_cast<uint16_t>(place.position - place.recordStart)});
        }
        writer.resume(last, readCount);
    } else {
        writer.open(m_strings.references, newCount);
    }
    for (const QString& text : m_strings.texts) {
        writer.append(text, fitsInEightBits(text));
    }
    writer.close();
    buckets.insert(buckets.end(), writer.buckets.begin(), writer.buckets.end());
    if (buckets.size() > kMaxExtSstBuckets) {
        buckets.resize(kMaxExtSstBuckets);
    }
    appendExtSst(m_out, writer.perBucket(), buckets);
}

// The globals as read, with the string table and the sheet list grown and the old EXTSST
// replaced.
void KeptStreamWriter::writeGlobals() {
    const auto& globals = m_layout.globals;
    size_t lastBoundSheet = globals.size();
    for (size_t i = 0; i < globals.size(); ++i) {
        if (globals[i].type == kBoundSheet) {
            lastBoundSheet = i;
        }
    }
    for (size_t i = 0; i < globals.size(); ++i) {
        const RecordSpan& span = globals[i];
        if (qsizetype(i) == m_table.sst) {
            appendStrings();
            i = m_table.end - 1;
            continue;
        }
        if (span.type == kExtSst) {
            continue;
        }
        if (span.type == kEof) {
            if (lastBoundSheet == globals.size()) {
                appendNewBoundSheets();
            }
            if (!m_stringsWritten) {
                appendStrings();
            }
        }
        if (span.type == kBoundSheet) {
            m_positionAt.push_back(m_out.position() + kRecordHeader);
        }
        m_out.appendBytes(m_stream.constData() + span.position, span.size);
        if (i == lastBoundSheet) {
            appendNewBoundSheets();
        }
    }
}

// The globals, then the sheets, with every stream position set.
std::vector<QByteArray> KeptStreamWriter::assemble() {
    if (m_positionAt.size() != m_sheets.size()) {
        fail(QStringLiteral("its list of sheets does not match the sheets it holds"));
    }
    const qsizetype globalsSize = m_out.position();
    std::vector<QByteArray> pieces{m_out.take()};
    qsizetype begin = globalsSize;
    for (size_t s = 0; s < m_sheets.size(); ++s) {
        SheetOut& sheet = m_sheets[s];
        bytes::put32(pieces.front().data() + m_positionAt[s], static_cast<uint32_t>(begin));
        for (const qsizetype field : sheet.positionFields) {
            char* p = sheet.at(field);
            bytes::put32(p, static_cast<uint32_t>(bytes::u32(p) - sheet.base + begin));
        }
        begin += sheet.size();
        for (QByteArray& piece : sheet.takePieces()) {
            pieces.push_back(std::move(piece));
        }
    }
    return pieces;
}

std::vector<QByteArray> KeptStreamWriter::write() {
    writeSheets();
    writeGlobals();
    return assemble();
}

} // namespace

std::vector<QByteArray> writeKeptStream(const BookLayout& layout, const Book& book,
                                        const std::vector<SheetChange>& changes) {
    if (!layout.problem.isEmpty()) {
        fail(layout.problem);
    }
    return KeptStreamWriter(layout, book, changes).write();
}

} // namespace xls
