#pragma once

#include "model/recordlayout.h"

#include <QString>
#include <array>
#include <vector>

// Decoded records waiting to be written to the day's workbook, in the columns of
// recordlayout.h.
// Rows are never cleared: a later record overwrites only the cells it writes.
class RecordStore {
public:
    static constexpr int kColumns = RecordColumn::kCount;
    static constexpr quint32 kReservedRows = 2000;

    RecordStore();

    const QString& cell(int column, quint32 row) const;
    // Grows the store when row lies beyond its capacity; never writes past it.
    void setCell(int column, quint32 row, const QString& text);
    quint32 capacity() const { return static_cast<quint32>(m_rows.size()); }

private:
    std::vector<std::array<QString, kColumns>> m_rows;
};
