#include "spreadsheet/xls/keptbook.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/keptrecords.h"
#include "spreadsheet/xls/keptsheet.h"
#include "spreadsheet/xls/recordbuffer.h"

#include <algorithm>

namespace xls {

namespace {

using namespace xls::biff;
using kept::appendRecordHeader;
using kept::fail;
using kept::NewStrings;
using kept::Rows;
using kept::SheetOut;

// The cell format of new cells where no cell stood before: Excel's default cell format, the
// first after the 15 style formats every BIFF8 workbook starts with.
constexpr uint16_t kDefaultCellXf = 15;
// EXTSST: at least 8 strings a bucket, about 128 buckets, never more than one record holds.
constexpr size_t kMaxBuckets = 1000;

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

// Appends the new strings in CONTINUE records of their own (a string may start a record), and
// returns the data pieces they take.
void appendNewStrings(QByteArray& out, const NewStrings& strings, std::vector<StringRecord>& pieces,
                      bool sstOfItsOwn) {
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
        pieces.push_back({record, record + kRecordHeader + skip, used - skip});
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

void appendExtSst(QByteArray& out, const std::vector<StringPlace>& places) {
    const auto stringCount = static_cast<uint32_t>(places.size());
    const uint16_t perBucket = static_cast<uint16_t>(
        std::min<uint32_t>(std::max<uint32_t>(8, (stringCount + 127) / 128), 0xFFFF));
    QByteArray buckets;
    for (uint32_t i = 0; i < stringCount && size_t(buckets.size() / 8) < kMaxBuckets;
         i += perBucket) {
        bytes::append32(buckets, static_cast<uint32_t>(places[i].position));
        bytes::append16(buckets, static_cast<uint16_t>(places[i].position - places[i].recordStart));
        bytes::append16(buckets, 0);
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
    std::vector<StringPlace> readPlaces; // in the stream as read
    if (sstRecord >= 0) {
        const RecordSpan& sst = layout.globals[size_t(sstRecord)];
        if (sst.size < kRecordHeader + 8) {
            fail(QStringLiteral("its shared string table is damaged"));
        }
        readReferences = bytes::u32(stream.constData() + sst.position + kRecordHeader);
        // Counted rather than taken from the record: some writers state more than they store,
        // and new strings must get the indexes right after the last one stored.
        std::vector<StringRecord> pieces;
        for (size_t k = size_t(sstRecord); k < sstEnd; ++k) {
            const RecordSpan& span = layout.globals[k];
            const qsizetype skip = k == size_t(sstRecord) ? 8 : 0;
            pieces.push_back({span.position, span.position + kRecordHeader + skip,
                              span.size - kRecordHeader - skip});
        }
        if (!placeStrings(stream, std::move(pieces), readPlaces)) {
            fail(QStringLiteral("its shared string table is damaged"));
        }
        readStrings = static_cast<uint32_t>(readPlaces.size());
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
            sheets.push_back(kept::writeChangedSheet(
                stream, &entry, book.sheets[size_t(t)], original ? *original : none,
                changes[size_t(t)].lentRows, strings, defaultXf));
        } else {
            sheets.push_back(kept::copySheet(stream, entry));
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
        sheets.push_back(kept::writeChangedSheet(stream, nullptr, book.sheets[t], none, nullptr,
                                                 strings, defaultXf));
        newSheets.push_back(t);
    }

    QByteArray out;
    out.reserve(layout.globals.empty() ? 4096
                                       : layout.globals.back().position +
                                             layout.globals.back().size + qsizetype{64} * 1024);
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
        std::vector<StringPlace> places;
        if (from >= 0) {
            // The table as read is copied whole, so its strings move by as much as it does.
            const qsizetype moved = out.size() - layout.globals[size_t(from)].position;
            for (size_t k = size_t(from); k < sstEnd; ++k) {
                const RecordSpan& span = layout.globals[k];
                const qsizetype at = out.size();
                out.append(stream.constData() + span.position, span.size);
                if (k == size_t(from)) {
                    bytes::put32(out.data() + at + kRecordHeader,
                                 readReferences + strings.references);
                    bytes::put32(out.data() + at + kRecordHeader + 4,
                                 readStrings + static_cast<uint32_t>(strings.texts.size()));
                }
            }
            places.reserve(readPlaces.size() + strings.texts.size());
            for (const StringPlace& place : readPlaces) {
                places.push_back({place.position + moved, place.recordStart + moved});
            }
        }
        if (!strings.texts.empty()) {
            std::vector<StringRecord> pieces;
            appendNewStrings(out, strings, pieces, from < 0);
            if (!placeStrings(out, std::move(pieces), places)) {
                fail(QStringLiteral("its shared string table cannot be read to the end"));
            }
        }
        if (from >= 0 || !strings.texts.empty()) {
            appendExtSst(out, places);
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

} // namespace xls
