#include "spreadsheet/xls/keptbook.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bookreader.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/substream.h"

#include <algorithm>
#include <new>

namespace xls {

namespace {

using namespace xls::biff;

// The records from `position` to the end of the substream that starts there (its EOF
// included, embedded substreams counted); false when the stream ends first.
bool walkSubstream(const QByteArray& stream, qsizetype position, std::vector<RecordSpan>* spans,
                   qsizetype& end) {
    SubstreamDepth depth;
    qsizetype at = position;
    while (stream.size() - at >= kRecordHeader) {
        const char* header = stream.constData() + at;
        const RecordSpan span{bytes::u16(header), at, kRecordHeader + bytes::u16(header + 2)};
        if (stream.size() - at < span.size) {
            return false;
        }
        if (spans) {
            spans->push_back(span);
        }
        at += span.size;
        if (depth.next(span.type) == 1 && span.type == kEof) {
            end = at;
            return true;
        }
    }
    return false;
}

void scanLayout(BookLayout& layout, const Book& book) {
    const QByteArray& stream = layout.compound.workbook;
    qsizetype globalsEnd = 0;
    if (!walkSubstream(stream, 0, &layout.globals, globalsEnd)) {
        layout.problem = QStringLiteral("its workbook globals have no end");
        return;
    }
    int textSheets = 0;
    std::vector<std::pair<qsizetype, qsizetype>> places; // of the substreams, to see overlaps
    for (size_t i = 0; i < layout.globals.size(); ++i) {
        const RecordSpan& record = layout.globals[i];
        if (record.type != kBoundSheet) {
            continue;
        }
        const char* data = stream.constData() + record.position + kRecordHeader;
        SheetLayout sheet;
        sheet.boundSheet = i;
        sheet.begin = record.size >= kRecordHeader + boundsheet::kName
                          ? bytes::u32(data + boundsheet::kStreamPosition)
                          : -1;
        // Sheets follow the globals, in any order; a sheet found elsewhere is a file the reader
        // could only make sense of by guessing, which is no base for writing it back.
        if (sheet.begin < globalsEnd || sheet.begin + 8 > stream.size() ||
            bytes::u16(stream.constData() + sheet.begin) != kBof ||
            !walkSubstream(stream, sheet.begin, nullptr, sheet.end)) {
            layout.problem = QStringLiteral("its list of sheets does not match the sheets it "
                                            "holds (sheet %1 of the list does not start where "
                                            "the list says)")
                                 .arg(layout.sheets.size() + 1);
            return;
        }
        places.emplace_back(sheet.begin, sheet.end);
        const uint8_t kind = static_cast<uint8_t>(data[boundsheet::kSheetType]);
        const uint16_t substream =
            bytes::u16(stream.constData() + sheet.begin + kRecordHeader + bof::kSubstreamType);
        if (kind == 0 && substream == kWorksheet) {
            if (size_t(textSheets) >= book.sheets.size()) {
                layout.problem = QStringLiteral("its list of sheets does not match the sheets it "
                                                "holds");
                return;
            }
            sheet.textSheet = textSheets;
            sheet.name = book.sheets[size_t(textSheets)].name;
            ++textSheets;
        }
        layout.sheets.push_back(sheet);
    }
    std::sort(places.begin(), places.end());
    for (size_t k = 1; k < places.size(); ++k) {
        if (places[k].first < places[k - 1].second) {
            layout.problem = QStringLiteral("its list of sheets does not match the sheets it "
                                            "holds (two sheets of the list share records)");
            return;
        }
    }
    if (size_t(textSheets) != book.sheets.size()) {
        layout.problem = QStringLiteral("its list of sheets does not match the sheets it holds");
    }
}

} // namespace

KeptBook parseKeeping(const QByteArray& file) {
    try {
        auto layout = std::make_shared<BookLayout>();
        layout->file = file;
        layout->compound = readCompoundContent(layout->file);
        KeptBook kept;
        kept.book = readWorkbook(layout->compound.workbook);
        scanLayout(*layout, kept.book);
        kept.layout = std::move(layout);
        return kept;
    } catch (const std::bad_alloc&) {
        throw FormatError("The workbook is too large to load into memory");
    }
}

} // namespace xls
