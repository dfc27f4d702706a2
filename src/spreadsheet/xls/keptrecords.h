#pragma once

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/keptbook.h"
#include "spreadsheet/xls/substream.h"

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
        // Goes on at a later record of the same depth, past records that hold no BOF or EOF.
        void skipTo(qsizetype position) { m_at = position; }

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
        explicit Iterator(Records::Iterator at) : m_at(at) {}
        NestedRecord operator*() const {
            const RecordSpan span = *m_at;
            SubstreamDepth after = m_depth;
            return {span, after.next(span.type)};
        }
        Iterator& operator++() {
            m_depth.next((*m_at).type);
            ++m_at;
            return *this;
        }
        bool operator!=(const Iterator& end) const { return m_at != end.m_at; }
        // Goes on at a later record, past records that hold no BOF or EOF.
        void skipTo(qsizetype position) { m_at.skipTo(position); }

    private:
        Records::Iterator m_at;
        SubstreamDepth m_depth; // of the records before the current one
    };

    NestedRecords(const QByteArray& stream, qsizetype begin, qsizetype end)
        : m_records(stream, begin, end) {}
    Iterator begin() const { return Iterator(m_records.begin()); }
    Iterator end() const { return Iterator(m_records.end()); }

private:
    Records m_records;
};

} // namespace xls::kept
