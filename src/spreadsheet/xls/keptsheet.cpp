#include "spreadsheet/xls/keptsheet.h"

#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/keptrecords.h"

#include <algorithm>

namespace xls::kept {

namespace {

// Below this a stretch is cheaper to copy than to hand on as a piece of its own.
constexpr qsizetype kSharedStretch = qsizetype{64} * 1024;

} // namespace

void fail(const QString& reason) {
    throw FormatError(reason.toStdString());
}

QByteArray& SheetOut::bytes() {
    if (m_sharedEnd > m_sharedBegin) {
        const qsizetype length = m_sharedEnd - m_sharedBegin;
        const char* data = m_sharedStream->constData() + m_sharedBegin;
        m_sharedBegin = m_sharedEnd = 0;
        if (length >= kSharedStretch) {
            closeTail();
            m_starts.push_back(m_done);
            m_pieces.push_back(QByteArray::fromRawData(data, length));
            m_done += length;
        } else {
            m_tail.append(data, length);
        }
    }
    return m_tail;
}

void SheetOut::share(const QByteArray& stream, qsizetype begin, qsizetype end) {
    if (end <= begin) {
        return;
    }
    if (m_sharedEnd > m_sharedBegin && m_sharedStream == &stream && m_sharedEnd == begin) {
        m_sharedEnd = end;
        return;
    }
    bytes();
    m_sharedStream = &stream;
    m_sharedBegin = begin;
    m_sharedEnd = end;
}

void SheetOut::closeTail() {
    if (m_tail.isEmpty()) {
        return;
    }
    m_starts.push_back(m_done);
    m_done += m_tail.size();
    m_pieces.push_back(std::move(m_tail));
    m_tail = QByteArray();
}

char* SheetOut::at(qsizetype position) {
    if (position >= m_done) {
        return m_tail.data() + (position - m_done);
    }
    const auto piece = std::upper_bound(m_starts.begin(), m_starts.end(), position) - 1;
    const size_t k = size_t(piece - m_starts.begin());
    // Only pieces written here hold fields; data() of a shared piece would copy it.
    return m_pieces[k].data() + (position - *piece);
}

std::vector<QByteArray> SheetOut::takePieces() {
    bytes();
    closeTail();
    m_starts.clear();
    m_done = 0;
    return std::move(m_pieces);
}

uint32_t NewStrings::add(const QString& text) {
    ++references;
    const auto found = index.constFind(text);
    if (found != index.constEnd()) {
        return *found;
    }
    const uint32_t at = first + static_cast<uint32_t>(texts.size());
    index.insert(text, at);
    texts.push_back(text);
    return at;
}

SheetOut copySheet(const QByteArray& stream, const SheetLayout& sheet) {
    SheetOut out;
    out.base = sheet.begin;
    // The INDEX record points at DEFCOLWIDTH and at the DBCELL of every row block by stream
    // position; everything else in a sheet is relative to the sheet or the record.
    qsizetype copiedTo = sheet.begin;
    for (const auto [span, depth] : NestedRecords(stream, sheet.begin, sheet.end)) {
        if (span.type != biff::kIndex || depth != 1 || span.size < biff::kRecordHeader + 16) {
            continue;
        }
        out.share(stream, copiedTo, span.position);
        QByteArray& bytes = out.bytes();
        const qsizetype at = out.size();
        bytes.append(stream.constData() + span.position, span.size);
        for (qsizetype field = biff::kRecordHeader + 12; field + 4 <= span.size; field += 4) {
            const uint32_t value = bytes::u32(stream.constData() + span.position + field);
            if (value >= sheet.begin && value < sheet.end) {
                out.positionFields.push_back(at + field);
            }
        }
        copiedTo = span.position + span.size;
    }
    out.share(stream, copiedTo, sheet.end);
    return out;
}

} // namespace xls::kept
