#pragma once

#include "model/instrumentvalues.h"
#include "model/recordlayout.h"

#include <QString>
#include <array>
#include <vector>

// A row's record as the instrument sent it, beside its texts: what the records archive keeps
// (raw readings are never read back from the shown texts).
struct StoredRecord {
    quint32 number = 0; // 0: the row holds no decoded record
    RecordValues values;
};

// Decoded records waiting to be written to the day's workbook, in the columns of
// recordlayout.h, each with the record it was made from.
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

    // The record behind row `row`, numbered as the instrument numbers it.
    void setRecord(quint32 row, quint32 number, const RecordValues& values);
    const StoredRecord& record(quint32 row) const;

private:
    void growTo(quint32 row);

    std::vector<std::array<QString, kColumns>> m_rows;
    std::vector<StoredRecord> m_records;
};
