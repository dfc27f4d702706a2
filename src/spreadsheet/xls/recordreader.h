#pragma once

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace xls {

// Bytes of one record spread over the record and the CONTINUE records that follow it.
struct RecordPiece {
    const char* data;
    qsizetype length;
};

struct Record {
    uint16_t type = 0;
    qsizetype position = 0; // stream offset of the record header
    const char* data = nullptr;
    qsizetype length = 0;
    // The record's own data first, then each CONTINUE record's data.
    const std::vector<RecordPiece>* pieces = nullptr;
};

// Walks the BIFF records of a Workbook stream from a given offset. A record whose length runs
// past the end of the stream ends the walk with FormatError.
class RecordReader {
public:
    RecordReader(const QByteArray& stream, qsizetype position);

    // Reads the next record with its CONTINUE records. False at the end of the stream.
    // Always inline: a sheet is a million small cell records read one after the other.
    [[gnu::always_inline]] bool next(Record& record) {
        const qsizetype size = m_stream.size();
        if (m_at < 0 || size - m_at < biff::kRecordHeader) {
            return false;
        }
        const char* header = m_stream.constData() + m_at;
        const qsizetype length = bytes::u16(header + 2);
        if (size - m_at - biff::kRecordHeader < length) {
            failTruncated();
        }
        record.type = bytes::u16(header);
        record.position = m_at;
        record.data = header + biff::kRecordHeader;
        record.length = length;
        m_at += biff::kRecordHeader + length;
        m_pieces.clear();
        m_pieces.push_back({record.data, length});
        if (size - m_at >= biff::kRecordHeader &&
            bytes::u16(record.data + length) == biff::kContinue) {
            gatherContinues();
        }
        record.pieces = &m_pieces;
        return true;
    }
    qsizetype position() const { return m_at; }

private:
    void gatherContinues();
    [[noreturn]] static void failTruncated();

    const QByteArray& m_stream;
    qsizetype m_at;
    std::vector<RecordPiece> m_pieces;
};

} // namespace xls
