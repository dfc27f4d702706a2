#pragma once

#include "spreadsheet/xls/bytes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QChar>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstring>

namespace xls {

// Whether BIFF8 can store the text in its compressed form, one byte (the low byte) per
// character, which halves the size of the Latin-1 texts that make up most workbooks.
inline bool fitsInEightBits(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

// The Workbook stream under construction, written after `headerRoom` bytes kept free for
// the container's header so that the finished file needs no second copy of the stream.
// Positions are offsets within the stream, which is what BOUNDSHEET and EXTSST refer to.
class RecordBuffer {
public:
    RecordBuffer(qsizetype expectedSize, qsizetype headerRoom)
        : m_buffer(headerRoom + expectedSize, Qt::Uninitialized), m_base(headerRoom),
          m_end(headerRoom) {
        std::memset(m_buffer.data(), 0, headerRoom);
    }

    qsizetype position() const { return m_end - m_base; }
    char* at(qsizetype position) { return m_buffer.data() + m_base + position; }

    // Appends a fixed-size record with zeroed data and returns its data area to fill in.
    char* appendRecord(uint16_t type, uint16_t length) {
        char* p = grow(4 + length);
        bytes::put16(p, type);
        bytes::put16(p + 2, length);
        std::memset(p + 4, 0, length);
        return p + 4;
    }

    // A record of variable length: its header is patched by endRecord.
    qsizetype beginRecord(uint16_t type) {
        const qsizetype start = position();
        char* p = grow(4);
        bytes::put16(p, type);
        bytes::put16(p + 2, 0);
        return start;
    }
    void endRecord(qsizetype start) {
        bytes::put16(at(start) + 2, static_cast<uint16_t>(position() - start - 4));
    }

    // Appends bytes as they are, such as records copied as read.
    void appendBytes(const char* data, qsizetype count) {
        if (count > 0) {
            std::memcpy(grow(count), data, size_t(count));
        }
    }

    // Room for `count` bytes of records that the caller lays out itself.
    char* appendRaw(qsizetype count) { return grow(count); }

    void append8(uint8_t v) { *grow(1) = static_cast<char>(v); }
    void append16(uint16_t v) { bytes::put16(grow(2), v); }
    void append32(uint32_t v) { bytes::put32(grow(4), v); }
    // Appends characters as 8-bit (the low bytes; callers check they fit) or as UTF-16LE.
    void appendChars(const QChar* chars, qsizetype count, bool compressed) {
        char* p = grow(count * (compressed ? 1 : 2));
        if (compressed) {
            for (qsizetype i = 0; i < count; ++i) {
                p[i] = static_cast<char>(chars[i].unicode());
            }
        } else {
            for (qsizetype i = 0; i < count; ++i) {
                bytes::put16(p + 2 * i, chars[i].unicode());
            }
        }
    }

    // What was appended since construction or the last clear().
    QByteArrayView written() const { return {m_buffer.constData() + m_base, m_end - m_base}; }
    void clear() { m_end = m_base; }

    // The header room followed by the stream.
    QByteArray take() {
        m_buffer.truncate(m_end);
        return std::move(m_buffer);
    }

private:
    char* grow(qsizetype count) {
        if (m_end + count > m_buffer.size()) {
            m_buffer.resize(std::max(m_end + count, m_buffer.size() * 3 / 2));
        }
        char* p = m_buffer.data() + m_end;
        m_end += count;
        return p;
    }

    QByteArray m_buffer;
    qsizetype m_base;
    qsizetype m_end;
};

} // namespace xls
