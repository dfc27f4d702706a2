#pragma once

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/keptbook.h"

#include <QByteArray>
#include <cstdint>

// Walking the records of a Workbook stream as read, for the write-back that keeps them.
namespace xls::kept {

// The records of a sheet's cell table: rows, cells, what belongs to formulas, row block ends.
inline bool isCellTableRecord(uint16_t type) {
    switch (type) {
    case biff::kRow:
    case biff::kBlank:
    case biff::kMulBlank:
    case biff::kNumber:
    case biff::kRk:
    case biff::kMulRk:
    case biff::kLabel:
    case biff::kLabelSst:
    case biff::kRString:
    case biff::kBoolErr:
    case biff::kFormula:
    case biff::kFormulaBiff3:
    case biff::kFormulaBiff4:
    case biff::kString:
    case biff::kShrFmla:
    case biff::kArray:
    case biff::kTable:
    case biff::kDbCell:
        return true;
    default:
        return false;
    }
}

inline bool isSingleCell(uint16_t type) {
    return type == biff::kBlank || type == biff::kNumber || type == biff::kRk ||
           type == biff::kLabel || type == biff::kLabelSst || type == biff::kRString ||
           type == biff::kBoolErr || biff::isFormula(type);
}

inline void appendRecordHeader(QByteArray& out, uint16_t type, uint16_t length) {
    bytes::append16(out, type);
    bytes::append16(out, length);
}

// The records between two stream positions, read as they are walked: a sheet has a million.
// The walk was checked when the file was read to end exactly at the end of each substream.
class Records {
public:
    class Iterator {
    public:
        Iterator(const char* data, qsizetype at) : m_data(data), m_at(at) {}
        RecordSpan operator*() const {
            return {bytes::u16(m_data + m_at), m_at,
                    biff::kRecordHeader + bytes::u16(m_data + m_at + 2)};
        }
        Iterator& operator++() {
            m_at += biff::kRecordHeader + bytes::u16(m_data + m_at + 2);
            return *this;
        }
        bool operator!=(const Iterator& end) const {
            return m_at + biff::kRecordHeader <= end.m_at;
        }

    private:
        const char* m_data;
        qsizetype m_at;
    };

    Records(const QByteArray& stream, qsizetype begin, qsizetype end)
        : m_data(stream.constData()), m_from(begin), m_to(end) {}
    Iterator begin() const { return {m_data, m_from}; }
    Iterator end() const { return {m_data, m_to}; }

private:
    const char* m_data;
    qsizetype m_from;
    qsizetype m_to;
};

// The records of one or more substreams, each with its depth: 1 for the records of a
// substream walked from its BOF (its BOF and EOF included), 2 for those of a substream embedded
// in it, such as a chart's, and so on ([MS-XLS] 2.1.4 Streams and substreams).
struct NestedRecord {
    RecordSpan span;
    int depth;
};

class NestedRecords {
public:
    class Iterator {
    public:
        Iterator(Records::Iterator at, int depth) : m_at(at), m_depth(depth) {}
        // A BOF shows at the depth it opens, an EOF at the depth it closes.
        NestedRecord operator*() const {
            const RecordSpan span = *m_at;
            return {span, m_depth + (span.type == biff::kBof ? 1 : 0)};
        }
        Iterator& operator++() {
            const uint16_t type = (*m_at).type;
            m_depth += type == biff::kBof ? 1 : type == biff::kEof ? -1 : 0;
            ++m_at;
            return *this;
        }
        bool operator!=(const Iterator& end) const { return m_at != end.m_at; }

    private:
        Records::Iterator m_at;
        int m_depth; // of the records before the current one
    };

    NestedRecords(const QByteArray& stream, qsizetype begin, qsizetype end)
        : m_records(stream, begin, end) {}
    Iterator begin() const { return {m_records.begin(), 0}; }
    Iterator end() const { return {m_records.end(), 0}; }

private:
    Records m_records;
};

} // namespace xls::kept
