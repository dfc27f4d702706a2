#include "spreadsheet/xls/recordreader.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/xlsbook.h"

namespace xls {

RecordReader::RecordReader(const QByteArray& stream, qsizetype position)
    : m_stream(stream), m_at(position) {
    m_pieces.reserve(16);
}

void RecordReader::failTruncated() {
    throw FormatError("The file is damaged or truncated (a record runs past the end of the "
                      "workbook)");
}

void RecordReader::gatherContinues() {
    const qsizetype size = m_stream.size();
    const char* base = m_stream.constData();
    while (m_at + biff::kRecordHeader <= size && bytes::u16(base + m_at) == biff::kContinue) {
        const qsizetype pieceLength = bytes::u16(base + m_at + 2);
        if (m_at + biff::kRecordHeader + pieceLength > size) {
            failTruncated();
        }
        m_pieces.push_back({base + m_at + biff::kRecordHeader, pieceLength});
        m_at += biff::kRecordHeader + pieceLength;
    }
}

} // namespace xls
