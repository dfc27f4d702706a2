#include "model/recordstore.h"

RecordStore::RecordStore() : m_rows(kReservedRows) {}

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
    if (row >= m_rows.size()) {
        m_rows.resize(static_cast<size_t>(row) + 1);
    }
    m_rows[row][static_cast<size_t>(column)] = text;
}
