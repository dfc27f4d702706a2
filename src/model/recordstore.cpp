#include "model/recordstore.h"

RecordStore::RecordStore() : m_rows(kReservedRows), m_records(kReservedRows) {}

const QString& RecordStore::cell(int column, quint32 row) const {
    static const QString empty;
    if (column < 0 || column >= kColumns || row >= m_rows.size()) {
        return empty;
    }
    return m_rows[row][static_cast<size_t>(column)];
}

void RecordStore::setCell(int column, quint32 row, const QString& text) {
    if (column < 0 || column >= kColumns) {
        return;
    }
    growTo(row);
    m_rows[row][static_cast<size_t>(column)] = text;
}

void RecordStore::growTo(quint32 row) {
    if (row >= m_rows.size()) {
        m_rows.resize(static_cast<size_t>(row) + 1);
        m_records.resize(static_cast<size_t>(row) + 1);
    }
}

void RecordStore::setRecord(quint32 row, quint32 number, const RecordValues& values) {
    growTo(row);
    m_records[row] = {number, values};
}

const StoredRecord& RecordStore::record(quint32 row) const {
    static const StoredRecord none;
    return row < m_records.size() ? m_records[row] : none;
}
