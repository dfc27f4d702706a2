#include "spreadsheet/xls/recordreader.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/xlsbook.h"

namespace xls {

RecordReader::RecordReader(const QByteArray& stream, qsizetype position)
    : stream(stream), at(position) {
    pieces.reserve(16);
}

void RecordReader::failTruncated() {
    throw FormatError("The file is damaged or truncated (a record runs past the end of the "
                      "workbook)");
}

void RecordReader::gatherContinues() {
    const qsizetype size = stream.size();
    const char* base = stream.constData();
    while (at + biff::kRecordHeader <= size && bytes::u16(base + at) == biff::kContinue) {
        const qsizetype pieceLength = bytes::u16(base + at + 2);
        if (at + biff::kRecordHeader + pieceLength > size)
            failTruncated();
        pieces.push_back({base + at + biff::kRecordHeader, pieceLength});
        at += biff::kRecordHeader + pieceLength;
    }
}

} // namespace xls
