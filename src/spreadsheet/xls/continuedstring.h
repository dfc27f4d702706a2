#pragma once

#include "spreadsheet/xls/recordreader.h"

#include <QString>
#include <cassert>
#include <cstdint>
#include <vector>

namespace xls {

// Reads the strings of a record whose data may go on in CONTINUE records. Characters that
// cross into the next record start there with a repeated flags byte telling whether they are
// 8-bit or UTF-16; everything else (string headers, formatting runs, phonetic data) simply
// carries on. Reading past the data throws FormatError.
class ContinuedStringReader {
public:
    explicit ContinuedStringReader(const std::vector<RecordPiece>& pieces, qsizetype offset = 0);

    bool atEnd();
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    void skip(qsizetype count);

    // XLUnicodeRichExtendedString, as in the SST: formatting runs and phonetic data skipped.
    QString richExtendedString();
    // XLUnicodeString with a 16-bit length, as in LABEL and STRING records.
    QString plainString();

private:
    QString characters(qsizetype count, bool highByte);
    qsizetype remainingInPiece() const {
        assert(m_at >= 0 && m_at <= m_pieces[m_piece].length);
        return m_pieces[m_piece].length - m_at;
    }
    bool nextPiece();
    qsizetype remainingTotal() const;

    const std::vector<RecordPiece>& m_pieces;
    qsizetype m_totalLength = 0;
    qsizetype m_piecesBefore = 0; // bytes of the pieces before the current one
    size_t m_piece = 0;
    qsizetype m_at = 0;
};

} // namespace xls
