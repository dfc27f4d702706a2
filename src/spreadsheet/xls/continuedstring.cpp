#include "spreadsheet/xls/continuedstring.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/xlsbook.h"

#include <algorithm>

namespace xls {

namespace {

[[noreturn]] void failOverrun() {
    throw FormatError("The file is damaged (a string runs past the end of its record)");
}

} // namespace

ContinuedStringReader::ContinuedStringReader(const std::vector<RecordPiece>& pieces,
                                             qsizetype offset)
    : m_pieces(pieces) {
    for (const RecordPiece& p : pieces) {
        m_totalLength += p.length;
    }
    skip(offset);
}

bool ContinuedStringReader::nextPiece() {
    if (m_piece + 1 >= m_pieces.size()) {
        return false;
    }
    m_piecesBefore += m_pieces[m_piece].length;
    ++m_piece;
    m_at = 0;
    return true;
}

bool ContinuedStringReader::atEnd() {
    while (remainingInPiece() == 0) {
        if (!nextPiece()) {
            return true;
        }
    }
    return false;
}

qsizetype ContinuedStringReader::remainingTotal() const {
    return m_totalLength - m_piecesBefore - m_at;
}

uint8_t ContinuedStringReader::u8() {
    if (atEnd()) {
        failOverrun();
    }
    return static_cast<uint8_t>(m_pieces[m_piece].data[m_at++]);
}

uint16_t ContinuedStringReader::u16() {
    if (remainingInPiece() >= 2) {
        const uint16_t v = bytes::u16(m_pieces[m_piece].data + m_at);
        m_at += 2;
        return v;
    }
    const uint16_t low = u8();
    return static_cast<uint16_t>(low | (u8() << 8));
}

uint32_t ContinuedStringReader::u32() {
    const uint32_t low = u16();
    return low | (static_cast<uint32_t>(u16()) << 16);
}

void ContinuedStringReader::skip(qsizetype count) {
    while (count > 0) {
        if (atEnd()) {
            failOverrun();
        }
        const qsizetype n = std::min(count, remainingInPiece());
        m_at += n;
        count -= n;
    }
}

QString ContinuedStringReader::characters(qsizetype count, bool highByte) {
    // Every character takes at least one byte: a length beyond the data is damage, and
    // checking it first keeps a bad length from allocating.
    if (count > remainingTotal()) {
        failOverrun();
    }
    const qsizetype inPiece = remainingInPiece();
    if (!highByte && count <= inPiece) {
        QString text = QString::fromLatin1(m_pieces[m_piece].data + m_at, count);
        m_at += count;
        return text;
    }
    QString text(count, Qt::Uninitialized);
    QChar* out = text.data();
    qsizetype done = 0;
    while (done < count) {
        if (remainingInPiece() == 0) {
            // Characters continued in a new record restate their width there. A CONTINUE
            // record without data has no room for that byte and carries nothing.
            do {
                if (!nextPiece()) {
                    failOverrun();
                }
            } while (remainingInPiece() == 0);
            highByte =
                (static_cast<uint8_t>(m_pieces[m_piece].data[m_at++]) & biff::kStringHighByte);
            continue;
        }
        const char* p = m_pieces[m_piece].data + m_at;
        if (highByte) {
            const qsizetype n = std::min(count - done, remainingInPiece() / 2);
            if (n == 0) {
                failOverrun(); // half a character at the end of a record
            }
            for (qsizetype i = 0; i < n; ++i) {
                out[done + i] = QChar(bytes::u16(p + 2 * i));
            }
            done += n;
            m_at += 2 * n;
        } else {
            const qsizetype n = std::min(count - done, remainingInPiece());
            for (qsizetype i = 0; i < n; ++i) {
                out[done + i] = QChar(static_cast<uint8_t>(p[i]));
            }
            done += n;
            m_at += n;
        }
    }
    return text;
}

QString ContinuedStringReader::richExtendedString() {
    const uint16_t count = u16();
    const uint8_t flags = u8();
    const uint16_t runs = (flags & biff::kStringRich) ? u16() : 0;
    const uint32_t phoneticBytes = (flags & biff::kStringExtended) ? u32() : 0;
    QString text = characters(count, flags & biff::kStringHighByte);
    skip(4 * static_cast<qsizetype>(runs));
    skip(phoneticBytes);
    return text;
}

QString ContinuedStringReader::plainString() {
    const uint16_t count = u16();
    const uint8_t flags = u8();
    return characters(count, flags & biff::kStringHighByte);
}

} // namespace xls
