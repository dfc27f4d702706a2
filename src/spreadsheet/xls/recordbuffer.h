#pragma once

#include "spreadsheet/xls/bytes.h"

#include <QByteArray>
#include <QChar>
#include <cstdint>
#include <cstring>

namespace xls {

// The Workbook stream under construction. Positions are absolute stream offsets, which is
// what BOUNDSHEET and EXTSST records refer to.
class RecordBuffer {
public:
    explicit RecordBuffer(qsizetype expectedSize) { stream.reserve(expectedSize); }

    qsizetype position() const { return stream.size(); }
    char* at(qsizetype position) { return stream.data() + position; }

    // Appends a fixed-size record with zeroed data and returns its data area to fill in.
    char* appendRecord(uint16_t type, uint16_t length) {
        const qsizetype start = stream.size();
        stream.resize(start + 4 + length);
        char* p = stream.data() + start;
        bytes::put16(p, type);
        bytes::put16(p + 2, length);
        std::memset(p + 4, 0, length);
        return p + 4;
    }

    // A record of variable length: its header is patched by endRecord.
    qsizetype beginRecord(uint16_t type) {
        const qsizetype start = stream.size();
        bytes::append16(stream, type);
        bytes::append16(stream, 0);
        return start;
    }
    void endRecord(qsizetype start) {
        bytes::put16(stream.data() + start + 2, static_cast<uint16_t>(stream.size() - start - 4));
    }

    void append8(uint8_t v) { stream.append(static_cast<char>(v)); }
    void append16(uint16_t v) { bytes::append16(stream, v); }
    void append32(uint32_t v) { bytes::append32(stream, v); }
    // Appends characters as 8-bit (the low bytes; callers check they fit) or as UTF-16LE.
    void appendChars(const QChar* chars, qsizetype count, bool compressed) {
        const qsizetype start = stream.size();
        stream.resize(start + count * (compressed ? 1 : 2));
        char* p = stream.data() + start;
        if (compressed) {
            for (qsizetype i = 0; i < count; ++i)
                p[i] = static_cast<char>(chars[i].unicode());
        } else {
            for (qsizetype i = 0; i < count; ++i)
                bytes::put16(p + 2 * i, chars[i].unicode());
        }
    }

    QByteArray take() { return std::move(stream); }

private:
    QByteArray stream;
};

} // namespace xls
