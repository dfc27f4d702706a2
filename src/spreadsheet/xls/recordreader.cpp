#include "spreadsheet/xls/recordreader.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/xlsbook.h"

namespace xls {

RecordReader::RecordReader(const QByteArray& stream, qsizetype position)
    : stream(stream), at(position) {
    pieces.reserve(16);
}

bool RecordReader::next(Record& record) {
    const qsizetype size = stream.size();
    if (at < 0 || at + biff::kRecordHeader > size)
        return false;
    const char* base = stream.constData();
    const qsizetype length = bytes::u16(base + at + 2);
    if (at + biff::kRecordHeader + length > size)
        throw FormatError("The file is damaged or truncated (a record runs past the end of the "
                          "workbook)");
    record.type = bytes::u16(base + at);
    record.position = at;
    record.data = base + at + biff::kRecordHeader;
    record.length = length;
    at += biff::kRecordHeader + length;

    pieces.clear();
    pieces.push_back({record.data, length});
    while (at + biff::kRecordHeader <= size && bytes::u16(base + at) == biff::kContinue) {
        const qsizetype pieceLength = bytes::u16(base + at + 2);
        if (at + biff::kRecordHeader + pieceLength > size)
            throw FormatError("The file is damaged or truncated (a record runs past the end of "
                              "the workbook)");
        pieces.push_back({base + at + biff::kRecordHeader, pieceLength});
        at += biff::kRecordHeader + pieceLength;
    }
    record.pieces = &pieces;
    return true;
}

} // namespace xls
